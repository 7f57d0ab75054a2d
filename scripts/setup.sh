#!/usr/bin/env bash
# Installs what building and testing need, when it is missing (Debian/Ubuntu).
# Safe to run again: it installs nothing that is already there.
set -euo pipefail

packages=(cmake g++ make libgtest-dev libbenchmark-dev octave liboctave-dev clang libclang-rt-dev valgrind)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# The worked example draws its objective history with gnuplot when it can.
command -v gnuplot >/dev/null 2>&1 || missing+=(gnuplot-nox)
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
