"""Sparse PCA from Python on real data: the Wisconsin breast-cancer measurements
(569 tumours, 30 features; the copy that ships with scikit-learn) and the
pitprops correlation matrix.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/sparse_pca_example.py [picture.png]

For a range of penalties alpha, three sparse components are fitted; each fit
runs five starts (the principal components and four seeded random ones) and
keeps the best. The
picture (default build/sparse_pca_python.png) shows the variance the
components keep against the number of nonzero loadings they use, and the
loadings at one penalty. The variance is the adjusted variance of Zou, Hastie
and Tibshirani (2006), which does not count twice what correlated components
share.
"""

import os
import sys
import time

import numpy as np

import orthopair

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))


def best_fit(X, r, alpha):
    """The best of the estimator's five starts (its default at this size)."""
    return orthopair.SparsePCA(r, alpha).fit(X)


def breast_cancer():
    from sklearn.datasets import load_breast_cancer
    data = load_breast_cancer()
    X = data.data
    X = (X - X.mean(axis=0)) / X.std(axis=0)  # the features have different units
    return X, list(data.feature_names)


def main(picture):
    X, names = breast_cancer()
    r = 3
    alphas = np.concatenate([[0.0], np.geomspace(0.02, 2.0, 12)])
    rows = []
    start = time.perf_counter()
    for alpha in alphas:
        model = best_fit(X, r, alpha)
        rows.append((alpha, np.count_nonzero(model.components_),
                     100 * model.adjusted_variance_ratio_.sum(), model,
                     100 * model.explained_variance_ratio_.sum()))
    elapsed = time.perf_counter() - start
    print(f"breast cancer, {X.shape[0]} samples x {X.shape[1]} features, {r} components, "
          f"{len(alphas)} fits of 5 starts in {elapsed:.2f} s")
    print(f"{'alpha':>8} {'nonzeros':>9} {'adjusted variance %':>20} {'sum of variances %':>19} "
          f"{'stop':>10}")
    for alpha, nnz, var, model, total in rows:
        print(f"{alpha:8.3f} {nnz:9d} {var:20.1f} {total:19.1f} {model.result_.stop:>10}")

    # Pitprops: only the correlation matrix is published; six components.
    C = np.loadtxt(os.path.join(TOP, "..", "shared", "real-data", "pitprops.csv"), delimiter=",")
    if C.shape == (13, 13):
        for lam in (0.1, 0.2, 0.3):
            # Five starts by default at this size; the best is kept.
            W, info = orthopair.sparse_pca(C, 6, lam)
            adjusted = info.adjusted_explained
            print(f"pitprops, lambda {lam}: {np.count_nonzero(W)} nonzero loadings "
                  f"({' '.join(str(np.count_nonzero(w)) for w in W.T)}), adjusted variance "
                  f"{100 * adjusted:.1f} % of total, {info.stop}")

    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no picture (Debian: python3-matplotlib)")
        return
    fig, (left, right) = plt.subplots(1, 2, figsize=(11, 4.6),
                                      gridspec_kw={"width_ratios": [1, 1.3]})
    nnz = [row[1] for row in rows]
    var = [row[2] for row in rows]
    left.plot(nnz, var, "o-", color="tab:blue", label="adjusted variance")
    left.plot(nnz, [row[4] for row in rows], "s:", color="tab:orange", ms=4,
              label="sum of the components' variances")
    left.axhline(var[0], color="gray", ls="--", lw=1, label="PCA (alpha = 0)")
    for alpha, k, v, *_ in rows[1::3]:
        left.annotate(f"{alpha:.2g}", (k, v), textcoords="offset points", xytext=(4, -12),
                      fontsize=8)
    left.set_xlabel("nonzero loadings (of 90)")
    left.set_ylabel("% of the total variance")
    left.set_title("Breast cancer, 3 components, best of 5 starts", fontsize=10)
    left.grid(True, alpha=0.3)
    left.legend(loc="lower right", fontsize=8)

    shown = min(rows, key=lambda row: abs(row[0] - 0.3))
    W = shown[3].components_
    limit = np.abs(W).max()
    image = right.imshow(W, cmap="RdBu_r", vmin=-limit, vmax=limit, aspect="auto")
    right.set_yticks(range(r), [f"PC {k + 1}" for k in range(r)])
    right.set_xticks(range(len(names)), names, rotation=90, fontsize=7)
    right.set_title(f"loadings at alpha = {shown[0]:.2g}: {shown[1]} nonzero, "
                    f"{shown[2]:.1f} % adjusted variance", fontsize=10)
    for (k, j), value in np.ndenumerate(W):
        if value == 0:
            right.text(j, k, "·", ha="center", va="center", color="gray", fontsize=8)
    fig.colorbar(image, ax=right, fraction=0.03)
    fig.tight_layout()
    fig.savefig(picture, dpi=110)
    print(f"picture: {picture}")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(TOP, "build", "sparse_pca_python.png"))
