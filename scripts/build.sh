#!/usr/bin/env bash
# Configures and builds into build/.
#
#   build.sh        everything: kernels, MEX-files, tests, benchmarks
#   build.sh mex    the MEX-files and their M-files (build/mex/) only. A new
#                   build folder is configured without tests and benchmarks,
#                   so GoogleTest and Google Benchmark are not needed; an
#                   existing one keeps its options.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
case ${1:-all} in
  all)
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DORTHOPAIR_BUILD_TESTS=ON \
      -DORTHOPAIR_BUILD_MEX=ON -DORTHOPAIR_BUILD_BENCH=ON
    cmake --build build -j"$jobs"
    ;;
  mex)
    if [[ -f build/CMakeCache.txt ]]; then
      cmake -S . -B build -DORTHOPAIR_BUILD_MEX=ON
    else
      cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DORTHOPAIR_BUILD_TESTS=OFF \
        -DORTHOPAIR_BUILD_MEX=ON -DORTHOPAIR_BUILD_BENCH=OFF
    fi
    cmake --build build -j"$jobs" --target orthopair_mex
    ;;
  *) echo "usage: build.sh [mex]" >&2; exit 2 ;;
esac
