"""The kernels from Python against the MEX-files in Octave, bit for bit, and
the properties that hold whatever the memory layout of the inputs."""

import numpy as np
import pytest

import orthopair
from conftest import same_bits


def brevak_cases(count, seed=7):
    """Varied inputs: symmetric and non-symmetric Q, zero and nonzero lambda,
    exact zeros and tiny entries in z, n from 0 to 9."""
    rng = np.random.default_rng(seed)
    cases = []
    for k in range(count):
        Q = rng.standard_normal((4, 4))
        if k % 2 == 0:
            Q = Q + Q.T
        G = rng.standard_normal((2, 2))
        lam = 0.0 if k % 5 == 0 else float(rng.uniform(0, 2))
        n = int(rng.integers(0, 10))
        z = rng.standard_normal((2, 9))
        z[rng.random((2, 9)) < 0.3] = 0.0
        if k % 7 == 0:
            z[:, 0] = 1e-17
        cases.append((Q, G, lam, z[0].copy(), z[1].copy(), n))
    return cases


def test_brevak_matches_the_mex_file_bit_for_bit(octave):
    cases = brevak_cases(400)
    inputs = {
        "Qs": np.stack([c[0].ravel(order="F") for c in cases], axis=1),
        "Gs": np.stack([c[1].ravel(order="F") for c in cases], axis=1),
        "lams": [c[2] for c in cases],
        "z1s": np.stack([c[3] for c in cases], axis=1),
        "z2s": np.stack([c[4] for c in cases], axis=1),
        "ns": [c[5] for c in cases],
    }
    ref = octave.call("""
        K = numel(lams); Vs = zeros(4, K); fs = zeros(1, K);
        for k = 1:K
          [V, f] = brevak(Qs(:, k), Gs(:, k), lams(k), z1s(:, k), z2s(:, k), ns(k));
          Vs(:, k) = V(:); fs(k) = f;
        end
        """, inputs, ["Vs", "fs"])
    for k, (Q, G, lam, z1, z2, n) in enumerate(cases):
        # Q and G as C-ordered matrices: read as the same matrices in column order.
        V, f = orthopair.brevak(Q, G, lam, z1, z2, n, return_value=True)
        assert same_bits(V.ravel(order="F"), ref["Vs"][:, k]), k
        assert same_bits(f, ref["fs"][0, k]), k


@pytest.mark.parametrize("name", ["tolmiv", "zandrel"])
def test_selectors_draw_the_same_pairs_as_the_mex_files(octave, name):
    rng = np.random.default_rng(3)
    shapes = [(5, 8), (1, 2), (3, 40), (0, 6), (7, 1), (4, 300)]
    arrays = {}
    calls = []
    for k, (rows, cols) in enumerate(shapes):
        arrays[f"A{k}"] = rng.standard_normal((rows, cols))
        arrays[f"B{k}"] = rng.standard_normal((rows, cols))
        calls.append(f"P(:, end + 1) = {name}(A{k}, B{k}, {cols}, {rows}, {min(cols, 25)});")
    code = "orthopair_seed(12345); P = zeros(2, 0);\n" + "\n".join(calls * 3)
    ref = octave.call(code, arrays, ["P"])["P"]
    fn = getattr(orthopair, name)
    orthopair.seed(12345)
    got = []
    for _ in range(3):
        for k, (rows, cols) in enumerate(shapes):
            # C-ordered arrays here, column-ordered in Octave: the same matrices.
            got.append(fn(arrays[f"A{k}"], arrays[f"B{k}"], cols, rows, min(cols, 25)))
    assert same_bits(np.stack(got, axis=1), ref)


def test_layout_and_shape_do_not_change_what_the_kernels_read():
    for Q, G, lam, z1, z2, n in brevak_cases(50, seed=11):
        V = orthopair.brevak(Q, G, lam, z1, z2, n)
        flat = orthopair.brevak(Q.ravel(order="F"), G.ravel(order="F"), lam, z1, z2, n)
        fortran = orthopair.brevak(np.asfortranarray(Q), np.asfortranarray(G), lam,
                                   z1[:, None], list(z2), float(n) + 0.9)
        strided = np.zeros((2, 9))
        strided[0] = z1
        assert same_bits(V, flat) and same_bits(V, fortran)
        assert same_bits(V, orthopair.brevak(Q, G, lam, strided[0], z2, n))
        # The strict lower triangle of Q is never read.
        Qn = Q.copy()
        Qn[np.tril_indices(4, -1)] = np.nan
        assert same_bits(V, orthopair.brevak(Qn.T.T, G, lam, z1, z2, n))

    rng = np.random.default_rng(5)
    A, B = rng.standard_normal((6, 30)), rng.standard_normal((6, 30))
    for fn in (orthopair.tolmiv, orthopair.zandrel):
        orthopair.seed(9)
        first = [fn(A, B, 30, 6, 30) for _ in range(4)]
        orthopair.seed(9)
        again = [fn(np.asfortranarray(A), B.ravel(order="F"), 30, 6, 30) for _ in range(4)]
        assert same_bits(np.array(first), np.array(again))


def test_brevak_minimises_over_both_families():
    """V is orthogonal and no rotation or reflection on a fine grid does better."""
    t = np.linspace(0, 2 * np.pi, 2001)
    c, s = np.cos(t), np.sin(t)
    grid = [np.array([[ci, si], [-si, ci]]) for ci, si in zip(c, s)]
    grid += [np.array([[-ci, si], [si, ci]]) for ci, si in zip(c, s)]
    for Q, G, lam, z1, z2, n in brevak_cases(40, seed=2):
        Qs = np.triu(Q) + np.triu(Q, 1).T
        Z = np.vstack([z1[:n], z2[:n]])

        def objective(V):
            v = V.ravel(order="F")
            return 0.5 * v @ Qs @ v + np.sum(G * V) + lam * np.abs(V @ Z).sum()

        V, f = orthopair.brevak(Q, G, lam, z1, z2, n, return_value=True)
        assert np.allclose(V.T @ V, np.eye(2), atol=1e-14)
        best = min(objective(W) for W in grid)
        assert objective(V) <= best + 1e-9 * max(1.0, abs(best))


def test_seed_restarts_the_generator():
    orthopair.seed(77)
    a = orthopair._core.rand_draws(5)
    orthopair.seed(77)
    b = orthopair._core.rand_draws(5)
    orthopair.seed(78)
    c = orthopair._core.rand_draws(5)
    assert same_bits(a, b) and not same_bits(a, c)
