"""Builds the Python package orthopair (python/orthopair) and its extension.

    /usr/bin/python3 -m pip install --no-build-isolation .
    /usr/bin/python3 -m pip wheel --no-build-isolation --no-deps .

The extension orthopair._core is compiled from the kernel sources that
config/mex_files.txt lists for the MEX-files orthopair_run, brevak, tolmiv and
zandrel (without their gateways), with the MEX-files' flags from
config/fp_flags.txt, so that Python and the MEX-files compute the same bits.
NumPy and the pybind11 headers come from the system (Debian: python3-numpy,
pybind11-dev); nothing is downloaded.
"""

import os
import platform
import re
import shlex
import struct

from setuptools import Extension, setup

HERE = os.path.dirname(os.path.abspath(__file__))
MEX_FILES = ("orthopair_run", "brevak", "tolmiv", "zandrel")


def read_lines(path):
    with open(os.path.join(HERE, path), encoding="utf-8") as f:
        return [line.strip() for line in f if line.strip() and not line.startswith("#")]


def flags(case):
    out = []
    for line in read_lines("config/fp_flags.txt"):
        if line.startswith(case + ":"):
            out += shlex.split(line[len(case) + 1:])
    return out


def kernel_build():
    sources, includes, macros = [], ["."], []
    for line in read_lines("config/mex_files.txt"):
        name, _, items = line.partition(":")
        if name.strip() not in MEX_FILES:
            continue
        for item in shlex.split(items)[1:]:  # the first source is the gateway
            if item.startswith("+"):  # +eigen: the Eigen headers, added below in any case
                continue
            if item.startswith("-I"):
                target, value = includes, os.path.normpath(item[2:])
            elif item.startswith("-D"):
                target, value = macros, tuple((item[2:].split("=", 1) + [None])[:2])
            else:
                target, value = sources, item
            if value not in target:
                target.append(value)
    return sources, includes, macros


def version():
    text = open(os.path.join(HERE, "matlab/orthopair_version.m"), encoding="utf-8").read()
    return re.search(r"^v = '([0-9]+\.[0-9]+\.[0-9]+)'", text, re.M).group(1)


sources, includes, macros = kernel_build()
compile_args = flags("mex") + flags("gnu")
if platform.machine() in ("i386", "i486", "i586", "i686", "x86") and struct.calcsize("P") == 4:
    compile_args += flags("x86-32")
# Python builds extensions with -DNDEBUG; the MEX-files are compiled without it.
compile_args += ["-UNDEBUG"]
# The solver core may use Eigen (header-only): EIGEN_DIR, or Debian's folder.
for folder in (os.environ.get("EIGEN_DIR"), "/usr/include/eigen3"):
    if folder and os.path.isfile(os.path.join(folder, "Eigen", "Core")):
        includes.append(folder)
        break

setup(
    name="orthopair",
    version=version(),
    description="Sparse, exactly orthonormal solutions of L1-regularised quadratic problems "
                "by exact two-row steps",
    license="see COPYING",
    packages=["orthopair"],
    package_dir={"orthopair": "python/orthopair"},
    python_requires=">=3.8",
    install_requires=["numpy"],
    extras_require={"sklearn": ["scikit-learn"]},
    ext_modules=[Extension(
        "orthopair._core",
        sources=["python/src/orthopair_module.cpp", "python/src/problem_input.cpp"] + sources,
        include_dirs=includes + ["python/src"],
        define_macros=macros,
        extra_compile_args=compile_args,
        language="c++",
    )],
    options={"build": {"build_base": "build/setuptools"},
             "egg_info": {"egg_base": "build/setuptools"}},
    zip_safe=False,
)
