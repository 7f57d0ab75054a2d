#!/usr/bin/env bash
# Sparse PCA on real data: builds the MEX-files, runs scikit-learn's
# SparsePCA on the same data when Debian's python3-sklearn is there (the
# toolbox itself needs no Python), then bench/real/real_data_benchmark.m,
# which writes build/real-data/real-data.md (tables), real-data.csv (every
# point) and real-data.png (adjusted variance against nonzeros, beside PCA,
# the published pitprops points and scikit-learn).
#
#   run-real-data.sh [pitprops.csv [scikit-learn data folder]]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/scratch-folder.sh
pitprops="${1:-../shared/real-data/pitprops.csv}"
data_dir="${2:-/usr/lib/python3/dist-packages/sklearn/datasets/data}"
out=build/real-data
if [ "${ORTHOPAIR_SKIP_SETUP:-0}" != 1 ]; then bash scripts/setup.sh real-data; fi
bash scripts/build.sh mex >/dev/null
scratch_folder "$out"
sk_csv=""
if /usr/bin/python3 -c "import sklearn" 2>/dev/null; then
  /usr/bin/python3 bench/real/sklearn_sparse_pca.py "$data_dir" "$out/sklearn.csv" 2 4
  sk_csv="$out/sklearn.csv"
else
  echo "python3-sklearn not found: no comparison with scikit-learn" >&2
fi
octave-cli --no-gui --norc --quiet --eval \
  "addpath('$PWD/build/mex'); addpath('$PWD/bench/real'); real_data_benchmark('$out', struct('pitprops', '$pitprops', 'data_dir', '$data_dir', 'sklearn_csv', '$sk_csv'));" \
  2> >(grep -v "ignoring const execution_exception" >&2)
