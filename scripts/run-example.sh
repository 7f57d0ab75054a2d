#!/usr/bin/env bash
# Installs what is missing for the example (scripts/setup.sh example), builds
# the MEX-files and runs the worked example, which saves its picture as
# build/sparse_pca_objective.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh example
bash scripts/build.sh mex
picture=$PWD/build/sparse_pca_objective.png
rm -f "$picture"
# octave-cli may print a harmless "ignoring const execution_exception" line
# at exit; keep it out of the user's way.
octave-cli --no-gui --norc --quiet \
  --eval "addpath('build/mex'); addpath('examples'); png_dir = '$PWD/build'; demo_sparse_pca" \
  2> >(grep -v "ignoring const execution_exception" >&2)
if [[ ! -s $picture ]]; then
  echo "run-example: the picture $picture was not written" >&2
  exit 1
fi
