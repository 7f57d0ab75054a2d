#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#   1. the ordinary build (build/): C++ tests, MEX-files in Octave, the
#      bad-call run of the MEX-files plain and under Valgrind, and the
#      same-bits check across compilers and optimisation levels;
#   2. the packaging: the Octave package installed with `pkg install` into a
#      scratch prefix and its tests run, and the CMake install used by a C++
#      program through find_package;
#   3. the C++ tests again with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-asan/, GCC);
#   4. a bounded run of every fuzz target with libFuzzer (build-fuzz/, Clang).
# ORTHOPAIR_SKIP_SETUP=1 skips the installation of packages.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh tests
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

echo "== Octave package: pkg install, pkg load, its tests"
bash scripts/check-octave-package.sh build/package-check
echo "== CMake install: find_package(orthopair) from a C++ program"
bash scripts/check-install.sh build build/install-check

echo "== C++ tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORTHOPAIR_SANITIZE=ON \
  -DORTHOPAIR_BUILD_MEX=OFF -DORTHOPAIR_BUILD_BENCH=OFF
cmake --build build-asan -j"$(nproc)"
UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

echo "== Bounded fuzz runs"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORTHOPAIR_FUZZ=ON -DORTHOPAIR_BUILD_TESTS=OFF -DORTHOPAIR_BUILD_MEX=OFF \
  -DORTHOPAIR_BUILD_BENCH=OFF
cmake --build build-fuzz -j"$(nproc)"
UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-fuzz --output-on-failure -j"$(nproc)"
