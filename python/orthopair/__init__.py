"""orthopair: sparse, exactly orthonormal solutions of L1-regularised quadratic problems.

The native two-index solver and its kernels for Python, from the same C++
sources as the toolbox's MEX-files:

- :func:`solve`, :func:`sparse_pca`, :func:`l1_procrustes`, :func:`polish`,
  :func:`certify`: the solver's front ends, with :class:`Gram` for a quadratic
  part given by data;
- :func:`brevak`, :func:`tolmiv`, :func:`zandrel`, :func:`seed`: the kernels,
  bit for bit as the MEX-files compute them;
- :class:`SparsePCA`: a scikit-learn-style estimator.

Progress lines go to the logger "orthopair". Refused calls raise
:class:`OrthopairError` subclasses carrying the MEX-file's identifier.
"""

from ._errors import ArgumentError, ArgumentTypeError, ComputationError, OrthopairError
from ._kernels import brevak, seed, tolmiv, zandrel
from ._result import Certificate, History, PolishReport, Result
from ._spca import SparsePCAInfo
from ._solver import (Gram, certify, l1_procrustes, polish, random_orthonormal, seeded_uniform,
                      solve, sparse_pca)
from .estimator import SparsePCA

__all__ = ["solve", "sparse_pca", "l1_procrustes", "polish", "certify", "Gram",
           "brevak", "tolmiv", "zandrel", "seed", "random_orthonormal", "seeded_uniform",
           "SparsePCA", "SparsePCAInfo", "Result", "History", "Certificate", "PolishReport",
           "OrthopairError", "ArgumentError", "ArgumentTypeError", "ComputationError"]
