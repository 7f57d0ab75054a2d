#!/usr/bin/env bash
# Builds the MEX-files and runs the sparse-PCA benchmarks against the peer
# solvers' results:
#
#   run-peer-bench.sh [peer|scale|own-scale|all] [FOLDER] [options]
#
#   peer       every instance of the peer benchmark (FOLDER, by default
#              ../shared/peer-benchmark) plus instances of our own making: a
#              table of F, time and certificates against the peers' results
#              (also in build/peer-bench.md); then where the two stationarity
#              conditions part (certificate_contrast) and a native pair step
#              against the readable M-file loop (step_speed)
#   scale      the larger instances with peer results
#              (../shared/peer-benchmark-scale, or --scale-folder), the
#              peers' times scaled to this machine by the workload each
#              instance carries
#   own-scale  instances of our own at n = 5000, 10000 and 20000, m = 50
#              and 200, r = 5, 10, 20 and 50, lambda = 0.8 (or --own)
#   all        (the default) all three
#
# scale and own-scale run each instance in an octave-cli process of its own
# (peak memory by /usr/bin/time -v) and write build/scale-bench.md (table,
# growth slopes and goal lines) and build/scale-bench.png (time and memory
# against n, log-log).
#
# Options (or the environment variables in brackets):
#   --time-limit S       seconds per instance and solve, default 300
#                        [ORTHOPAIR_BENCH_TIME_LIMIT]
#   --scale-folder DIR   the larger instances with peer results
#   --own LIST           own instances as n:m:r:lambda, separated by commas or
#                        spaces [ORTHOPAIR_BENCH_OWN]
# The subset may also come from ORTHOPAIR_BENCH_SUBSET. ORTHOPAIR_SKIP_SETUP=1
# skips the installation of packages.
set -euo pipefail
cd "$(dirname "$0")/.."

subset="${ORTHOPAIR_BENCH_SUBSET:-all}"
folder="../shared/peer-benchmark"
scale_folder="../shared/peer-benchmark-scale"
time_limit="${ORTHOPAIR_BENCH_TIME_LIMIT:-300}"
own="${ORTHOPAIR_BENCH_OWN:-}"
usage="usage: run-peer-bench.sh [peer|scale|own-scale|all] [FOLDER] [--time-limit S] [--scale-folder DIR] [--own n:m:r:lambda,...]"
while (($#)); do
  case $1 in
    peer|scale|own-scale|all) subset=$1 ;;
    --time-limit) time_limit=${2:?$usage}; shift ;;
    --scale-folder) scale_folder=${2:?$usage}; shift ;;
    --own) own=${2:?$usage}; shift ;;
    -h|--help) echo "$usage"; exit 0 ;;
    -*) echo "$usage" >&2; exit 2 ;;
    *) folder=$1 ;;
  esac
  shift
done
case $subset in
  peer|scale|own-scale|all) ;;
  *) echo "run-peer-bench.sh: unknown subset '$subset'" >&2; echo "$usage" >&2; exit 2 ;;
esac
if ! [[ $time_limit =~ ^[0-9]+([.][0-9]+)?$ ]]; then
  echo "run-peer-bench.sh: --time-limit takes seconds, got '$time_limit'" >&2
  exit 2
fi

# Own instances as Octave rows [n m r lambda; ...].
if [[ -z $own ]]; then
  for n in 5000 10000 20000; do
    for m in 50 200; do
      for r in 5 10 20 50; do own+="$n:$m:$r:0.8 "; done
    done
  done
fi
own_rows=""
for item in ${own//,/ }; do
  if ! [[ $item =~ ^[0-9]+:[0-9]+:[0-9]+:[0-9.]+$ ]]; then
    echo "run-peer-bench.sh: an own instance is n:m:r:lambda, got '$item'" >&2
    exit 2
  fi
  own_rows+="${item//:/ }; "
done

if [ "${ORTHOPAIR_SKIP_SETUP:-0}" != 1 ]; then bash scripts/setup.sh example; fi
bash scripts/build.sh mex >/dev/null
mkdir -p build

octave() {
  octave-cli --no-gui --norc --quiet --eval "addpath('build/mex'); addpath('bench/peer'); addpath('bench/scale'); $1" \
    2> >(grep -v "ignoring const execution_exception" >&2)
}

if [[ $subset == peer || $subset == all ]]; then
  folder="$(cd "$folder" && pwd)"
  echo "== Peer benchmark: $folder"
  octave "peer_benchmark('$folder', 'build/peer-bench.md', struct('own', true, 'time_limit', $time_limit)); disp(' '); certificate_contrast('$folder'); disp(' '); step_speed(300, 5, 3000);"
fi

scale_dir="''"
own_matrix="zeros(0, 4)"
if [[ $subset == scale || $subset == all ]]; then
  scale_dir="'$(cd "$scale_folder" && pwd)'"
fi
if [[ $subset == own-scale || $subset == all ]]; then
  own_matrix="[$own_rows]"
fi
if [[ $subset != peer ]]; then
  echo "== Scale benchmark (time limit $time_limit s per instance)"
  octave "scale_benchmark(struct('folder', $scale_dir, 'own', $own_matrix, 'time_limit', $time_limit, 'work_dir', 'build/scale-work', 'out_md', 'build/scale-bench.md', 'out_png', 'build/scale-bench.png'));"
fi
