"""sparse_pca as the toolbox has it: data centred and over m - 1, principal
components at lambda = 0, columns ordered and signed, the variance numbers
against plain references, the starts, and the refusals."""

import numpy as np
import pytest

import orthopair
from conftest import same_bits


def blocks(m=150, n=12, seed=0, shift=3.0):
    """Data with sparse latent factors (sparse loadings exist), off centre."""
    rng = np.random.default_rng(seed)
    L = np.zeros((n, 3))
    L[:4, 0], L[4:7, 1], L[7:10, 2] = 2.0, 1.5, 1.0
    return rng.standard_normal((m, 3)) @ L.T + 0.4 * rng.standard_normal((m, n)) + shift


def reference_numbers(S, Dc, X, divisor):
    """Plain references: variance from the covariance, adjusted variance
    from the QR factorisation of the scores."""
    R = np.linalg.qr(Dc @ X, mode="r")
    adjusted = np.diag(R) ** 2 / divisor
    w = np.linalg.eigvalsh(S)[::-1]
    return np.diag(X.T @ S @ X), adjusted, np.trace(S), w[:X.shape[1]].sum()


@pytest.mark.parametrize("lam", [0.05, [0.02, 0.05, 0.1]])
def test_data_and_covariance_forms_agree_and_report_their_variance(lam):
    D = blocks()
    m = len(D)
    S = np.cov(D, rowvar=False)
    X, info = orthopair.sparse_pca(D, 3, lam)
    Y, other = orthopair.sparse_pca(S, 3, lam)
    assert info.certified and other.certified
    assert np.array_equal(X != 0, Y != 0) and np.allclose(X, Y, atol=1e-7)
    assert np.allclose(X.T @ X, np.eye(3), atol=1e-12) and info.feasibility < 1e-12
    # A square matrix of data only with data=True; the m - 1 divisor is the
    # one np.cov uses, and divisor changes it.
    Dsq = blocks(m=12)
    Z, zinfo = orthopair.sparse_pca(Dsq, 3, lam, data=True)
    W = orthopair.sparse_pca(np.cov(Dsq, rowvar=False), 3, lam)[0]
    assert np.allclose(Z, W, atol=1e-7)
    V = orthopair.sparse_pca(D, 3, np.asarray(lam) * (m - 1) / m, divisor=m)[0]
    assert np.allclose(V, X, atol=1e-7)
    # Centring is the default; without it the raw second moments are used.
    raw = orthopair.sparse_pca(D, 3, lam, center=False, divisor=1.0)
    assert np.isclose(raw[1].total_variance, np.sum(D * D), rtol=1e-12)

    Dc = D - D.mean(axis=0)
    for Xk, ik in ((X, info), (Y, other)):
        per, adjusted, total, pca = reference_numbers(S, Dc, Xk, m - 1)
        assert np.allclose(ik.variance_per_component, per, rtol=1e-10)
        assert np.isclose(ik.variance, per.sum(), rtol=1e-10)
        assert np.allclose(ik.adjusted_per_component, adjusted, rtol=1e-9)
        assert np.isclose(ik.total_variance, total, rtol=1e-12)
        assert np.isclose(ik.pca_variance, pca, rtol=1e-10)
        assert np.isclose(ik.explained, ik.variance / total)
        assert np.isclose(ik.adjusted_explained_pca, ik.adjusted_variance / pca)
        assert ik.adjusted_variance <= ik.variance * (1 + 1e-12) <= pca * (1 + 1e-9)
        assert ik.nnz == np.count_nonzero(Xk)
        assert list(ik.nnz_per_component) == list(np.count_nonzero(Xk, axis=0))
        lam_cols = np.asarray(lam) * np.ones(3)
        assert np.allclose(ik.lambda_, lam_cols[ik.order])
        assert np.isclose(ik.f, -0.5 * per.sum() + np.sum(ik.lambda_ * np.abs(Xk).sum(axis=0)),
                          rtol=1e-12)
        # Largest-magnitude loading positive in each column.
        at = np.argmax(np.abs(Xk), axis=0)
        assert np.all(Xk[at, np.arange(3)] > 0)
    if np.ndim(lam) == 0:
        # One weight: the columns come in the order of what they add, the
        # first the one with the most variance of its own.
        assert np.argmax(info.variance_per_component) == 0
    else:
        # One weight per column: each keeps its column.
        assert list(info.order) == [0, 1, 2]


def test_lambda_zero_gives_the_principal_components():
    D = blocks(seed=3)
    S = np.cov(D, rowvar=False)
    w, V = np.linalg.eigh(S)
    V = V[:, ::-1][:, :4]
    V = V * np.sign(V[np.argmax(np.abs(V), axis=0), np.arange(4)])
    for first in (D, S):
        X, info = orthopair.sparse_pca(first, 4, 0.0)
        assert np.allclose(X, V, atol=1e-9)
        assert len(info.starts) == 1 and info.starts[0]["kind"] == "pca"
        assert np.isclose(info.explained_pca, 1, rtol=1e-12)
        assert np.isclose(info.adjusted_explained_pca, 1, rtol=1e-10)
        assert np.allclose(info.variance_per_component, w[::-1][:4], rtol=1e-10)
    # Fewer samples than components: the basis is completed orthonormally.
    X, info = orthopair.sparse_pca(blocks(m=3), 4, 0.0)
    assert np.allclose(X.T @ X, np.eye(4), atol=1e-12)
    # Standardised data: the correlation matrix.
    Xs, sinfo = orthopair.sparse_pca(D, 2, 0.0, standardize=True)
    Xr = orthopair.sparse_pca(np.corrcoef(D, rowvar=False), 2, 0.0)[0]
    Xq = orthopair.sparse_pca(S, 2, 0.0, standardize=True)[0]
    assert np.allclose(Xs, Xr, atol=1e-9) and np.allclose(Xq, Xr, atol=1e-9)
    assert np.isclose(sinfo.total_variance, D.shape[1])


def test_the_starts():
    D = blocks(seed=5)
    X, info = orthopair.sparse_pca(D, 3, 0.3, seed=7)
    assert [s["kind"] for s in info.starts] == ["pca"] + ["random"] * 4
    assert [s["seed"] for s in info.starts] == [7, 8, 9, 10, 11]
    certified = [s["f"] for s in info.starts if s["stop"] == "certified"]
    assert info.f_solve == min(certified)
    # Each start is the run a single-start call makes from the same point.
    first = orthopair.sparse_pca(D, 3, 0.3, seed=7, starts=1)
    assert len(first[1].starts) == 1 and first[1].f_solve == info.starts[0]["f"]
    Dc = D - D.sum(axis=0) / len(D)
    G = orthopair.Gram(Dc, -1.0 / (len(D) - 1))
    third = orthopair.solve(G, None, 0.3, 3, seed=9)[1]
    assert third.f == info.starts[2]["f"]
    # A start of one's own is the only one unless more are asked for.
    X0 = orthopair.random_orthonormal(12, 3, 2)
    given = orthopair.sparse_pca(D, 3, 0.3, X0=X0)[1]
    assert [s["kind"] for s in given.starts] == ["given"]
    more = orthopair.sparse_pca(D, 3, 0.3, X0=X0, starts=2)[1]
    assert [s["kind"] for s in more.starts] == ["given", "random"]
    # Larger problems get fewer starts by default.
    wide = np.random.default_rng(1).standard_normal((20, 250))
    assert len(orthopair.sparse_pca(wide, 1, 0.5, max_iter=200)[1].starts) == 3
    # A stop asked for by the caller ends the remaining starts.
    stopped = orthopair.sparse_pca(D, 3, 0.3, target_f=np.inf)[1]
    assert [s["stop"] for s in stopped.starts] == ["target"]


@pytest.mark.parametrize("args, kwargs, reason", [
    (("text", 2, 0.1), {}, "badC"),
    ((np.full((5, 3), np.nan), 2, 0.1), {}, "badC"),
    ((np.eye(4), 5, 0.1), {}, "badR"),
    ((np.eye(4), 1.5, 0.1), {}, "badR"),
    ((np.eye(4), 2, -0.1), {}, "badLambda"),
    ((np.eye(4), 2, [0.1, 0.2, 0.3]), {}, "badLambda"),
    ((np.eye(4), 2, 0.1), {"X0": np.eye(4)}, "badX0"),
    ((np.eye(4), 2, 0.1), {"starts": 0}, "badOption"),
    ((np.ones((5, 3)), 2, 0.1), {"divisor": -1}, "badOption"),
    ((np.eye(4), 2, 0.1), {"refit": "yes"}, "badOption"),
    ((np.eye(4), 2, 0.1), {"nnz": 3}, "badOption"),
])
def test_bad_calls_are_refused_by_name(args, kwargs, reason):
    with pytest.raises(orthopair.OrthopairError) as e:
        orthopair.sparse_pca(*args, **kwargs)
    assert e.value.identifier == "sparse_pca:" + reason


def test_same_x_and_variance_as_octave(octave):
    D = orthopair.seeded_uniform(60, 10, 3) - 0.5
    D[:, 1] = D[:, 0] + 0.1 * D[:, 1]
    D[:, 4] = D[:, 3] - 0.2 * D[:, 5]
    ref = octave.call("""
        [X, info] = sparse_pca(D, 3, 0.01, struct('refit', false, 'seed', 4));
        f = info.f; variance = info.variance; adjusted = info.adjusted_per_component;
        total = info.total_variance; pca = info.pca_variance; order = info.order;
        fs = [info.starts.f];
        """, {"D": D}, ["X", "f", "variance", "adjusted", "total", "pca", "order", "fs"])
    X, info = orthopair.sparse_pca(D, 3, 0.01, seed=4, refit=False)
    assert list(info.order + 1) == list(ref["order"].ravel().astype(int))
    assert same_bits(X, ref["X"])
    assert same_bits([s["f"] for s in info.starts], ref["fs"].ravel())
    for ours, theirs in ((info.f, ref["f"]), (info.variance, ref["variance"]),
                         (info.adjusted_per_component, ref["adjusted"]),
                         (info.total_variance, ref["total"]), (info.pca_variance, ref["pca"])):
        assert np.allclose(ours, np.ravel(theirs), rtol=1e-13, atol=0)


def test_refit_keeps_the_support_and_never_loses_adjusted_variance():
    D = blocks(seed=8, n=14)
    S = np.cov(D, rowvar=False)
    for lam in (0.05, 0.3, [0.1, 0.3, 0.6]):
        X, info = orthopair.sparse_pca(D, 3, lam)
        kept = orthopair.sparse_pca(D, 3, lam, refit=False)[0]
        forced, finfo = orthopair.sparse_pca(D, 3, lam, refit=True)
        rf = info.refit
        assert np.array_equal(rf["X_before"], kept)
        assert rf["adjusted_after"] >= rf["adjusted_before"]
        assert finfo.refit["applied"]
        for Y, i in ((X, info), (forced, finfo)):
            assert np.allclose(Y.T @ Y, np.eye(3), atol=1e-12)
            # No nonzero is added: each column lies on the support of one
            # of the solver's columns.
            before = i.refit["X_before"]
            supports = [set(np.flatnonzero(c)) for c in before.T]
            assert all(any(set(np.flatnonzero(c)) <= t for t in supports) for c in Y.T)
            assert np.isclose(i.adjusted_variance, i.refit["adjusted_after"], rtol=1e-12)
        if rf["applied"]:
            assert rf["adjusted_after"] > rf["adjusted_before"]
        # R = 1: the leading eigenvector of C on the support.
        x, one = orthopair.sparse_pca(D, 1, 0.3)
        sup = np.flatnonzero(x[:, 0])
        w, V = np.linalg.eigh(S[np.ix_(sup, sup)])
        assert np.isclose(one.variance, w[-1], rtol=1e-10)


def test_refit_agrees_with_octave(octave):
    D = orthopair.seeded_uniform(80, 12, 5) - 0.5
    D[:, 1] = D[:, 0] + 0.2 * D[:, 1]
    D[:, 6] = D[:, 5] - 0.3 * D[:, 7]
    ref = octave.call("""
        [X, info] = sparse_pca(D, 3, 0.02, struct('seed', 2));
        adjusted = info.adjusted_variance; applied = double(info.refit.applied);
        """, {"D": D}, ["X", "adjusted", "applied"])
    X, info = orthopair.sparse_pca(D, 3, 0.02, seed=2)
    assert info.refit["applied"] == bool(ref["applied"][0, 0])
    assert np.array_equal(X != 0, ref["X"] != 0)
    assert np.allclose(X, ref["X"], atol=1e-10)
    assert np.isclose(info.adjusted_variance, ref["adjusted"][0, 0], rtol=1e-12)
