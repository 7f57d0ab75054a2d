#!/usr/bin/env bash
# Configures and builds everything (kernels, MEX-files, tests) into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
