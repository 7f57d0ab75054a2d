"""The examples in the help texts run as written."""

import doctest

import pytest

import orthopair._kernels
import orthopair._solver
import orthopair._spca
import orthopair.estimator


@pytest.mark.parametrize("module", [orthopair._kernels, orthopair._solver, orthopair._spca,
                                    orthopair.estimator])
def test_help_examples_run(module):
    result = doctest.testmod(module)
    assert result.attempted > 0 and result.failed == 0
