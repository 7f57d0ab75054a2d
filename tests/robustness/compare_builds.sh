#!/usr/bin/env bash
# Builds kernel_corpus.cpp with the kernel sources under g++ and clang++ at
# every optimisation level the build uses (-O0 Debug, -O2 RelWithDebInfo and
# the MEX-files, -O3 Release, -Os MinSizeRel), runs each build and requires
# byte-identical output. Where the processor has FMA, the -O2 and -O3 builds
# are repeated for x86-64-v3, whose instruction set includes fused
# multiply-add: with -ffp-contract=off the compiler must still not use it.
#
# usage: compare_builds.sh SOURCE_DIR WORK_DIR
set -euo pipefail

src=$(cd "$1" && pwd)
work=$2
source "$src/scripts/scratch-folder.sh"
scratch_folder "$work"

# The kernel sources only: the gateways need a host, the tests GoogleTest.
sources=("$src"/subproblem/*.cpp "$src"/pairs/*.cpp "$src/tests/robustness/kernel_corpus.cpp")
includes=(-I"$src" -I"$src/subproblem" -I"$src/pairs" -I"$src/subproblem/tests")
# The same IEEE rules as the project's own build, from the one file that
# holds them.
flags() {  # case: the flags config/fp_flags.txt gives for it
  sed -n "s/^$1:[[:space:]]*//p" "$src/config/fp_flags.txt"
}
# shellcheck disable=SC2207
common=(-std=c++17 $(flags gnu) -w)
if [[ $(uname -m) =~ ^i[3-6]86$ ]]; then
  # shellcheck disable=SC2207
  common+=($(flags x86-32))
fi
# shellcheck disable=SC2207
clang_extra=($(flags clang))

configs=()
for cxx in g++ clang++; do
  for level in -O0 -O2 -O3 -Os; do
    configs+=("$cxx $level")
  done
done
if grep -qw fma /proc/cpuinfo 2>/dev/null; then
  for cxx in g++ clang++; do
    configs+=("$cxx -O2 -march=x86-64-v3" "$cxx -O3 -march=x86-64-v3")
  done
fi

build_and_run() {  # index, compiler, flags...
  local i=$1 cxx=$2
  shift 2
  local extra=()
  if [[ $cxx == clang++ ]]; then extra=("${clang_extra[@]}"); fi
  "$cxx" "${common[@]}" "${extra[@]}" "$@" "${includes[@]}" "${sources[@]}" \
    -o "$work/corpus_$i" 2>"$work/build_$i.log" ||
    { echo "build failed: $cxx $*"; cat "$work/build_$i.log"; return 1; }
  "$work/corpus_$i" "$work/out_$i.bin"
}

# Two builds at a time.
status=0
pids=()
for i in "${!configs[@]}"; do
  # shellcheck disable=SC2086
  build_and_run "$i" ${configs[$i]} &
  pids+=($!)
  if (( ${#pids[@]} == 2 )); then
    for p in "${pids[@]}"; do wait "$p" || status=1; done
    pids=()
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done

for i in "${!configs[@]}"; do
  if [[ ! -s $work/out_$i.bin ]]; then
    echo "no output from: ${configs[$i]}"; status=1; continue
  fi
  if cmp -s "$work/out_0.bin" "$work/out_$i.bin"; then
    echo "same bits: ${configs[$i]}"
  else
    echo "DIFFERENT: ${configs[$i]} vs ${configs[0]}: $(cmp "$work/out_0.bin" "$work/out_$i.bin" | head -1)"
    status=1
  fi
done
echo "$(wc -c <"$work/out_0.bin") bytes of results per build, ${#configs[@]} builds"
exit $status
