#!/usr/bin/env bash
# Installs a configured and built build folder into a scratch prefix, then
# builds and runs tests/package/consumer against it with find_package: the
# exported targets, headers and libraries must be enough for a C++ user.
#
# usage: check-install.sh [BUILD_DIR] [WORK_DIR]   (default: build, a temporary folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/scratch-folder.sh"
build=${1:-$root/build}
work_folder "${@:2:1}"

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log"
cmake -S "$root/tests/package/consumer" -B "$work/consumer" \
  -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE=Release
cmake --build "$work/consumer"
"$work/consumer/consumer"
