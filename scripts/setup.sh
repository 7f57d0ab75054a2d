#!/usr/bin/env bash
# Installs what is missing (Debian/Ubuntu), for one of two routes:
#
#   setup.sh example   building the MEX-files and running the worked example:
#                      CMake, g++, make, Octave with its MEX headers, and for
#                      the example's picture gnuplot, the font Octave draws
#                      text with (FreeSans) and Ghostscript, through which
#                      Octave prints PNG files; GNU time, by which the
#                      benchmarks read the peak memory of a run
#   setup.sh python    the Python package and its example: Python's headers,
#                      NumPy, pybind11, pip, setuptools and wheel, Matplotlib
#                      and scikit-learn (whose data sets the example reads)
#   setup.sh tests     (the default) all of that, and what the tests and
#                      benchmarks add: GoogleTest, Google Benchmark, Clang with
#                      its sanitizer and fuzzer runtime, Valgrind, pytest, SciPy,
#                      and the Python route's packages
#   setup.sh real-data the example's packages and python3-sklearn, which
#                      ships the data sets of scripts/run-real-data.sh and the
#                      SparsePCA it compares with
#
# Safe to run again: it installs nothing that is already there. With
# ORTHOPAIR_SKIP_SETUP=1 it does nothing, for machines set up by other means;
# every script that calls it honours that.
set -euo pipefail

if [[ ${ORTHOPAIR_SKIP_SETUP:-0} == 1 ]]; then
  exit 0
fi

route=${1:-tests}
example_packages=(cmake g++ make octave liboctave-dev libeigen3-dev fonts-freefont-otf ghostscript
  time)
python_packages=(cmake g++ make libeigen3-dev python3-dev python3-numpy pybind11-dev python3-pip
  python3-setuptools python3-wheel python3-matplotlib python3-sklearn)
test_packages=(libgtest-dev libbenchmark-dev clang libclang-rt-dev valgrind
  python3-pytest python3-scipy)
case $route in
  example) packages=("${example_packages[@]}") ;;
  python) packages=("${python_packages[@]}") ;;
  tests) packages=("${example_packages[@]}" "${python_packages[@]}" "${test_packages[@]}") ;;
  real-data) packages=("${example_packages[@]}" python3-sklearn) ;;
  *) echo "usage: setup.sh [example|python|tests|real-data]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# Any gnuplot will do for the example's picture; the one without X is smallest.
command -v gnuplot >/dev/null 2>&1 || missing+=(gnuplot-nox)
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
