#!/usr/bin/env bash
# Runs Octave tests with the MEX-files and this folder on the path, through
# the one runner of the Octave tests (tests/octave/run_tests.m and
# run_octave_test.cmake): it passes when Octave exits with status 0 and its
# last line is "N passed, 0 failed", so a crash inside a MEX-file, or an
# error, fails it.
#
# usage: run_octave.sh MEX_DIR SCRIPT_DIR TEST [COMMAND PREFIX...]
# TEST is a test function or an expression that calls one, e.g.
# "bad_calls(10000)". A command prefix (e.g. a valgrind command line) runs
# Octave under it.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
runner_dir=$(cd "$here/../octave" && pwd)
mex_dir=$1
script_dir=$2
test=${3//\'/\'\'}
shift 3

prefix=$(IFS='|'; echo "$*")
exec cmake -DOCTAVE="$(command -v octave-cli)" -DPREFIX="$prefix" \
  -DCODE="addpath('$runner_dir'), addpath('$mex_dir'), addpath('$script_dir'), run_tests({'$test'})" \
  -DWORKING_DIRECTORY="$PWD" -P "$runner_dir/run_octave_test.cmake"
