"""scikit-learn's SparsePCA on the data sets of the real-data benchmark.

    /usr/bin/python3 sklearn_sparse_pca.py DATA_DIR OUT_CSV [r ...]

Reads the same files as real_data_benchmark.m (wine, breast cancer,
diabetes, digits from DATA_DIR), standardises each column (divisor m - 1;
constant columns are left at zero), fits SparsePCA with default options
except alpha, over a grid of alpha, and writes one line per fit:

    dataset, r, alpha, seconds, then the n*r loadings (component by component)

The loadings are all that is written; the variance they keep is computed on
the Octave side by the same code as ours.
"""
import csv
import gzip
import sys
import time

import numpy as np
from sklearn.decomposition import SparsePCA

ALPHAS = (0.25, 0.5, 1.0, 2.0, 4.0, 8.0, 16.0)


def read(data_dir, name):
    if name in ("wine", "breast_cancer"):
        file = {"wine": "wine_data.csv", "breast_cancer": "breast_cancer.csv"}[name]
        X = np.loadtxt(f"{data_dir}/{file}", delimiter=",", skiprows=1)[:, :-1]
    elif name == "diabetes":
        with gzip.open(f"{data_dir}/diabetes_data_raw.csv.gz", "rt") as f:
            X = np.loadtxt(f)
    else:
        with gzip.open(f"{data_dir}/digits.csv.gz", "rt") as f:
            X = np.loadtxt(f, delimiter=",")[:, :-1]
    X = X - X.mean(axis=0)
    sd = X.std(axis=0, ddof=1)
    sd[sd == 0] = 1
    return X / sd


def main():
    data_dir, out = sys.argv[1], sys.argv[2]
    ranks = [int(a) for a in sys.argv[3:]] or [2, 4]
    with open(out, "w", newline="") as f:
        w = csv.writer(f)
        for name in ("wine", "breast_cancer", "diabetes", "digits"):
            X = read(data_dir, name)
            for r in ranks:
                for alpha in ALPHAS:
                    t = time.time()
                    model = SparsePCA(n_components=r, alpha=alpha, random_state=0).fit(X)
                    seconds = time.time() - t
                    w.writerow([name, r, alpha, f"{seconds:.3f}"]
                               + [repr(float(v)) for v in model.components_.ravel()])
                    print(f"{name} r={r} alpha={alpha}: {int((model.components_ != 0).sum())} "
                          f"nonzeros, {seconds:.2f} s", flush=True)


if __name__ == "__main__":
    main()
