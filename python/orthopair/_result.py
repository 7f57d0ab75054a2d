"""The typed results of a run, a certificate and a polish."""

from dataclasses import dataclass, field, fields
from typing import Optional, Tuple

import numpy as np

__all__ = ["History", "Result", "Certificate", "PolishReport"]


@dataclass
class History:
    """Columns recorded at the run's progress points and at its end."""

    iteration: np.ndarray
    f: np.ndarray
    time: np.ndarray
    moves: np.ndarray
    prox_steps: np.ndarray
    sweeps: np.ndarray
    screened: np.ndarray
    stationarity: np.ndarray
    pair_gap: np.ndarray


@dataclass
class Result:
    """What a run did and where it stopped.

    ``stop`` is one of 'certified', 'not_certified', 'stalled', 'max_iter',
    'time_limit', 'target', 'callback', 'callback_error' (the callback raised;
    ``message`` says what) or 'interrupted' (Ctrl-C); empty in the partial
    results handed to a callback. Every stop comes with the best X so far.
    ``pair_gap`` is the largest relative decrease that one pair step offered
    in the last full pass (NaN when none was made), ``stationarity`` the
    least-norm projected subgradient (absolute; see
    ``relative_stationarity``), ``feasibility`` ||X'X - I||_F. Where the
    engine reports them, ``phase`` ('prox', 'pass', 'pairs', 'done'),
    ``pass_pairs_done`` of ``pass_pairs_total`` in the current pass, and
    ``touched``, the pairs the last finished pass looked at one by one.
    """

    f: float
    f0: float
    stop: str
    iterations: int
    pair_steps: int
    moves: int
    screened: int
    sweeps: int
    prox_steps: int
    time: float
    pair_gap: float
    stationarity: float
    stationarity_scale: float
    feasibility: float
    message: str = ""
    history: Optional[History] = None
    phase: str = ""
    pass_pairs_done: int = 0
    pass_pairs_total: int = 0
    touched: int = -1

    @property
    def relative_stationarity(self):
        return self.stationarity / self.stationarity_scale

    @property
    def certified(self):
        return self.stop == "certified"

    @classmethod
    def from_core(cls, d):
        """The Result of the extension's info dict."""
        values = {k: d[k] for k in _RESULT_FIELDS if k in d}
        return cls(history=History(**d["history"]), **values)


_RESULT_FIELDS = tuple(f.name for f in fields(Result) if f.name != "history")


@dataclass
class Certificate:
    """How stationary a point is (see :func:`orthopair.certify`).

    ``pair_gap`` is the largest decrease that the best 2x2 orthogonal step on
    one pair of rows offers, over max(1, |f|), at ``pair_best`` (0-based rows
    i < j); ``decrease[i, j]`` holds every pair's decrease (upper triangle).
    Both are NaN / None when the pair scan was skipped. ``stationarity`` is
    the norm of the least-norm element of the projected subdifferential and
    ``relative_stationarity`` that over max(1, ||grad f||_F).
    """

    f: float
    feasibility: float
    nonzeros: int
    stationarity: float
    relative_stationarity: float
    pair_gap: float
    pair_best: Optional[Tuple[int, int]]
    decrease: Optional[np.ndarray] = field(default=None, repr=False)


@dataclass
class PolishReport:
    """What :func:`orthopair.polish` changed: F and both measures before and after."""

    f_before: float
    f_after: float
    gain: float
    relative_gain: float
    stop: str
    certified: bool
    time: float
    before: dict
    after: dict
    info: Result = field(repr=False)
