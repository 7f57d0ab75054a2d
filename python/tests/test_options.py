"""The options of the native run through the Python module: every row of the
table takes the values inside its range and refuses the others by name, the
unknown-option message lists exactly the table's names, and the table says
what the MEX-file's table says."""

import math
import re

import numpy as np
import pytest

import orthopair
from orthopair import _core, _solver
from orthopair._errors import OrthopairError

A = np.array([[2.0, 1, 0, 0], [1, 3, 1, 0], [0, 1, 4, 1], [0, 0, 1, 5]])
X0 = np.eye(4)[:, :2].copy()
LAM = np.array(0.1)
TABLE = _core.option_table()


def run(options):
    return _core.run(A, None, LAM, X0, options, None)


def refused(options, name):
    with pytest.raises(OrthopairError) as e:
        run(options)
    assert e.value.identifier == "orthopair_run:badOption"
    assert f"option {name}" in e.value.message or f"'{name}'" in e.value.message
    return e.value.message


def values(row):
    """Values inside the row's range and values outside it or of a wrong type."""
    kind, (lo, hi) = row["type"], row["range"] or (None, None)
    if kind.startswith("one of"):
        return re.findall(r"'(\w+)'", kind), ["best", "Mixed", 3]
    if kind == "logical":
        return [True, False, 0, 1, np.bool_(True)], [2, 0.5, "yes", 1j]
    # Not the ends of the range: tol = 0 asks for a certificate that may never
    # come, n_trials = 2^31 - 1 for that many draws a step.
    good = [lo + 1 if math.isfinite(lo) else -1.0]
    bad = [float("nan"), "x", 1j, [1, 2]]
    if math.isfinite(lo):
        bad.append(lo - 1)
    if math.isfinite(hi):
        bad.append(hi + 1e6)
    if kind == "whole number":
        good += [lo, np.int32(lo + 2), np.array([lo])]
        bad.append(max(lo, 0) + 0.5)
    else:
        good.append(np.float64(2.5) if lo <= 2.5 else lo + 2.5)
    return good, bad


@pytest.mark.parametrize("row", TABLE, ids=[r["name"] for r in TABLE])
def test_every_row_takes_its_range_and_refuses_the_rest(row):
    good, bad = values(row)
    name = row["name"]
    for v in good:
        run({name: v})
    run({name: None})  # None is the default
    for v in bad:
        refused({name: v}, name)


def test_unknown_option_lists_exactly_the_table():
    message = refused({"nope": 1}, "nope")
    known = re.search(r"known: (.*)\.$", message).group(1).split(", ")
    assert known == [r["name"] for r in TABLE]
    # The front end takes the table's names and adds its own.
    assert _solver._ENGINE_OPTIONS == tuple(known)
    assert set(known) <= set(_solver._OPTIONS)


def test_options_take_effect():
    assert run({"max_iter": 0})[1]["stop"] == "max_iter"
    assert run({"target_f": math.inf})[1]["stop"] == "target"
    assert run({"time_limit": 0.0})[1]["stop"] == "time_limit"
    assert run({"certify": False})[1]["stop"] == "not_certified"
    assert run({})[1]["prox_steps"] > 0
    assert run({"rule": "sweep"})[1]["prox_steps"] == 0
    assert run({"prox": False})[1]["prox_steps"] == 0
    # print_every sets the spacing of the progress points the hook sees.
    calls = []
    _core.run(A, None, LAM, X0, {"print_every": 1}, lambda d: calls.append(d) and False)
    assert len(calls) > 1


def test_defaults_are_the_mex_tables(octave):
    names = [r["name"] for r in TABLE]
    code = ("t = orthopair_run(); d = zeros(1, %d); names = {%s};\n"
            "for k = 1:numel(names), e = t(strcmp({t.name}, names{k}));\n"
            "  v = e.default; if ischar(v), v = NaN; end; d(k) = double(v); end\n"
            % (len(names), ", ".join(f"'{n}'" for n in names)))
    d = octave.call(code, outputs=("d",))["d"].ravel()
    for row, mex in zip(TABLE, d):
        mine = row["default"]
        if isinstance(mine, str):
            assert math.isnan(mex), row["name"]
        else:
            assert float(mine) == mex, row["name"]


def test_solve_passes_the_table_options():
    X, info = orthopair.solve(A, None, 0.1, X0, max_iter=0, seed=7)
    assert info.stop == "max_iter"
    with pytest.raises(OrthopairError) as e:
        orthopair.solve(A, None, 0.1, X0, n_trials=0)
    assert e.value.identifier == "orthopair_solve:badOption"
