"""The three kernels and the seed of their generator, as the MEX-files have them."""

from . import _core
from ._errors import ArgumentTypeError

__all__ = ["brevak", "tolmiv", "zandrel", "seed"]


def _count_inputs(function, args, names):
    if len(args) != len(names):
        raise ArgumentTypeError(
            f"{function}:nargin",
            f"expected {len(names)} inputs ({', '.join(names)}), got {len(args)}.")


def brevak(*args, return_value=False):
    """Best 2x2 rotation or reflection for an L1-weighted quadratic.

    ``V = brevak(Q, G, lam, z1, z2, n)`` returns the 2x2 orthogonal V (a
    rotation [[c, s], [-s, c]] or a reflection [[-c, s], [s, c]]) that
    minimises::

        0.5*vec(V)' Q vec(V) + <G, V> + lam*sum(|V @ [z1[:n]; z2[:n]]|)

    where vec stacks the columns. With ``return_value=True`` the result is
    ``(V, f)``, f being that minimum as the search found it.

    Q: float64 array of at least 16 elements, read as a 4x4 matrix in column
    (Fortran) order whatever its shape; only the diagonal and the upper
    triangle are read. G: at least 4 elements, read as 2x2 in column order.
    lam: a number. z1, z2: float64 arrays whose first n elements are read.
    n: a count, truncated toward zero; n <= 0 means no pairs, at most
    536870911. Every value read must be finite. Bits, refusals and their
    identifiers (``brevak:notFinite``, ``brevak:tooShort``, ...) are those of
    the MEX-file brevak; a float64 array that is not column-ordered is read
    from a copy, any other is used in place.

    Example::

        >>> import numpy as np, orthopair
        >>> V = orthopair.brevak(np.eye(4), -np.eye(2).ravel(), 0.0, [], [], 0)
        >>> np.allclose(V, np.eye(2))
        True
    """
    _count_inputs("brevak", args, ("Q", "G", "lam", "z1", "z2", "n"))
    V, f = _core.brevak(*args)
    return (V, f) if return_value else V


def tolmiv(*args):
    """Working pair of columns by the maximum-violation rule.

    ``p = tolmiv(A, B, n_cols, n_rows, n_trials)`` draws min(n_trials,
    n_cols) pairs of distinct columns (i, j) with the C library's rand() and
    returns the one with the largest |A[:,i]'B[:,j] - B[:,i]'A[:,j]| as the
    float64 array [i, j] of 1-based indices, exactly as the MEX-file returns
    it ([1, 2] when nothing was scored). A and B are float64 arrays of at
    least n_rows*n_cols elements read as n_rows-by-n_cols matrices in column
    order. Seed the generator with :func:`seed` for a repeatable draw.
    """
    _count_inputs("tolmiv", args, ("A", "B", "n_cols", "n_rows", "n_trials"))
    return _core.tolmiv(*args)


def zandrel(*args):
    """Working pair of columns by the objective-reduction rule.

    ``p = zandrel(A, B, n_cols, n_rows, n_trials)``: as :func:`tolmiv`, but
    the drawn pair whose best 2x2 orthogonal recombination of columns i and
    j lowers the linear model <A, B> the most.
    """
    _count_inputs("zandrel", args, ("A", "B", "n_cols", "n_rows", "n_trials"))
    return _core.zandrel(*args)


def seed(k):
    """Seed the C library's rand(), which the selectors draw from.

    ``seed(k)`` is ``orthopair_seed(k)``: srand(k) for a whole number
    0 <= k < 2**32. The generator belongs to the process, so seeded calls
    are repeatable within one process and one C library (and then give the
    same draws in Python and in Octave). The solver does not use it: each
    run owns a generator seeded by its option ``seed``.
    """
    _core.seed(k)
