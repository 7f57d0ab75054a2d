"""Every class of bad call raises the MEX-file's identifier, as a Python
exception of the matching kind, and never takes the interpreter down."""

import json

import numpy as np
import pytest

import orthopair
from conftest import run_python

SETUP_PY = """
import numpy as np, orthopair
from orthopair import brevak, tolmiv, zandrel, seed, solve
Q = np.eye(4); G = np.zeros(4); z = np.ones(3); A = np.ones((3, 4)); B = np.ones((3, 4))
S = -np.diag([3.0, 2.0, 1.0]); X0 = np.eye(3)[:, :2]
"""
SETUP_M = """
Q = eye(4); G = zeros(4, 1); z = ones(3, 1); A = ones(3, 4); B = ones(3, 4);
S = -diag([3 2 1]); X0 = eye(3)(:, 1:2);
"""

# (Python call, the same call in M, identifier both must raise; '' for none)
CASES = [
    ("brevak(Q, G, 0.0, z, z)", "brevak(Q, G, 0, z, z)", "brevak:nargin"),
    ("brevak(Q.astype(np.int32), G, 0.0, z, z, 2)", "brevak(int32(Q), G, 0, z, z, 2)",
     "brevak:notRealDouble"),
    ("brevak(Q + 1j, G, 0.0, z, z, 2)", "brevak(Q + 1i, G, 0, z, z, 2)", "brevak:notRealDouble"),
    ("brevak(np.zeros(15), G, 0.0, z, z, 2)", "brevak(zeros(15, 1), G, 0, z, z, 2)",
     "brevak:tooShort"),
    ("brevak(Q, G[:3], 0.0, z, z, 2)", "brevak(Q, G(1:3), 0, z, z, 2)", "brevak:tooShort"),
    ("brevak(Q, G, 1j, z, z, 2)", "brevak(Q, G, 1i, z, z, 2)", "brevak:notRealScalar"),
    ("brevak(Q, G, np.array([]), z, z, 2)", "brevak(Q, G, [], z, z, 2)", "brevak:notRealScalar"),
    ("brevak(Q, G, 'a', z, z, 2)", "brevak(Q, G, 'a', z, z, 2)", "brevak:notRealScalar"),
    ("brevak(Q, G, float('nan'), z, z, 2)", "brevak(Q, G, NaN, z, z, 2)", "brevak:notFinite"),
    ("brevak(np.where(np.triu(np.ones((4, 4))) > 0, Q, np.nan), G, 0.0, z, z, 2)",
     "brevak(Q + tril(NaN(4), -1), G, 0, z, z, 2)", ""),
    ("brevak(np.where(np.eye(4) > 0, np.inf, 0.0), G, 0.0, z, z, 2)",
     "brevak(Inf * eye(4), G, 0, z, z, 2)", "brevak:notFinite"),
    ("brevak(Q, G, 0.0, z, z, 4)", "brevak(Q, G, 0, z, z, 4)", "brevak:tooShort"),
    ("brevak(Q, G, 0.0, np.array([1.0, np.inf, 1.0]), z, 3)",
     "brevak(Q, G, 0, [1 Inf 1], z, 3)", "brevak:notFinite"),
    ("brevak(Q, G, 0.0, np.array([1.0, np.inf, 1.0]), z, 1)",
     "brevak(Q, G, 0, [1 Inf 1], z, 1)", ""),
    ("brevak(Q, G, 0.0, z, z, float('nan'))", "brevak(Q, G, 0, z, z, NaN)", "brevak:badCount"),
    ("brevak(Q, G, 0.0, z, z, -np.inf)", "brevak(Q, G, 0, z, z, -Inf)", "brevak:badCount"),
    ("brevak(Q, G, 0.0, z, z, 2.0**31)", "brevak(Q, G, 0, z, z, 2^31)", "brevak:badCount"),
    ("brevak(Q, G, 0.0, z, z, 2**29)", "brevak(Q, G, 0, z, z, 2^29)", "brevak:tooManyPairs"),
    ("brevak(Q, G, 0.0, z, z, -3)", "brevak(Q, G, 0, z, z, -3)", ""),
    ("tolmiv(A, B, 4, 3)", "tolmiv(A, B, 4, 3)", "tolmiv:nargin"),
    ("tolmiv(A, B.astype(np.float32), 4, 3, 2)", "tolmiv(A, single(B), 4, 3, 2)",
     "tolmiv:notRealDouble"),
    ("tolmiv(A, B, -1, 3, 2)", "tolmiv(A, B, -1, 3, 2)", "tolmiv:badCount"),
    ("tolmiv(A, B, 4, -1, 2)", "tolmiv(A, B, 4, -1, 2)", "tolmiv:badCount"),
    ("tolmiv(A, B, 4, 3, -5)", "tolmiv(A, B, 4, 3, -5)", ""),
    ("tolmiv(A, B, 4, 3, float('inf'))", "tolmiv(A, B, 4, 3, Inf)", "tolmiv:badCount"),
    ("tolmiv(A, B, 5, 3, 2)", "tolmiv(A, B, 5, 3, 2)", "tolmiv:tooShort"),
    ("zandrel(A[:, :3], B, 4, 3, 2)", "zandrel(A(:, 1:3), B, 4, 3, 2)", "zandrel:tooShort"),
    ("zandrel(A, B, 4, 3, True)", "zandrel(A, B, 4, 3, true)", ""),
    ("zandrel(A, B, 1j, 3, 2)", "zandrel(A, B, 1i, 3, 2)", "zandrel:notRealScalar"),
    ("seed(-1)", "orthopair_seed(-1)", "orthopair_seed:badSeed"),
    ("seed(1.5)", "orthopair_seed(1.5)", "orthopair_seed:badSeed"),
    ("seed(2**32)", "orthopair_seed(2^32)", "orthopair_seed:badSeed"),
    ("seed(np.array([1.0, 2.0]))", "orthopair_seed([1 2])", "orthopair_seed:badSeed"),
    ("solve(S + np.triu(np.ones((3, 3)), 1), None, 0.1, X0)",
     "orthopair_solve(S + triu(ones(3), 1), [], 0.1, X0)", "orthopair_solve:notSymmetric"),
    ("solve(np.where(np.eye(3) > 0, np.nan, S), None, 0.1, X0)",
     "orthopair_solve(S + diag([NaN 0 0]), [], 0.1, X0)", "orthopair_solve:notFinite"),
    ("solve(np.ones((1, 1)), None, 0.1, np.ones((1, 1)))",
     "orthopair_solve(1, [], 0.1, 1)", "orthopair_solve:sizes"),
    ("solve(S, None, 0.1, 2 * X0)", "orthopair_solve(S, [], 0.1, 2 * X0)",
     "orthopair_solve:notFeasible"),
    ("solve(S, None, 0.1, np.eye(3)[:2])", "orthopair_solve(S, [], 0.1, eye(3)(1:2, :))",
     "orthopair_solve:sizes"),
    ("solve(S, np.ones((3, 3)), 0.1, X0)", "orthopair_solve(S, ones(3), 0.1, X0)",
     "orthopair_solve:sizes"),
    ("solve(S, None, -0.1, X0)", "orthopair_solve(S, [], -0.1, X0)",
     "orthopair_solve:negativeLambda"),
    ("solve(S, None, [0.1, 0.2, 0.3], X0)", "orthopair_solve(S, [], [0.1 0.2 0.3], X0)",
     "orthopair_solve:sizes"),
    ("solve(S, None, 0.1, X0, rule='fast')",
     "orthopair_solve(S, [], 0.1, X0, struct('rule', 'fast'))", "orthopair_solve:badOption"),
    ("solve(S, None, 0.1, X0, max_iter=-1)",
     "orthopair_solve(S, [], 0.1, X0, struct('max_iter', -1))", "orthopair_solve:badOption"),
    ("solve(S, None, 0.1, X0, tol=float('nan'))",
     "orthopair_solve(S, [], 0.1, X0, struct('tol', NaN))", "orthopair_solve:badOption"),
    ("solve(S, None, 0.1, X0, speed=3)",
     "orthopair_solve(S, [], 0.1, X0, struct('speed', 3))", "orthopair_solve:badOption"),
    ("solve(S, None, 0.1, 4)", "orthopair_solve(S, [], 0.1, 4)", "orthopair_solve:sizes"),
    ("solve(S, None, 0.1, X0, seed=-2)",
     "orthopair_solve(S, [], 0.1, X0, struct('seed', -2))", "orthopair_solve:badOption"),
]

# Python-only kinds of argument: none may crash, each names its reason.
PYTHON_ONLY = [
    ("brevak(None, G, 0.0, z, z, 2)", "brevak:notRealDouble"),
    ("brevak(object(), G, 0.0, z, z, 2)", "brevak:notRealDouble"),
    ("brevak([[1, 0], [0, 1]] * 4, G, 0.0, z, z, 2)", "brevak:notRealDouble"),
    ("brevak(Q.astype('>f8'), G, 0.0, z, z, 2)", "brevak:notRealDouble"),
    ("brevak(Q, G, None, z, z, 2)", "brevak:notRealScalar"),
    ("brevak(Q, G, 0.0, z, z, 10**40)", "brevak:badCount"),
    ("brevak(Q, G, 0.0, z, z, 10**400)", "brevak:notRealScalar"),
    ("brevak(Q, G, 0.0, z, z, np.array(2**40))", "brevak:badCount"),
    ("tolmiv(A, B, 4, 3, [])", "tolmiv:notRealScalar"),
    ("tolmiv(A, B, 4, 3, 2, 9)", "tolmiv:nargin"),
    ("seed('7')", "orthopair_seed:notRealScalar"),
    ("solve(S, None, 0.1, X0.astype(complex))", "orthopair_solve:notRealDouble"),
    ("solve(S, None, 0.1, X0[:, :, None])", "orthopair_solve:sizes"),
    ("solve(S, None, 0.1, X0, callback=3)", "orthopair_solve:badOption"),
    ("solve(S, None, 0.1, X0, certify='yes')", "orthopair_solve:badOption"),
    ("solve('S', None, 0.1, X0)", "orthopair_solve:badA"),
    ("solve(S, None, 'a', X0)", "orthopair_solve:notRealDouble"),
    ("orthopair.certify(S, None, 0.1, np.ones((3, 4)))", "orthopair_certify:sizes"),
]


def python_identifiers(calls):
    """Each call's identifier ('' when it returns), run in a child interpreter."""
    code = SETUP_PY + f"""
import json
out = []
for call in {calls!r}:
    try:
        eval(call)
        out.append(['', ''])
    except orthopair.OrthopairError as e:
        out.append([e.identifier, type(e).__name__ + '|' + str(e)])
print(json.dumps(out))
"""
    done = run_python(code)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout.strip().splitlines()[-1])


def test_bad_calls_raise_the_identifiers_of_the_mex_files(octave):
    got = python_identifiers([c[0] for c in CASES])
    calls = "; ".join("'" + c[1].replace("'", "''") + "'" for c in CASES)
    codes = octave.call(SETUP_M + f"""
        calls = {{{calls}}}; ids = '';
        for k = 1:numel(calls)
          id = '';
          try
            eval([calls{{k}} ';']);
          catch err
            id = err.identifier;
          end
          ids = [ids id '|'];
        end
        ids = double(ids);
        """, {}, ["ids"])["ids"]
    octave_ids = "".join(map(chr, codes.astype(int).ravel())).split("|")[:-1]
    for (py_call, m_call, expected), (identifier, text), m_id in zip(CASES, got, octave_ids):
        assert identifier == expected, (py_call, text)
        assert m_id == expected, m_call


def test_bad_calls_of_python_kinds_are_refused_by_reason():
    got = python_identifiers([c[0] for c in PYTHON_ONLY] + [c[0] for c in CASES])
    expected = [c[1] for c in PYTHON_ONLY] + [c[2] for c in CASES]
    for call, want, (identifier, text) in zip(PYTHON_ONLY + CASES, expected, got):
        assert identifier == want, (call[0], text)
        if identifier:
            kind, _, message = text.partition("|")
            reason = identifier.partition(":")[2]
            if reason in ("nargin", "notRealDouble", "notRealScalar"):
                assert kind == "ArgumentTypeError", (call[0], kind)
            else:  # an unknown option is also a TypeError, as an unknown keyword is
                assert kind in ("ArgumentError", "ArgumentTypeError"), (call[0], kind)
            assert message.startswith(identifier + ": ") and len(message) > len(identifier) + 10


def test_refusals_are_value_and_type_errors():
    with pytest.raises(TypeError) as e:
        orthopair.brevak(np.eye(4, dtype=np.int64), np.zeros(4), 0.0, [], [], 0)
    assert e.value.identifier == "brevak:notRealDouble"
    assert "argument 1 (Q)" in str(e.value) and "int64" in str(e.value)
    with pytest.raises(ValueError) as e:
        orthopair.tolmiv(np.ones(5), np.ones(6), 3, 2, 1)
    assert e.value.identifier == "tolmiv:tooShort" and "n_rows*n_cols" in str(e.value)
    with pytest.raises(orthopair.ArgumentError) as e:
        orthopair.solve(-np.eye(3), None, 0.0, np.ones((3, 1)))
    assert e.value.reason == "notFeasible" and "orthonormal" in e.value.message
