"""The Python front ends: forms of A, memory orders, stops, progress, the
certificate and polish, on problems with known answers."""

import logging
import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import orthopair
from conftest import run_python, same_bits


def data(m, n, seed):
    D = np.random.default_rng(seed).standard_normal((m, n))
    return D - D.mean(axis=0)


def pca_subspace(C, r):
    w, V = np.linalg.eigh(C)
    return V[:, -r:], w[-r:]


def test_forms_and_memory_orders_give_the_same_run():
    D = data(40, 25, 1)
    C = D.T @ D
    X0 = orthopair.random_orthonormal(25, 3, 5)
    X, info = orthopair.solve(-C, None, 0.4, X0)
    strided = np.zeros((25, 50))
    strided[:, ::2] = -C  # not contiguous: read through a symmetrised copy
    for A, start in [(np.asfortranarray(-C), X0), (-C, np.asfortranarray(X0)),
                     (strided[:, ::2], X0[::-1][::-1])]:
        Y, other = orthopair.solve(A, None, 0.4, start)
        assert same_bits(X, Y) and other.iterations == info.iterations
    # X0 is not modified, and the result owns fresh memory.
    assert same_bits(X0, orthopair.random_orthonormal(25, 3, 5))
    assert X.flags["C_CONTIGUOUS"] and X.base is not X0

    # The data form: one computation however it is spelt; where the engine
    # works from D itself the products round differently from the dense
    # ones, so the answer agrees with the dense run to rounding.
    G, ginfo = orthopair.solve(orthopair.Gram(D, -1.0), None, 0.4, X0)
    for A in ({"D": D, "scale": -1.0}, orthopair.Gram(np.asfortranarray(D), -1)):
        assert same_bits(G, orthopair.solve(A, None, 0.4, X0)[0])
    assert ginfo.certified and abs(ginfo.f - info.f) <= 1e-10 * abs(info.f)
    assert np.allclose(G, X, atol=1e-7)


@pytest.mark.parametrize("rule", ["uniform", "zandrel", "tolmiv"])
def test_seed_belongs_to_the_run_and_rand_is_left_alone(rule):
    D = data(30, 20, 4)
    X0 = orthopair.random_orthonormal(20, 3, 2)
    runs = []
    for k in (7, 8):
        orthopair.seed(k)
        before = orthopair._core.rand_draws(1)
        orthopair.seed(k)
        runs.append(orthopair.solve(-D.T @ D, None, 0.3, X0, rule=rule, max_iter=300,
                                    certify=False, seed=5))
        # rand() is where orthopair.seed(k) left it.
        assert same_bits(orthopair._core.rand_draws(1), before)
    (X1, info1), (X2, info2) = runs
    assert same_bits(X1, X2) and same_bits(info1.history.f, info2.history.f)
    X3, info3 = orthopair.solve(-D.T @ D, None, 0.3, X0, rule=rule, max_iter=300,
                                certify=False, seed=6)
    assert not same_bits(info3.history.f, info1.history.f)


def test_sparse_a_agrees_with_dense():
    sparse = pytest.importorskip("scipy.sparse")
    rng = np.random.default_rng(12)
    S = sparse.random(60, 60, density=0.05, random_state=3, format="csr")
    S = S + S.T - 3 * sparse.identity(60)
    X0 = orthopair.random_orthonormal(60, 2, 1)
    X, info = orthopair.solve(S.toarray(), None, 0.1, X0)
    for A in (S, S.tocsc(), sparse.coo_matrix(S)):
        Y, other = orthopair.solve(A, None, 0.1, X0)
        assert other.certified and abs(other.f - info.f) <= 1e-10 * max(1, abs(info.f))
        assert np.allclose(X, Y, atol=1e-7)
    assert rng is not None


@pytest.mark.skipif("gram" not in orthopair._core.FORMS,
                    reason="the engine of this build takes A densely only")
def test_data_form_never_forms_the_n_by_n_matrix():
    # n = 20000: A would take 3.2 GB; D takes 3.2 MB.
    D = data(20, 20000, 13)
    X, info = orthopair.solve(orthopair.Gram(D, -1.0 / 20), None, 0.05, 2, max_iter=3000)
    assert X.shape == (20000, 2) and info.feasibility < 1e-12 and info.f < info.f0
    cert = orthopair.certify(orthopair.Gram(D, -1.0 / 20), None, 0.05, X, pairs=False)
    assert cert.f == pytest.approx(info.f, rel=1e-12)
    for A, reason in [({"D": D}, "badA"), ({"D": D, "scale": 0.0}, "badA"),
                      ({"D": D.astype(np.float32), "scale": 1.0}, "notRealDouble"),
                      ({"D": D[:, :1].copy(), "scale": 1.0}, "sizes")]:
        with pytest.raises(orthopair.OrthopairError) as e:
            orthopair._core.run(A, None, np.array(0.1), np.eye(20000, 2), {}, None)
        assert e.value.identifier == "orthopair_run:" + reason


def test_no_penalty_gives_the_leading_eigenvectors():
    D = data(60, 30, 2)
    C = D.T @ D / 60
    X, info = orthopair.solve(-C, None, 0.0, 4)
    V, w = pca_subspace(C, 4)
    assert info.certified and info.feasibility < 1e-13
    assert np.isclose(-2 * info.f, w.sum(), rtol=1e-10)
    # The same subspace: the projectors agree to what the certificate
    # (stationarity at 1e-6 of the gradient's size) implies for this gap.
    assert np.allclose(X @ X.T, V @ V.T, atol=2e-5)


def test_certificate_agrees_with_the_run_and_with_numpy():
    D = data(50, 20, 3)
    A = -(D.T @ D) / 50
    lam = np.array([0.05, 0.1, 0.15])
    E = 0.05 * np.random.default_rng(4).standard_normal((20, 3))
    X, info = orthopair.solve(A, E, lam, 3)
    cert = orthopair.certify(A, E, lam, X)
    f = 0.5 * np.trace(X.T @ A @ X) + np.sum(E * X) + np.sum(lam * np.abs(X).sum(axis=0))
    assert np.isclose(cert.f, f, rtol=1e-13) and same_bits(cert.f, info.f)
    assert info.certified
    assert cert.pair_gap <= 1e-10 and cert.relative_stationarity <= 1e-6
    assert same_bits(cert.stationarity, info.stationarity)
    assert cert.nonzeros == np.count_nonzero(X)
    # Away from the solution both measures see room to improve, and the
    # largest pair decrease is a step that really lowers F.
    Xr = orthopair.random_orthonormal(20, 3, 9)
    far = orthopair.certify(A, E, lam, Xr)
    assert far.pair_gap > 1e-4 and far.relative_stationarity > 1e-3
    i, j = far.pair_best
    assert i < j and far.decrease[i, j] == np.max(far.decrease)
    assert np.all(np.tril(far.decrease) == 0) and np.all(far.decrease >= 0)
    assert orthopair.certify(A, E, lam, Xr, pairs=False).decrease is None


def test_polish_improves_a_point_until_it_is_certified():
    D = data(45, 18, 6)
    A = -(D.T @ D) / 45
    Xr = orthopair.random_orthonormal(18, 2, 3)
    X, report = orthopair.polish(A, None, 0.2, Xr)
    assert report.certified and report.gain > 0
    assert report.f_after == pytest.approx(report.f_before - report.gain)
    assert report.after["relative_stationarity"] <= 1e-6 < report.before["relative_stationarity"]
    with pytest.raises(orthopair.ArgumentError):
        orthopair.polish(A, None, 0.2, 1.1 * Xr)


def test_l1_procrustes_without_penalty_is_the_polar_factor():
    rng = np.random.default_rng(8)
    Q, _ = np.linalg.qr(rng.standard_normal((15, 4)))
    Y = Q + 0.01 * rng.standard_normal((15, 4))
    X, info = orthopair.l1_procrustes(np.eye(15), Y, 0.0)
    U, _, Vt = np.linalg.svd(Y, full_matrices=False)
    assert np.allclose(X, U @ Vt, atol=1e-9)
    assert info.f == pytest.approx(0.5 * np.sum((X - Y) ** 2), rel=1e-9)
    # A penalty makes X sparser and never lowers the fitted objective.
    Xs, sparse_info = orthopair.l1_procrustes(np.eye(15), Y, 0.05)
    assert np.count_nonzero(Xs) < np.count_nonzero(X)
    assert sparse_info.f >= info.f


def test_stops_callback_and_progress_lines(caplog):
    D = data(80, 60, 9)
    A = -(D.T @ D) / 80
    X0 = orthopair.random_orthonormal(60, 3, 2)

    X, info = orthopair.solve(A, None, 0.1, X0, max_iter=0)
    assert info.stop == "max_iter" and same_bits(X, X0) and info.iterations == 0

    seen = []
    X, info = orthopair.solve(A, None, 0.1, X0, rule="uniform", print_every=50,
                              callback=lambda r: seen.append(r) or len(seen) == 3)
    # The run ends at the point where the callback asked it to (the hook
    # then sees the final state once more).
    assert info.stop == "callback" and info.iterations == seen[2].iterations
    assert all(isinstance(r, orthopair.Result) and r.stop == "" for r in seen)
    assert [r.iterations for r in seen] == sorted(r.iterations for r in seen)
    assert np.allclose(X.T @ X, np.eye(3), atol=1e-12)
    assert info.history.f.shape == info.history.iteration.shape and len(info.history.f) >= 4

    def broken(result):
        raise RuntimeError("the callback is broken")

    X, info = orthopair.solve(A, None, 0.1, X0, print_every=50, callback=broken)
    assert info.stop == "callback_error" and "the callback is broken" in info.message
    assert np.allclose(X.T @ X, np.eye(3), atol=1e-12)

    with caplog.at_level(logging.INFO, logger="orthopair"):
        X, info = orthopair.solve(A, None, 0.1, X0, verbose=True, print_every=200)
    lines = [r.getMessage() for r in caplog.records if r.name == "orthopair"]
    assert lines[0].split()[:2] == ["iteration", "F"]
    assert lines[-1].startswith(f"stopped: {info.stop} after {info.iterations} iterations")
    assert len(lines) >= 3


def test_plot_writes_the_history_picture(tmp_path):
    pytest.importorskip("matplotlib")
    picture = tmp_path / "history.png"
    orthopair.solve(-np.diag(np.arange(1.0, 9.0)), None, 0.1, 2, plot=str(picture))
    assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_ctrl_c_returns_the_best_point_so_far():
    # The child says when its run has reached its first progress point; the
    # parent then sends SIGINT, as a terminal would. Whether the signal is
    # seen by the engine's own check or inside the callback, the run must
    # end with stop 'interrupted' and a feasible X no worse than X0, and the
    # interpreter must go on.
    code = """
        import numpy as np, orthopair
        D = np.random.default_rng(1).standard_normal((300, 400)); D -= D.mean(axis=0)
        A = -(D.T @ D) / 300
        X0 = orthopair.random_orthonormal(400, 8, 1)
        said = []
        def callback(result):
            if not said:
                said.append(1)
                print("running", flush=True)
        X, info = orthopair.solve(A, None, 0.01, X0, rule="uniform", tol=0, time_limit=120,
                                  print_every=2000, callback=callback)
        f = 0.5 * np.trace(X.T @ A @ X) + 0.01 * np.abs(X).sum()
        print(info.stop, np.linalg.norm(X.T @ X - np.eye(8)) < 1e-12, f <= info.f0, flush=True)
    """
    child = subprocess.Popen([sys.executable, "-c", textwrap.dedent(code)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline().strip() == "running"
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=300)
    finally:
        child.kill()
    assert child.returncode == 0, err
    assert out.split() == ["interrupted", "True", "True"]


def test_the_gil_is_released_while_the_engine_works():
    # Another thread keeps running Python code during a long run.
    code = """
        import threading, numpy as np, orthopair
        D = np.random.default_rng(2).standard_normal((100, 300)); D -= D.mean(axis=0)
        counter = [0]; done = threading.Event()
        def spin():
            while not done.is_set():
                counter[0] += 1
        t = threading.Thread(target=spin); t.start()
        X, info = orthopair.solve(-(D.T @ D) / 100, None, 0.02, 5, rule='uniform',
                                  max_iter=300000)
        before = counter[0]; done.set(); t.join()
        print(before > 1000)
    """
    done = run_python(code)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["True"]
