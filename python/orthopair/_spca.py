"""Sparse PCA the way the toolbox's sparse_pca does it: data centred (and
optionally standardised), the covariance over m - 1 given to the solver in
its data form, several starts, columns ordered by the variance they add."""

import numbers
import time
import warnings
from dataclasses import dataclass, field
from typing import List, Optional

import numpy as np

from ._errors import ArgumentError, ArgumentTypeError
from ._result import Result

__all__ = ["SparsePCAInfo", "sparse_pca"]

# Stops asked for by the caller: they end the remaining starts too.
_CALLER_STOPS = ("target", "callback", "callback_error", "interrupted", "time_limit")


@dataclass
class SparsePCAInfo:
    """What :func:`sparse_pca` returns beside X.

    ``result`` is the solver's :class:`Result` of the run kept (its fields,
    ``iterations``, ``certified``, ..., read through this object too); ``f``
    is F at the returned X, ``f_solve`` F at the solver's point. Variance is
    in units of C: ``variance`` = trace(X'CX), ``variance_per_component`` its
    diagonal, ``adjusted_variance`` = sum(diag(R)^2) with Dc X = QR (what the
    columns add one after another), ``total_variance`` = trace(C),
    ``pca_variance`` the sum of the r largest eigenvalues of C, and their
    shares: ``explained``, ``adjusted_explained`` (of the total) and
    ``explained_pca``, ``adjusted_explained_pca`` (of PCA's). ``lambda_``
    holds the weight of each returned column, ``order`` the run's column each
    came from (0-based), ``starts`` one dict per start (kind 'pca', 'random'
    or 'given', seed, f, stop, nnz, variance, adjusted_variance), ``refit``
    a dict: applied, variance_before/after, adjusted_before/after, rounds,
    X_before (the solver's loadings, ordered and signed as X).
    """

    result: Result = field(repr=False)
    f: float
    f_solve: float
    stop: str
    lambda_: np.ndarray
    order: np.ndarray
    variance: float
    variance_per_component: np.ndarray
    adjusted_variance: float
    adjusted_per_component: np.ndarray
    total_variance: float
    pca_variance: float
    explained: float
    adjusted_explained: float
    explained_pca: float
    adjusted_explained_pca: float
    nnz: int
    nnz_per_component: np.ndarray
    feasibility: float
    starts: List[dict] = field(default_factory=list)
    refit: Optional[dict] = None

    def __getattr__(self, name):
        # The solver's fields (iterations, certified, history, ...).
        if name == "result":
            raise AttributeError(name)
        return getattr(self.result, name)


class _Problem:
    """C = Dc'Dc/divisor from data (never formed), or C itself."""

    def __init__(self, C, data, center, standardize, divisor):
        as_data = C.shape[0] != C.shape[1] or bool(data)
        self.data = as_data
        self.n = C.shape[1]
        if as_data:
            m = C.shape[0]
            # Row by row in C order: column sums accumulate one sample after
            # another, the order the toolbox's sum takes, so the centred data
            # have the same bits in both hosts.
            D = np.array(C, dtype=np.float64, order="C")
            if center:
                D = D - np.add.reduce(D, axis=0) / m
            if divisor is None:
                divisor = max(1, m - 1)
            if (isinstance(divisor, bool) or not isinstance(divisor, numbers.Real)
                    or not divisor > 0 or not np.isfinite(divisor)):
                raise ArgumentError("sparse_pca:badOption", "divisor must be a positive number.")
            self.divisor = float(divisor)
            if standardize:
                sd = np.sqrt(np.add.reduce(D ** 2, axis=0) / self.divisor)
                sd[sd == 0] = 1
                D = D / sd
            self.D = np.ascontiguousarray(D)
            self.trace = float(np.sum(D ** 2) / self.divisor)
        else:
            C = np.array(C, dtype=np.float64)
            asym = np.linalg.norm(C - C.T)
            if asym > 1e-10 * max(np.linalg.norm(C), np.finfo(float).tiny):
                warnings.warn("sparse_pca:notSymmetric: C is not symmetric "
                              f"(||C - C'||/||C|| = {asym / np.linalg.norm(C):.1e}); "
                              "using (C + C')/2.", RuntimeWarning, stacklevel=3)
            C = 0.5 * (C + C.T)
            if standardize:
                d = np.sqrt(np.diag(C)).copy()
                d[d == 0] = 1
                C = C / np.outer(d, d)
            self.C = C
            self.trace = float(np.trace(C))

    def operator(self):
        from ._solver import Gram
        return Gram(self.D, -1.0 / self.divisor) if self.data else -self.C

    def add_pca(self, r):
        """The r leading eigenpairs of C, from the SVD of the data."""
        if self.data:
            _, s, Vt = np.linalg.svd(self.D, full_matrices=False)
            V = Vt.T
            s2 = s ** 2 / self.divisor
            if s2.size < r:  # fewer samples than components
                extra = np.linalg.svd(V.T, full_matrices=True)[2][V.shape[1]:].T
                V = np.hstack([V, extra[:, :r - s2.size]])
                s2 = np.concatenate([s2, np.zeros(r - s2.size)])
            V, values = V[:, :r], s2[:r]
        else:
            e, V = np.linalg.eigh(self.C)
            idx = np.argsort(-e, kind="stable")
            V, values = V[:, idx[:r]], e[idx[:r]]
            if e.min() < -1e-10 * max(abs(e.max()), np.finfo(float).tiny):
                warnings.warn("sparse_pca:notPSD: C is not positive semidefinite (smallest "
                              f"eigenvalue {e.min():.3g}, largest {e.max():.3g}): is it a "
                              "covariance matrix? Data matrices that happen to be square need "
                              "data=True.", RuntimeWarning, stacklevel=3)
        self.V = _sign_convention(np.ascontiguousarray(V))
        self.pca_values = np.asarray(values, dtype=np.float64)

    def gram(self, X):
        """X'CX, from the scores Dc X for data."""
        if self.data:
            Z = self.D @ X
            G = (Z.T @ Z) / self.divisor
        else:
            G = X.T @ (self.C @ X)
        return 0.5 * (G + G.T)

    def objective(self, X, lam):
        return float(-0.5 * np.trace(self.gram(X)) + np.sum(lam * np.sum(np.abs(X), axis=0)))

    def measure(self, X):
        G = self.gram(X)
        per = np.diag(G).copy()
        adjusted = _adjusted_in_order(G)
        return {"per_component": per, "variance": float(np.sum(per)),
                "adjusted_per": adjusted, "adjusted": float(np.sum(adjusted))}


def _adjusted_in_order(G):
    """Squared diagonal of R in Z = QR for scores with Z'Z = G: what each
    column adds beyond the span of those before it (the pivots of symmetric
    elimination on G; a pivot below rounding eliminates nothing)."""
    G = np.array(G, dtype=np.float64)
    r = G.shape[0]
    d = np.zeros(r)
    tol = 1e-14 * max(np.trace(G), np.finfo(float).tiny)
    for k in range(r):
        v = G[k, k]
        d[k] = max(v, 0.0)
        if v > tol and k < r - 1:
            G[k + 1:, k + 1:] -= np.outer(G[k + 1:, k], G[k, k + 1:] / v)
    return d


def _sign_convention(X):
    """Each column with its largest-magnitude entry positive (the first such
    entry on a tie)."""
    at = np.argmax(np.abs(X), axis=0)
    s = np.sign(X[at, np.arange(X.shape[1])])
    s[s == 0] = 1
    return X * s


def _arrange(P, X, reorder):
    """Columns in the order in which each adds the most variance to those
    before it (greedy on the Schur complements of X'CX), signs fixed."""
    r = X.shape[1]
    order = np.arange(r)
    if reorder and r > 1:
        G = P.gram(X)
        tol = 1e-14 * max(np.trace(G), np.finfo(float).tiny)
        left = np.ones(r, dtype=bool)
        for k in range(r):
            gain = np.where(left, np.diag(G), -np.inf)
            j = int(np.argmax(gain))
            order[k] = j
            left[j] = False
            v = G[j, j]
            if v > tol:
                G = G - np.outer(G[:, j], G[j, :] / v)
        X = X[:, order]
    return np.ascontiguousarray(_sign_convention(X)), order


def _greedy_adjusted(P, X):
    """Adjusted variance with the columns in the order _arrange gives them."""
    return P.measure(_arrange(P, X, True)[0])["adjusted"]


def _null_basis(N):
    """An orthonormal basis of the vectors orthogonal to the columns of N."""
    U, sv, _ = np.linalg.svd(N, full_matrices=True)
    top = sv[0] if sv.size else 0.0
    rank = int(np.sum(sv > 1e-12 * max(top, np.finfo(float).tiny)))
    return U[:, rank:]


def _restricted(P, S, Z, X=None):
    """M = W'CW (and B = W'CX) for the loadings W that are Z on the rows S and
    zero elsewhere, from the columns S of the data alone."""
    B = None
    if P.data:
        Y = P.D[:, S] @ Z
        M = (Y.T @ Y) / P.divisor
        if X is not None:
            B = (Y.T @ (P.D @ X)) / P.divisor
    else:
        M = Z.T @ P.C[np.ix_(S, S)] @ Z
        if X is not None:
            B = Z.T @ (P.C[S, :] @ X)
    return 0.5 * (M + M.T), B


def _leading(M):
    w, V = np.linalg.eigh(M)
    at = int(np.argmax(w))
    return w[at], V[:, at]


def _refit_on_support(P, X, Q, max_rounds):
    """Block-coordinate ascent of trace(X'CX) over X'X = I with X zero off
    the pattern Q: column k, the others held, becomes the leading
    eigenvector of C restricted to its support and to the complement of the
    other columns there. From X = 0 the first round builds a feasible point
    one column at a time, smallest supports first (None when the pattern
    admits none). Supports above 1500 already set are left as they are."""
    n, r = X.shape
    value = -np.inf
    rounds = 0
    sequence = np.argsort(np.sum(Q, axis=0), kind="stable")
    for rounds in range(1, max_rounds + 1):
        for k in sequence:
            S = np.flatnonzero(Q[:, k])
            if S.size > 1500 and X[:, k].any():
                continue
            others = [j for j in range(r) if j != k]
            N = X[np.ix_(S, others)]
            Z = np.eye(S.size) if not others or not N.any() else _null_basis(N)
            if Z.shape[1] == 0:
                if not X[:, k].any():
                    return None, rounds
                continue
            top, w = _leading(_restricted(P, S, Z)[0])
            col = np.zeros(n)
            col[S] = Z @ w
            col /= np.linalg.norm(col)
            if not X[:, k].any() or top >= _restricted(P, S, X[S, k:k + 1])[0][0, 0]:
                X[:, k] = col
        new_value = float(np.trace(P.gram(X)))
        if new_value - value <= 1e-13 * max(abs(new_value), np.finfo(float).tiny):
            break
        value = new_value
    return X, rounds


def _refit_adjusted(P, Q, order):
    """Column order[k] becomes the leading eigenvector, on its support and
    orthogonal to the columns set before it, of the covariance left after
    their scores are taken out, C - C Xp (Xp'C Xp)^+ Xp'C, applied to a basis
    of the admissible loadings (nothing n-by-n formed). None when a column
    has no admissible loading left."""
    n, r = Q.shape
    X = np.zeros((n, r))
    done = []
    for k in order:
        S = np.flatnonzero(Q[:, k])
        Z = np.eye(S.size) if not done else _null_basis(X[np.ix_(S, done)])
        if Z.shape[1] == 0:
            return None
        if not done:
            M = _restricted(P, S, Z)[0]
        else:
            Xp = X[:, done]
            M, B = _restricted(P, S, Z, Xp)
            M = M - B @ (np.linalg.pinv(P.gram(Xp)) @ B.T)
            M = 0.5 * (M + M.T)
        col = np.zeros(n)
        col[S] = Z @ _leading(M)[1]
        X[:, k] = col / np.linalg.norm(col)
        done.append(int(k))
    return X


def _refit_best(P, X, max_rounds=50):
    """The best, by adjusted variance, of the two re-fits on the nonzeros of X
    and of X itself (neither re-fit may lose what X keeps)."""
    n, r = X.shape
    Q = X != 0
    order = np.arange(r)
    if np.all(Q.any(axis=0)):
        order = _arrange(P, X, True)[1]
    warm = bool(np.all(Q.any(axis=0))
                and np.linalg.norm(X.T @ X - np.eye(r)) <= 1e-12)
    start = np.array(X, dtype=np.float64) if warm else np.zeros((n, r))
    Xt, rounds = _refit_on_support(P, start.copy(), Q, max_rounds)
    candidates = [Xt, _refit_adjusted(P, Q, order)] + ([start] if warm else [])
    best, value = None, -np.inf
    for Xc in candidates:
        if Xc is not None:
            v = _greedy_adjusted(P, Xc)
            if v > value:
                best, value = Xc, v
    return best, rounds


def _pick(runs):
    """The lowest F among certified runs, else among all (first on a tie)."""
    f = np.array([info.f for _, info, _ in runs])
    cert = np.array([info.stop == "certified" for _, info, _ in runs])
    if cert.any():
        f[~cert] = np.inf
    return int(np.argmin(f))


def sparse_pca(C, r, lam, *, data=None, center=True, standardize=False, divisor=None, X0=None,
               starts=None, refit="auto", **options):
    """Sparse principal components with exactly orthonormal loadings.

    ``X, info = sparse_pca(C, r, lam)`` solves::

        minimise   -1/2 trace(X'CX) + lam * sum|X|   subject to X'X = I,

    X n-by-r, for a covariance (or correlation) matrix C. lam = 0 gives the
    principal components; lam > 0 trades variance for exact zeros. lam may
    hold one weight per column. The columns come ordered by the variance
    each adds (the adjusted variance), each with its largest-magnitude
    loading positive; with one weight per column they keep their order.

    A non-square first argument D (m-by-n, one sample a row) is data, and a
    square one only with ``data=True``: it is centred (``center``, default
    True), scaled to unit variance with ``standardize=True``, and C =
    Dc'Dc/divisor (``divisor`` default m - 1, the sample covariance), given
    to the solver as ``Gram(Dc, -1/divisor)`` so that nothing n-by-n is
    formed. For a matrix C, ``standardize`` makes it the correlation matrix.

    ``starts``: the principal components (or ``X0`` when given) and then
    starts - 1 seeded random starts, seeds seed+1, seed+2, ... (``seed``
    option, default 1). Default 5 for n <= 200, 3 for n <= 1000, else 1; 1
    when X0 is given or lam = 0. The run with the lowest F among those
    certified (else among all) is kept; a stop asked for by the caller
    (target_f, callback, time_limit, Ctrl-C) ends the remaining starts.
    ``refit``: with the zero pattern of X fixed, move the loadings to keep as
    much adjusted variance as they can with X'X = I, by the better of a
    block-coordinate ascent of trace(X'CX) and one pass giving each column,
    in order, the loadings on its support that add the most variance to
    those before it; 'auto' (default) keeps the re-fit when it raises the
    adjusted variance, True when it is no worse, False skips it. A count of
    nonzeros asked for is not available here yet. Other options are those
    of :func:`orthopair.solve`.

    Returns X (n-by-r) and a :class:`SparsePCAInfo`.

    Example::

        >>> import orthopair
        >>> D = orthopair.seeded_uniform(200, 12, 1) - 0.5
        >>> D[:, 1] = D[:, 0] + 0.1 * D[:, 1]
        >>> X, info = orthopair.sparse_pca(D, 2, 0.02)
        >>> X.shape, info.stop, len(info.starts)
        ((12, 2), 'certified', 5)
    """
    P, r, lam_vec, X0, seed = _check_call(C, r, lam, data, center, standardize, divisor, X0,
                                          refit, options)
    P.add_pca(r)
    pca_only = bool(np.all(lam_vec == 0))
    plan = _start_plan(P, r, X0, starts, seed, pca_only)
    runs, report = _run_starts(P, plan, lam_vec, options)
    X, result, _ = runs[_pick(runs)]
    # Every rotation of the leading subspace minimises F at lambda = 0; the
    # principal components are the one meant, returned as computed unless
    # the run found a lower F (it cannot, up to rounding).
    if pca_only and result.f >= P.objective(P.V, lam_vec) - 1e-12 * max(1.0, abs(result.f)):
        X = P.V
    reorder = bool(np.all(lam_vec == lam_vec[0]))
    X, order = _arrange(P, X, reorder)
    lam_out = lam_vec[order]
    before = P.measure(X)
    refit_info = {"applied": False, "variance_before": before["variance"],
                  "variance_after": before["variance"], "adjusted_before": before["adjusted"],
                  "adjusted_after": before["adjusted"], "rounds": 0, "X_before": X}
    refit_off = not isinstance(refit, str) and not refit
    if (not pca_only and np.any(lam_out > 0) and not refit_off
            and result.stop in ("certified", "not_certified", "stalled", "max_iter")):
        X, order, lam_out = _apply_refit(P, X, order, lam_out, reorder, refit, before, refit_info)
    return X, _spca_info(P, X, result, lam_out, order, report, refit_info)


def _check_call(C, r, lam, data, center, standardize, divisor, X0, refit, options):
    """The checked problem of a sparse_pca call: (P, r, lam_vec, X0, seed)."""
    from ._solver import _OPTIONS, _as_real, _seed_option

    for name in options:
        if name not in _OPTIONS:
            raise ArgumentTypeError(
                "sparse_pca:badOption",
                f"Unknown option '{name}'. Known options: data, center, standardize, divisor, "
                f"X0, starts, refit, {', '.join(_OPTIONS)}.")
    if not (isinstance(refit, (bool, numbers.Real, np.bool_)) or
            (isinstance(refit, str) and refit == "auto")):
        raise ArgumentError("sparse_pca:badOption", "refit must be True, False or 'auto'.")
    C = _as_real(C)
    if (not isinstance(C, np.ndarray) or C.ndim != 2 or C.size == 0
            or not np.all(np.isfinite(C))):
        raise ArgumentError("sparse_pca:badC", "C must be a non-empty real finite matrix.")
    P = _Problem(C, data, center, standardize, divisor)
    n = P.n
    if (isinstance(r, bool) or not isinstance(r, numbers.Real) or r != int(r)
            or not 1 <= r <= n):
        raise ArgumentError("sparse_pca:badR", f"r must be an integer with 1 <= r <= n (n = {n}).")
    r = int(r)
    lam_in = _as_real(lam)
    lam_arr = np.asarray(lam_in) if isinstance(lam_in, (np.ndarray, numbers.Real)) else None
    if (lam_arr is None or lam_arr.dtype.kind not in "biuf" or not np.all(np.isfinite(lam_arr))
            or np.any(lam_arr < 0) or lam_arr.size not in (1, r)):
        raise ArgumentError("sparse_pca:badLambda",
                            f"lambda must be one weight >= 0 or {r} of them.")
    lam_vec = np.asarray(lam_arr, dtype=np.float64).ravel() * np.ones(r)
    seed = _seed_option("sparse_pca", options)
    if X0 is not None:
        X0 = _as_real(X0)
        if not isinstance(X0, np.ndarray) or X0.shape != (n, r):
            raise ArgumentError("sparse_pca:badX0", f"X0 must be n-by-r ({n}-by-{r}).")
    return P, r, lam_vec, X0, seed


def _start_plan(P, r, X0, starts, seed, pca_only):
    """The starts to run: (kind, seed, start) for the principal components
    (or X0), then the seeded random ones."""
    n = P.n
    default_starts = 1
    if X0 is None and not pca_only:
        default_starts = 5 if n <= 200 else 3 if n <= 1000 else 1
    n_starts = default_starts if starts is None else starts
    if (isinstance(n_starts, bool) or not isinstance(n_starts, numbers.Real)
            or n_starts != int(n_starts) or n_starts < 1):
        raise ArgumentError("sparse_pca:badOption", "starts must be a positive integer.")
    n_starts = 1 if pca_only else int(n_starts)
    plan = [("pca" if X0 is None else "given", seed, P.V if X0 is None else X0)]
    plan += [("random", seed + k, r) for k in range(1, n_starts)]
    return plan


def _run_starts(P, plan, lam_vec, options):
    """One solve per start, within the time limit of them all; a stop the
    caller asked for ends the rest. Returns the runs and their report."""
    from ._solver import solve

    A = P.operator()
    clock = time.monotonic()
    runs, report = [], []
    for kind, start_seed, start in plan:
        o = dict(options, seed=start_seed)
        if options.get("time_limit") is not None:
            o["time_limit"] = max(0.0, options["time_limit"] - (time.monotonic() - clock))
        Xk, ik = solve(A, None, lam_vec, start, **o)
        m = P.measure(_arrange(P, Xk, True)[0])
        runs.append((Xk, ik, m))
        report.append({"kind": kind, "seed": start_seed, "f": ik.f, "stop": ik.stop,
                       "nnz": int(np.count_nonzero(Xk)), "variance": m["variance"],
                       "adjusted_variance": m["adjusted"]})
        if ik.stop in _CALLER_STOPS:
            break
    return runs, report


def _apply_refit(P, X, order, lam_out, reorder, refit, before, refit_info):
    """The re-fit on the zero pattern of X, kept as refit asks; refit_info
    records it. Returns (X, order, lam_out)."""
    Xr, rounds = _refit_best(P, X)
    if Xr is not None:
        Xr, order_r = _arrange(P, Xr, reorder)
        after = P.measure(Xr)
        wins = after["adjusted"] > before["adjusted"] * (1 + 1e-12)
        if ((wins or not isinstance(refit, str))
                and np.linalg.norm(Xr.T @ Xr - np.eye(X.shape[1])) <= 1e-12):
            X = Xr
            order = order[order_r]
            lam_out = lam_out[order_r]
            refit_info.update(applied=True, variance_after=after["variance"],
                              adjusted_after=after["adjusted"])
    refit_info["rounds"] = rounds
    return X, order, lam_out


def _spca_info(P, X, result, lam_out, order, report, refit_info):
    r = X.shape[1]
    m = P.measure(X)
    pca_variance = float(np.sum(P.pca_values))
    return SparsePCAInfo(
        result=result, f=P.objective(X, lam_out), f_solve=result.f, stop=result.stop,
        lambda_=lam_out, order=order, variance=m["variance"],
        variance_per_component=m["per_component"], adjusted_variance=m["adjusted"],
        adjusted_per_component=m["adjusted_per"], total_variance=P.trace,
        pca_variance=pca_variance, explained=m["variance"] / P.trace,
        adjusted_explained=m["adjusted"] / P.trace, explained_pca=m["variance"] / pca_variance,
        adjusted_explained_pca=m["adjusted"] / pca_variance,
        nnz=int(np.count_nonzero(X)), nnz_per_component=np.count_nonzero(X, axis=0),
        feasibility=float(np.linalg.norm(X.T @ X - np.eye(r))), starts=report,
        refit=refit_info)
