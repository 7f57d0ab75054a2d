#!/usr/bin/env bash
# Longer fuzzing than the tests do: builds the fuzz targets with Clang into
# build-fuzz/ and runs each for SECONDS (default 600), one after another.
#
# usage: fuzz/run.sh [SECONDS] [TARGET...]
#   TARGET: polynomial_roots search_circle solve_orthogonal_2x2
#           select_max_violation select_max_reduction (default: all)
#
# Inputs that reach new code go to build-fuzz/fuzz/work/<target>/; an input
# that crashes or breaks an invariant goes to build-fuzz/fuzz/findings/<target>/
# and stops that target's run. Reproduce a finding with
#   build-fuzz/fuzz/fuzz_<target> <file>
# (FUZZ_VERBOSE=1 makes the selector targets print the decoded call). Once
# the fault is fixed, add the file to fuzz/regressions/<target>/, where every
# build replays it. To refresh the seed corpus with what a run found:
#   build-fuzz/fuzz/fuzz_<target> -merge=1 fuzz/corpus/<target> build-fuzz/fuzz/work/<target>
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(polynomial_roots search_circle solve_orthogonal_2x2 select_max_violation
           select_max_reduction)
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORTHOPAIR_FUZZ=ON -DORTHOPAIR_BUILD_TESTS=OFF -DORTHOPAIR_BUILD_MEX=OFF \
  -DORTHOPAIR_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"

status=0
for t in "${targets[@]}"; do
  work=build-fuzz/fuzz/work/$t
  findings=build-fuzz/fuzz/findings/$t
  mkdir -p "$work" "$findings"
  seeds=()
  for d in fuzz/corpus/$t fuzz/regressions/$t; do
    if [[ -d $d ]]; then seeds+=("$d"); fi
  done
  echo "== $t for $seconds s"
  if ! build-fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$findings/" \
      "$work" "${seeds[@]}" 2>"build-fuzz/fuzz/$t.log"; then
    echo "FINDING in $t: see $findings/ and build-fuzz/fuzz/$t.log"
    status=1
  fi
  grep -E '^stat::number_of_executed_units|^Done' "build-fuzz/fuzz/$t.log" || true
done
exit $status
