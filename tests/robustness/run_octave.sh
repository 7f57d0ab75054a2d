#!/usr/bin/env bash
# Runs an Octave expression with the MEX-files and this folder on the path.
# Passes when Octave exits normally and the last line it printed ends in
# "octave still running", which the scripts print after their last call: a
# crash inside a MEX-file, or an error, fails the test.
#
# usage: run_octave.sh MEX_DIR SCRIPT_DIR EXPRESSION [COMMAND PREFIX...]
# A command prefix (e.g. a valgrind command line) runs Octave under it.
set -uo pipefail

mex_dir=$1
script_dir=$2
expression=$3
shift 3

log=$(mktemp)
trap 'rm -f "$log"' EXIT

# octave-cli may print "error: ignoring const execution_exception& while
# preparing to exit" when it exits; that line is harmless.
"$@" octave-cli --no-gui --norc --quiet --no-window-system \
  --eval "addpath('$mex_dir'); addpath('$script_dir'); $expression" \
  >"$log" 2> >(grep -v "ignoring const execution_exception" >&2)
status=$?
cat "$log"

if [[ $status -ne 0 ]]; then
  echo "FAILED: octave exited with status $status"
  exit 1
fi
if [[ $(tail -n 1 "$log") != *"octave still running" ]]; then
  echo "FAILED: octave did not reach the end of the script"
  exit 1
fi
