"""A seeded run gives the same X in Python and Octave, to the last bit, and
the seeded random start is the same in both."""

import numpy as np
import pytest

import orthopair
from conftest import same_bits


def spca_instance(n, r, seed):
    rng = np.random.default_rng(seed)
    B = rng.standard_normal((30, n))
    B -= B.mean(axis=0)
    C = B.T @ B / 30
    X0 = orthopair.random_orthonormal(n, r, seed)
    return -C, X0


RUNS = [
    # (n, r, lambda, rule, with E)
    (40, 3, 0.05, "mixed", False),
    (25, 2, 0.2, "zandrel", False),
    (30, 4, 0.1, "tolmiv", True),
    (20, 3, 0.0, "uniform", True),
    (30, 2, 0.3, "sweep", False),
]


@pytest.mark.parametrize("n, r, lam, rule, with_E", RUNS)
def test_seeded_run_gives_the_same_x_in_python_and_octave(octave, n, r, lam, rule, with_E):
    A, X0 = spca_instance(n, r, seed=n + r)
    E = np.random.default_rng(1).standard_normal((n, r)) * 0.1 if with_E else None
    lams = np.linspace(lam, 2 * lam, r)
    inputs = {"A": A, "X0": X0, "lams": lams}
    e_expr = "E" if with_E else "[]"
    if with_E:
        inputs["E"] = E
    ref = octave.call(f"""
        opts = struct('rule', '{rule}', 'seed', 4, 'max_iter', 20000);
        [X, info] = orthopair_solve(A, {e_expr}, lams, X0, opts);
        f = info.f; iterations = info.iterations; stop = double(info.stop);
        """, inputs, ["X", "f", "iterations", "stop"])
    # Python takes A and X0 as C-ordered arrays, Octave as column-ordered.
    X, info = orthopair.solve(A, E, lams, X0, rule=rule, seed=4, max_iter=20000)
    assert info.stop == "".join(map(chr, ref["stop"].astype(int).ravel()))
    assert info.iterations == int(ref["iterations"][0, 0])
    assert same_bits(info.f, ref["f"][0, 0])
    assert same_bits(X, ref["X"])


def test_random_start_is_the_octave_one(octave):
    ref = octave.call("""
        U = seeded_uniform(37, 5, 12);
        [X, info] = orthopair_solve(-eye(37), [], 0, 5, struct('max_iter', 0, 'seed', 11));
        """, {}, ["U", "X"])
    assert same_bits(orthopair.seeded_uniform(37, 5, 12), ref["U"])
    X = orthopair.random_orthonormal(37, 5, 11)
    # The same LAPACK factorisation gives the same bits; another library
    # may differ in the last places.
    assert np.allclose(X, ref["X"], rtol=0, atol=1e-14)
    Xp, info = orthopair.solve(-np.eye(37), None, 0.0, 5, max_iter=0, seed=11)
    assert info.stop == "max_iter" and same_bits(Xp, X)
