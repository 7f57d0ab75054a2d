"""Shared fixtures: the package under test and Octave with the built MEX-files.

CTest sets PYTHONPATH to the build's python/ folder and, when the MEX-files
are built, ORTHOPAIR_MEX_DIR and ORTHOPAIR_OCTAVE; the tests that compare
with the MEX-files are skipped without them.
"""

import os
import shutil
import subprocess
import sys
import textwrap

import numpy as np
import pytest

HERE = os.path.dirname(os.path.abspath(__file__))


def same_bits(a, b):
    """Equal to the last bit, NaN and the sign of zero included."""
    a = np.ascontiguousarray(np.asarray(a, dtype=np.float64))
    b = np.ascontiguousarray(np.asarray(b, dtype=np.float64))
    return a.shape == b.shape and np.array_equal(a.view(np.uint64), b.view(np.uint64))


class Octave:
    """Runs M-code in a fresh octave-cli with the MEX-files on its path.

    Arrays go in and out as raw float64 files in column order, so nothing is
    rounded on the way; call(code, inputs, outputs) returns the named
    outputs as float64 arrays of their Octave shapes.
    """

    def __init__(self, executable, mex_dir, workdir):
        self.executable = executable
        self.mex_dir = mex_dir
        self.workdir = workdir
        self.count = 0

    def call(self, code, inputs=None, outputs=()):
        self.count += 1
        folder = os.path.join(self.workdir, f"call{self.count}")
        os.makedirs(folder)
        lines = [f"addpath('{self.mex_dir}');"]
        for name, value in (inputs or {}).items():
            a = np.asarray(value, dtype=np.float64)
            shape = a.shape if a.ndim >= 2 else (a.size, 1) if a.ndim == 1 else (1, 1)
            a.ravel(order="F").tofile(os.path.join(folder, name + ".in"))
            dims = ", ".join(str(d) for d in shape)
            lines.append(f"fid = fopen('{name}.in', 'r'); {name} = reshape(fread(fid, Inf, "
                         f"'double=>double'), [{dims}]); fclose(fid);")
        lines.append(textwrap.dedent(code))
        for name in outputs:
            lines.append(f"fid = fopen('{name}.out', 'w'); fwrite(fid, double({name}(:)), 'double'); "
                         f"fclose(fid); fid = fopen('{name}.size', 'w'); fprintf(fid, '%d ', "
                         f"size({name})); fclose(fid);")
        script = os.path.join(folder, "run_case.m")
        with open(script, "w") as f:
            f.write("\n".join(lines) + "\n")
        done = subprocess.run(
            [self.executable, "--no-gui", "--norc", "--quiet", "--no-history",
             "--no-window-system", "--eval", "run_case"],
            cwd=folder, capture_output=True, text=True, timeout=600)
        if done.returncode != 0:
            raise AssertionError(f"octave-cli failed ({done.returncode}):\n{done.stdout}\n"
                                 f"{done.stderr}")
        out = {}
        for name in outputs:
            with open(os.path.join(folder, name + ".size")) as f:
                shape = tuple(int(s) for s in f.read().split())
            values = np.fromfile(os.path.join(folder, name + ".out"), dtype=np.float64)
            out[name] = values.reshape(shape, order="F")
        return out


@pytest.fixture(scope="session")
def octave(tmp_path_factory):
    executable = os.environ.get("ORTHOPAIR_OCTAVE") or shutil.which("octave-cli")
    mex_dir = os.environ.get("ORTHOPAIR_MEX_DIR")
    if not executable or not mex_dir or not os.path.exists(os.path.join(mex_dir, "brevak.mex")):
        pytest.skip("Octave and the built MEX-files are needed (ORTHOPAIR_MEX_DIR)")
    return Octave(executable, os.path.abspath(mex_dir), str(tmp_path_factory.mktemp("octave")))


def run_python(code, timeout=300):
    """Runs code in a fresh interpreter (for calls that could take the process down)."""
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, timeout=timeout, env=dict(os.environ))
