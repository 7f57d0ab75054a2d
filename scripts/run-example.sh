#!/usr/bin/env bash
# Installs what is missing, builds the MEX-files and runs the worked example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
# octave-cli may print a harmless "ignoring const execution_exception&" line
# at exit; keep it out of the user's way.
octave-cli --no-gui --norc --quiet \
  --eval "addpath('build/mex'); addpath('examples'); demo_sparse_pca" \
  2> >(grep -v "ignoring const execution_exception" >&2)
