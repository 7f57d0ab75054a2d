"""What a call from Python adds to the solver's time, against the MEX-file in Octave.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_overhead.py \
        [instance.mat] [build/mex] [repetitions]

On one peer-benchmark instance (default the smallest,
../shared/peer-benchmark/spca_n100_r1_seed1.mat: A = -2*B'*B, its lambda
and X0) it times, call by call, the same run from the same X0

  - in Python: orthopair.solve(A, None, lambda, X0) and the bare extension
    call orthopair._core.run;
  - in Octave: the MEX-file orthopair_run(A, [], lambda, X0) and the M front
    end orthopair_solve;

and prints the median wall time of each, the engine's own time (info.time)
and the time added around it. Run it on an idle machine: the numbers are
only as quiet as the machine.
"""

import os
import subprocess
import sys
import tempfile
import time

import numpy as np

import orthopair

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)


def load_instance(path):
    from scipy.io import loadmat
    d = loadmat(path)
    B = d["B"]
    return -2.0 * (B.T @ B), float(d["lambda"][0, 0]), np.ascontiguousarray(d["X0"])


def python_times(A, lam, X0, reps):
    wall, engine, core = [], [], []
    options = {"print_every": 0}
    for _ in range(reps):
        t = time.perf_counter()
        X, info = orthopair.solve(A, None, lam, X0)
        wall.append(time.perf_counter() - t)
        engine.append(info.time)
        orthopair.seed(1)
        t = time.perf_counter()
        orthopair._core.run(A, None, np.array(lam), X0, options, None)
        core.append(time.perf_counter() - t)
    return np.median(wall), np.median(engine), np.median(core), info


def octave_times(A, lam, X0, mex_dir, reps):
    with tempfile.TemporaryDirectory() as folder:
        for name, value in (("A", A), ("X0", X0)):
            np.asarray(value, dtype=np.float64).ravel(order="F").tofile(
                os.path.join(folder, name + ".bin"))
        n, r = X0.shape
        code = f"""
            addpath('{mex_dir}');
            fid = fopen('A.bin'); A = reshape(fread(fid, Inf, 'double'), {n}, {n}); fclose(fid);
            fid = fopen('X0.bin'); X0 = reshape(fread(fid, Inf, 'double'), {n}, {r}); fclose(fid);
            lam = {lam!r}; reps = {reps};
            w = zeros(reps, 1); e = zeros(reps, 1); s = zeros(reps, 1);
            for k = 1:reps
              t = tic; [X, info] = orthopair_solve(A, [], lam, X0); s(k) = toc(t);
              t = tic; [X, info] = orthopair_run(A, [], lam, X0, struct('seed', 1)); w(k) = toc(t);
              e(k) = info.time;
            end
            printf('%.9g %.9g %.9g %.17g %d\\n', median(w), median(e), median(s), info.f, info.iterations);
        """
        done = subprocess.run(["octave-cli", "--no-gui", "--norc", "--quiet", "--eval", code],
                              cwd=folder, capture_output=True, text=True, check=True)
        w, e, s, f, iterations = done.stdout.split()
        return float(w), float(e), float(s), float(f), int(iterations)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        TOP, "..", "shared", "peer-benchmark", "spca_n100_r1_seed1.mat")
    mex_dir = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(TOP, "build", "mex"))
    reps = int(sys.argv[3]) if len(sys.argv) > 3 else 300
    A, lam, X0 = load_instance(path)
    for _ in range(20):  # warm up
        orthopair.solve(A, None, lam, X0)
    py_wall, py_engine, py_core, info = python_times(A, lam, X0, reps)
    m_wall, m_engine, m_solve, m_f, m_iterations = octave_times(A, lam, X0, mex_dir, reps)
    print(f"instance {os.path.basename(path)}: n = {A.shape[0]}, r = {X0.shape[1]}, "
          f"{reps} calls each, medians")
    print(f"  same run in both: F {info.f!r} / {m_f!r}, iterations {info.iterations} / "
          f"{m_iterations}")
    print(f"  {'call':34} {'wall [ms]':>10} {'engine [ms]':>12} {'added [ms]':>11}")
    print(f"  {'Octave orthopair_run (MEX-file)':34} {1e3 * m_wall:10.3f} {1e3 * m_engine:12.3f} "
          f"{1e3 * (m_wall - m_engine):11.3f}")
    print(f"  {'Octave orthopair_solve':34} {1e3 * m_solve:10.3f}")
    print(f"  {'Python orthopair._core.run':34} {1e3 * py_core:10.3f}")
    print(f"  {'Python orthopair.solve':34} {1e3 * py_wall:10.3f} {1e3 * py_engine:12.3f} "
          f"{1e3 * (py_wall - py_engine):11.3f}")
    print(f"  Python solve / MEX-file: {py_wall / m_wall:.3f}; Python solve / orthopair_solve: "
          f"{py_wall / m_solve:.3f}; time added by Python around the engine: "
          f"{100 * (py_wall - py_engine) / py_engine:.1f} % of the engine's time")


if __name__ == "__main__":
    main()
