"""The solver's front end: the problem in its forms, starts, options, progress."""

import logging
import numbers

import numpy as np

from . import _core
from ._errors import ArgumentError, ArgumentTypeError, OrthopairError
from ._result import Certificate, PolishReport, Result
from ._spca import SparsePCAInfo, sparse_pca

__all__ = ["Gram", "solve", "sparse_pca", "l1_procrustes", "certify", "polish",
           "random_orthonormal", "seeded_uniform"]

logger = logging.getLogger("orthopair")

# The options of the native run come from its table, where their names,
# ranges and defaults are written once; the front end adds its own.
_ENGINE_OPTIONS = tuple(row["name"] for row in _core.option_table())
_DEFAULTS = {row["name"]: row["default"] for row in _core.option_table()}
_OPTIONS = _ENGINE_OPTIONS + tuple(
    name for name in ("seed", "verbose", "callback", "plot") if name not in _ENGINE_OPTIONS)


class Gram:
    """The quadratic part A = scale * D.T @ D given by the data D (m-by-n).

    The form in which data reach the solver: sparse PCA of the centred data
    Dc is ``Gram(Dc, -1/(m-1))``, the L1 Procrustes problem ``Gram(M, 1)``.
    A dict ``{"D": D, "scale": s}`` means the same.
    """

    def __init__(self, D, scale=1.0):
        self.D = np.asarray(D, dtype=np.float64)
        self.scale = float(scale)
        if self.D.ndim != 2 or self.D.shape[0] < 1:
            raise ArgumentError("orthopair_solve:badA", "Gram: D must be an m-by-n matrix, m >= 1.")
        if not np.isfinite(self.scale) or self.scale == 0:
            raise ArgumentError("orthopair_solve:badA",
                                "Gram: scale must be a finite nonzero number.")

    @property
    def n(self):
        return self.D.shape[1]

    def __repr__(self):
        return f"Gram(D={self.D.shape[0]}x{self.D.shape[1]}, scale={self.scale!r})"


def _as_real(x):
    """x as a float64 array when it holds real numbers (no copy for float64);
    anything else unchanged, for the native checks to refuse by name."""
    if x is None or isinstance(x, (Gram, dict)):
        return x
    a = np.asarray(x)
    if a.dtype == np.float64:
        return a
    if a.dtype.kind in "biuf":
        return a.astype(np.float64)
    return x


def _operator(A):
    """The quadratic part as the engine takes it: the one place that decides.

    Where the engine has the data and sparse forms (``_core.FORMS``), Gram(D,
    s) goes over as {"D": D, "scale": s} and a scipy.sparse matrix as its
    compressed columns, and nothing n-by-n is formed for either; otherwise
    both are expanded to a dense matrix here.
    """
    if isinstance(A, dict) and set(A) == {"D", "scale"}:
        A = Gram(A["D"], A["scale"])
    if isinstance(A, Gram):
        if "gram" in _core.FORMS:
            return {"D": A.D, "scale": A.scale}
        return A.scale * (A.D.T @ A.D)
    if hasattr(A, "tocsc") and hasattr(A, "nnz"):  # scipy.sparse
        if "sparse" not in _core.FORMS or A.ndim != 2 or A.shape[0] != A.shape[1]:
            return _as_real(A.toarray())
        S = A.tocsc(copy=True)
        S.sum_duplicates()
        S.sort_indices()
        return {"n": S.shape[0], "col_start": S.indptr.astype(np.int64),
                "row_index": S.indices.astype(np.int64), "value": _as_real(S.data)}
    return _as_real(A)


def _order(A):
    if isinstance(A, dict) and "D" in A:
        return np.shape(A["D"])[1] if np.ndim(A["D"]) == 2 else None
    if isinstance(A, Gram):
        return A.n
    shape = np.shape(A) if not hasattr(A, "nnz") else A.shape
    if len(shape) != 2 or shape[0] != shape[1]:
        return None
    return shape[0]


def seeded_uniform(m, n, seed=1):
    """Uniform numbers in (0, 1) that are the same in every host.

    The m-by-n array filled in column order from x(k+1) = 16807*x(k) mod
    (2^31 - 1), u = x / (2^31 - 1), started from seed mod (2^31 - 1) (0 taken
    as 1): the numbers of the M-function seeded_uniform, bit for bit. Every
    product stays below 2^62, so blocks of the sequence are formed at once
    from powers of the multiplier, exactly.
    """
    modulus, mult = 2147483647, 16807
    state = int(seed) % modulus or 1
    count = int(m) * int(n)
    block = 4096
    powers = np.empty(block, dtype=np.int64)
    p = 1
    for k in range(block):
        p = (p * mult) % modulus
        powers[k] = p
    out = np.empty(count, dtype=np.int64)
    for start in range(0, count, block):
        size = min(block, count - start)
        out[start:start + size] = (state * powers[:size]) % modulus
        state = int(out[start + size - 1])
    return (out.astype(np.float64) / modulus).reshape(int(n), int(m)).T


def random_orthonormal(n, r, seed=1):
    """The seeded random start of orthopair_solve: the orthonormal factor of a
    seeded uniform n-by-r matrix, with a positive diagonal of its triangular
    factor."""
    M = seeded_uniform(n, r, seed + 1) - 0.5
    X, R = np.linalg.qr(M, mode="reduced")
    d = np.sign(np.diag(R))
    d[d == 0] = 1
    return np.ascontiguousarray(X * d)


def _check_options(function, options):
    for name in options:
        if name not in _OPTIONS:
            raise ArgumentTypeError(
                f"{function}:badOption",
                f"Unknown option '{name}'. Known options: {', '.join(_OPTIONS)}.")


def _seed_option(function, options):
    seed = options.get("seed")
    if seed is None:
        return int(_DEFAULTS["seed"])
    if (isinstance(seed, bool) or not isinstance(seed, numbers.Real) or seed != int(seed)
            or not 0 <= seed < 2 ** 32):
        raise ArgumentError(f"{function}:badOption", "seed must be an integer in [0, 2^32).")
    return int(seed)


_HEADER = "%12s %24s %12s %10s %8s %12s %12s %9s" % (
    "iteration", "F", "moves", "prox", "sweeps", "pair gap", "stationarity", "time [s]")


def _progress_line(d):
    line = "%12d %24.16e %12d %10d %8d %12.4e %12.4e %9.3f" % (
        d["iterations"], d["f"], d["moves"], d["prox_steps"], d["sweeps"], d["pair_gap"],
        d["stationarity"] / d["stationarity_scale"], d["time"])
    if d.get("phase"):
        line += "  " + d["phase"]
        if d.get("pass_pairs_total", 0) > 0:
            line += " %d/%d" % (d["pass_pairs_done"], d["pass_pairs_total"])
    return line


def _make_hook(verbose, callback):
    """The engine's progress hook: a line on the 'orthopair' logger when
    verbose, then the user's callback with the Result so far (a true return
    stops the run)."""
    if not verbose and callback is None:
        return None
    state = {"header": False}

    def hook(d):
        if verbose:
            if not state["header"]:
                logger.info(_HEADER)
                state["header"] = True
            logger.info(_progress_line(d))
        return bool(callback(Result.from_core(d))) if callback is not None else False

    return hook


def _ensure_visible_logging():
    """verbose=True shows the lines even when the program set up no logging."""
    if not logger.hasHandlers():
        handler = logging.StreamHandler()
        handler.setFormatter(logging.Formatter("%(message)s"))
        logger.addHandler(handler)
    if logger.getEffectiveLevel() > logging.INFO:
        logger.setLevel(logging.INFO)


def solve(A, E, lam, X0, **options):
    """Minimise a quadratic plus weighted L1 norm over matrices with orthonormal columns.

    ``X, info = solve(A, E, lam, X0, **options)`` solves::

        minimise   F(X) = 1/2 trace(X'AX) + <E, X> + sum_k lam[k] * ||X[:, k]||_1
        subject to X'X = I,   X is n-by-r,

    with the native two-index method (the engine of the MEX-file
    orthopair_run; see orthopair_solve in the toolbox).

    A: the symmetric n-by-n matrix (NumPy, either memory order; a
    scipy.sparse matrix), or its data form ``Gram(D, scale)`` /
    ``{"D": D, "scale": s}`` meaning scale * D'D. E: None or n-by-r. lam: a
    weight >= 0 or one per column. X0: n-by-r with orthonormal columns (to
    1e-8), or the number of columns r for the seeded random start
    ``random_orthonormal(n, r, seed)``. Real integer arrays are taken as
    float64; anything else is refused.

    Options (defaults): rule 'mixed' ('zandrel', 'tolmiv', 'uniform',
    'sweep', 'prox'), max_iter 1e8, time_limit inf, target_f -inf, tol 1e-10,
    tol_stat 1e-6, n_trials n, certify True, prox True, seed 1 (seeds the
    random start and the run's own generator of random pairs; the C
    generator of the selectors, :func:`seed`, is left alone), verbose False
    (progress lines on the logger 'orthopair'), print_every (iterations
    between progress points), callback (called with the :class:`Result` so
    far at every progress point; a true return stops the run with stop
    'callback', an exception with stop 'callback_error'), plot (True, or a
    file name: the history of F over time, drawn with matplotlib at the
    end, into the file when one is given).

    Returns X (n-by-r float64, C order) and a :class:`Result`. Ctrl-C ends
    the run at its next progress point with stop 'interrupted' and the best
    X so far. A bad call raises an :class:`OrthopairError` with the MEX-file's
    identifier (``orthopair_run:notFeasible``, ...).

    Example::

        >>> import numpy as np, orthopair
        >>> rng = np.random.default_rng(0)
        >>> C = np.cov(rng.standard_normal((200, 40)), rowvar=False)
        >>> X, info = orthopair.solve(-C, None, 0.3, 3)
        >>> info.stop, X.shape
        ('certified', (40, 3))
    """
    _check_options("orthopair_solve", options)
    seed = _seed_option("orthopair_solve", options)
    n = _order(A)
    if n is None:
        raise ArgumentError("orthopair_solve:badA", "A must be a square numeric matrix.")
    if isinstance(X0, numbers.Integral) and not isinstance(X0, bool):
        r = int(X0)
        if not 1 <= r <= n:
            raise ArgumentError("orthopair_solve:sizes",
                                f"r must be an integer with 1 <= r <= n (n = {n}).")
        X0 = random_orthonormal(n, r, seed)
    verbose = bool(options.get("verbose"))
    callback = options.get("callback")
    if callback is not None and not callable(callback):
        raise ArgumentError("orthopair_solve:badOption", "option callback must be callable.")
    engine = {k: options[k] for k in _ENGINE_OPTIONS if options.get(k) is not None}
    engine["seed"] = seed
    if verbose:
        _ensure_visible_logging()
    else:
        engine["print_every"] = 0
    hook = _make_hook(verbose, callback)

    A = _operator(A)
    E = _as_real(E)
    lam = _as_real(lam)
    X0 = _as_real(X0)
    try:
        X, d = _core.run(A, E, lam, X0, engine, hook)
    except OrthopairError as e:
        # The refusals of the native run, under the name of the call made,
        # as orthopair_solve reports them.
        if e.function != "orthopair_run":
            raise
        raise type(e)("orthopair_solve:" + e.reason, e.message) from None
    info = Result.from_core(d)
    if verbose:
        logger.info("stopped: %s after %d iterations, F = %.16e, stationarity %.3e (scale %.3e), "
                    "pair gap %.3e, %.3f s", info.stop, info.iterations, info.f,
                    info.stationarity, info.stationarity_scale, info.pair_gap, info.time)
    if options.get("plot"):
        _plot_history(info, options["plot"])
    return X, info


def _plot_history(info, plot_to):
    """F - min F over the recorded points against time, on a log scale."""
    import matplotlib
    if isinstance(plot_to, str):
        matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    h = info.history
    if len(h.f) == 0:
        return
    gap = h.f - h.f.min()
    fig, ax = plt.subplots()
    ax.semilogy(h.time, np.maximum(gap, np.finfo(float).eps * max(1.0, abs(info.f))), "-")
    ax.set_xlabel("time [s]")
    ax.set_ylabel("F - min F")
    ax.set_title(f"orthopair: {info.stop}, F = {info.f:.10g}")
    ax.grid(True)
    if isinstance(plot_to, str):
        fig.savefig(plot_to)
        plt.close(fig)
    else:
        plt.show()


def _polar_factor(B):
    U, _, Vt = np.linalg.svd(B, full_matrices=False)
    return U @ Vt


def l1_procrustes(M, Y, lam, *, X0=None, **options):
    """Orthogonal Procrustes problem with an L1 penalty.

    ``X, info = l1_procrustes(M, Y, lam)`` minimises 1/2 ||MX - Y||_F^2 +
    lam*sum|X| subject to X'X = I, X n-by-r, for M (m-by-n) and Y (m-by-r):
    :func:`solve` with A = M'M and E = -M'Y. info.f and info.f0 include the
    constant 1/2 ||Y||_F^2. X0: the start (default the orthogonal polar
    factor of M'Y); options as :func:`solve`.
    """
    M = _as_real(M)
    Y = _as_real(Y)
    if (not isinstance(M, np.ndarray) or not isinstance(Y, np.ndarray) or M.ndim != 2
            or Y.ndim != 2 or M.shape[0] != Y.shape[0]):
        raise ArgumentError("l1_procrustes:badSize",
                            "M and Y must be matrices with the same number of rows.")
    E = -(M.T @ Y)
    start = _polar_factor(-E) if X0 is None else X0
    X, info = solve(Gram(M, 1.0), E, lam, start, **options)
    shift = 0.5 * float(np.sum(Y * Y))
    info.f += shift
    info.f0 += shift
    return X, info


def certify(A, E, lam, X, *, pairs=True):
    """Measure how stationary X is for the problem of :func:`solve`.

    Returns a :class:`Certificate` with both conditions a solution meets,
    measured by the engine's own code: (a) over every pair of rows i < j, the
    decrease that the best 2x2 orthogonal step on rows i and j offers (exact
    over all rotations and reflections; ``pairs=False`` skips this O(n^2 r)
    scan), and (b) the norm of the least-norm element of the projected
    subdifferential at X, absolute and over max(1, ||AX + E||_F).
    """
    d = _core.measure(_operator(A), _as_real(E), _as_real(lam), _as_real(X), bool(pairs))
    f = d["f"]
    pair_gap, best, decrease = float("nan"), None, d["decrease"]
    if decrease is not None:
        i, j = np.triu_indices(decrease.shape[0], 1)
        k = int(np.argmax(decrease[i, j]))
        best = (int(i[k]), int(j[k]))
        pair_gap = float(decrease[best]) / max(1.0, abs(f))
    return Certificate(f=f, feasibility=d["feasibility"], nonzeros=int(np.count_nonzero(X)),
                       stationarity=d["stationarity"],
                       relative_stationarity=d["stationarity"] / d["stationarity_scale"],
                       pair_gap=pair_gap, pair_best=best, decrease=decrease)


def polish(A, E, lam, X, **options):
    """Improve a feasible point until it is certified, and say what was gained.

    ``X, report = polish(A, E, lam, X0, **options)``: X0 (another solver's
    output, say; orthonormal columns to 1e-8) is measured with
    :func:`certify`, improved by :func:`solve` from there, and measured
    again. The :class:`PolishReport` holds F before and after, the gain, the
    stop, and both measures before and after.
    """
    before = certify(A, E, lam, X)
    X, info = solve(A, E, lam, X, **options)
    after = certify(A, E, lam, X, pairs=False)
    gain = before.f - info.f
    return X, PolishReport(
        f_before=before.f, f_after=info.f, gain=gain, relative_gain=gain / max(1.0, abs(before.f)),
        stop=info.stop, certified=info.certified, time=info.time,
        before={"pair_gap": before.pair_gap, "stationarity": before.stationarity,
                "relative_stationarity": before.relative_stationarity},
        after={"pair_gap": info.pair_gap, "stationarity": after.stationarity,
               "relative_stationarity": after.relative_stationarity},
        info=info)
