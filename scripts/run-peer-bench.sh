#!/usr/bin/env bash
# Builds the MEX-files and runs the solver on every sparse-PCA instance of the
# peer benchmark (../shared/peer-benchmark by default, or the folder given),
# plus instances of our own making, printing a table of F, time and
# certificates against the peers' results (the Markdown table also goes to
# build/peer-bench.md); then shows where the two stationarity conditions part
# (certificate_contrast) and times a native pair step against the readable
# M-file loop (step_speed).
set -euo pipefail
cd "$(dirname "$0")/.."
folder="${1:-../shared/peer-benchmark}"
folder="$(cd "$folder" && pwd)"
if [ "${ORTHOPAIR_SKIP_SETUP:-0}" != 1 ]; then bash scripts/setup.sh example; fi
bash scripts/build.sh mex >/dev/null
octave-cli --no-gui --norc --quiet --eval \
  "addpath('build/mex'); addpath('bench/peer'); peer_benchmark('$folder', 'build/peer-bench.md', struct('own', true)); disp(' '); certificate_contrast('$folder'); disp(' '); step_speed(300, 5, 3000);" \
  2> >(grep -v "ignoring const execution_exception" >&2)
