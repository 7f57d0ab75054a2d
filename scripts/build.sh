#!/usr/bin/env bash
# Configures and builds everything (kernels, MEX-files, tests) into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DORTHOPAIR_BUILD_TESTS=ON \
  -DORTHOPAIR_BUILD_MEX=ON -DORTHOPAIR_BUILD_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)"
