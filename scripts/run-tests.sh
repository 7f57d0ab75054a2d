#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#   1. the ordinary build (build/): C++ tests, MEX-files in Octave, the
#      bad-call run of the MEX-files plain and under Valgrind, and the
#      same-bits check across compilers and optimisation levels;
#   2. the C++ tests again with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-asan/, GCC);
#   3. a bounded run of every fuzz target with libFuzzer (build-fuzz/, Clang).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

echo "== C++ tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORTHOPAIR_SANITIZE=ON \
  -DORTHOPAIR_BUILD_MEX=OFF -DORTHOPAIR_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$(nproc)"
UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

echo "== Bounded fuzz runs"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORTHOPAIR_FUZZ=ON -DORTHOPAIR_BUILD_TESTS=OFF -DORTHOPAIR_BUILD_MEX=OFF \
  -DORTHOPAIR_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"
UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-fuzz --output-on-failure -j"$(nproc)"
