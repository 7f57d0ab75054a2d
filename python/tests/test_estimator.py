"""SparsePCA: what fit and transform promise, alone and inside scikit-learn."""

import numpy as np
import pytest

import orthopair


def samples(m=120, n=15, seed=0):
    rng = np.random.default_rng(seed)
    # Three sparse latent factors plus noise: sparse loadings exist.
    L = np.zeros((n, 3))
    L[:5, 0], L[5:9, 1], L[9:12, 2] = 3.0, 2.0, 1.5
    return rng.standard_normal((m, 3)) @ L.T + 0.3 * rng.standard_normal((m, n)) + 4.0


def test_no_penalty_spans_the_principal_subspace():
    X = samples()
    model = orthopair.SparsePCA(n_components=3, alpha=0.0).fit(X)
    Xc = X - X.mean(axis=0)
    w, V = np.linalg.eigh(Xc.T @ Xc / (len(X) - 1))
    W = model.components_
    # Any orthonormal basis of the leading subspace is a solution.
    assert np.allclose(W.T @ W, V[:, -3:] @ V[:, -3:].T, atol=1e-6)
    assert np.isclose(model.explained_variance_.sum(), w[-3:].sum(), rtol=1e-9)
    # The first component has nothing before it to share variance with; the
    # others only lose what they share.
    assert np.isclose(model.adjusted_variance_[0], model.explained_variance_[0], rtol=1e-12)
    assert np.all(model.adjusted_variance_ <= model.explained_variance_ * (1 + 1e-12))
    assert np.all(np.diff(model.explained_variance_) <= 0)


def test_fit_transform_properties():
    X = samples()
    model = orthopair.SparsePCA(n_components=3, alpha=0.5)
    Z = model.fit_transform(X)
    W = model.components_
    assert W.shape == (3, 15) and Z.shape == (120, 3)
    assert np.allclose(W @ W.T, np.eye(3), atol=1e-12)
    assert np.allclose(Z, model.transform(X)) and np.allclose(Z.mean(axis=0), 0, atol=1e-12)
    assert np.allclose(model.explained_variance_, Z.var(axis=0, ddof=1))
    assert np.all(model.adjusted_variance_ <= model.explained_variance_ * (1 + 1e-12))
    assert model.adjusted_variance_ratio_.sum() <= 1 and model.result_.certified
    assert np.all(np.abs(W).max(axis=1) == W.max(axis=1))  # largest entry positive
    # The sparse factors are found: each loading lives on one block.
    blocks = [set(range(5)), set(range(5, 9)), set(range(9, 12))]
    support = [set(np.flatnonzero(w)) for w in W]
    assert all(any(s <= b for b in blocks) for s in support)
    # A larger alpha never keeps more nonzeros here, and 0 keeps them all.
    counts = [np.count_nonzero(orthopair.SparsePCA(3, a).fit(X).components_)
              for a in (0.0, 0.2, 0.5, 2.0)]
    assert counts[0] == 45 and counts == sorted(counts, reverse=True)


def test_alpha_is_sparse_pcas_lambda():
    # fit is sparse_pca on the data, starts and all: the same loadings to
    # the last bit, and the same as from the sample covariance to rounding.
    X = samples(m=80)
    for r, alpha, starts, refit in ((2, 0.3, None, "auto"), (3, 0.1, 2, False),
                                    (3, 0.0, None, True)):
        model = orthopair.SparsePCA(r, alpha, n_starts=starts, refit=refit,
                                    random_state=3).fit(X)
        W, info = orthopair.sparse_pca(X, r, alpha, starts=starts, refit=refit, seed=3)
        assert np.array_equal(model.components_, W.T)
        assert len(model.info_.starts) == len(info.starts) == (starts or (1 if alpha == 0 else 5))
        assert np.array_equal(model.adjusted_variance_, info.adjusted_per_component)
        V = orthopair.sparse_pca(np.cov(X, rowvar=False), r, alpha, starts=starts, refit=refit,
                                 seed=3)[0]
        assert np.array_equal(V != 0, W != 0) and np.allclose(V, W, atol=1e-7)
        # The model's own numbers against plain references.
        Z = model.transform(X)
        assert np.allclose(model.explained_variance_, Z.var(axis=0, ddof=1), rtol=1e-10)
        R = np.linalg.qr(Z, mode="r")
        assert np.allclose(model.adjusted_variance_, np.diag(R) ** 2 / 79, rtol=1e-9)
        assert np.isclose(model.total_variance_, X.var(axis=0, ddof=1).sum(), rtol=1e-12)
        assert model.n_iter_ == model.result_.iterations


def test_bad_data_is_refused():
    model = orthopair.SparsePCA(2, 0.1)
    with pytest.raises(RuntimeError):
        model.transform(np.ones((3, 4)))
    for X in (np.ones(5), np.ones((1, 5)), np.full((4, 5), np.nan)):
        with pytest.raises(ValueError):
            model.fit(X)
    with pytest.raises(ValueError):
        orthopair.SparsePCA(6, 0.1).fit(np.ones((10, 5)))
    model.fit(samples(n=15))
    with pytest.raises(ValueError):
        model.transform(np.ones((3, 14)))


def test_in_a_scikit_learn_pipeline():
    sklearn = pytest.importorskip("sklearn")
    from sklearn.base import clone
    from sklearn.linear_model import LinearRegression
    from sklearn.model_selection import cross_val_score
    from sklearn.pipeline import make_pipeline
    from sklearn.preprocessing import StandardScaler

    X = samples()
    y = X[:, :5].sum(axis=1)
    pipe = make_pipeline(StandardScaler(), orthopair.SparsePCA(3, 0.05), LinearRegression())
    scores = cross_val_score(pipe, X, y, cv=3)
    assert np.all(scores > 0.9)
    model = orthopair.SparsePCA(4, 0.7, rule="sweep")
    copy = clone(model).set_params(alpha=0.1)
    assert copy.get_params()["alpha"] == 0.1 and model.alpha == 0.7
    assert copy.get_params()["rule"] == "sweep"
    assert sklearn.__version__
