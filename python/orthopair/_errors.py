"""Exceptions of the orthopair package.

Every refused call raises an :class:`OrthopairError` whose ``identifier`` is
the one the MEX-file raises for the same mistake, ``"<function>:<reason>"``
(``"brevak:notFinite"``, ``"orthopair_run:notFeasible"``, ...), and whose
message names the argument and says what it must be. The class says what
kind of mistake it is, so ordinary ``except TypeError`` / ``except
ValueError`` clauses work too.
"""

__all__ = ["OrthopairError", "ArgumentError", "ArgumentTypeError", "ComputationError",
           "error_for"]


class OrthopairError(Exception):
    """A refused call or a failed computation; ``identifier`` is ``"<function>:<reason>"``."""

    def __init__(self, identifier, message):
        super().__init__(f"{identifier}: {message}")
        self.identifier = identifier
        self.function, _, self.reason = identifier.partition(":")
        self.message = message


class ArgumentError(OrthopairError, ValueError):
    """An argument of the right kind with a wrong value or size."""


class ArgumentTypeError(ArgumentError, TypeError):
    """An argument of the wrong kind, or a wrong number of arguments."""


class ComputationError(OrthopairError, RuntimeError):
    """The computation itself failed (memory, or an internal error)."""


_TYPE_REASONS = {"nargin", "notRealDouble", "notRealScalar"}
_COMPUTATION_REASONS = {"outOfMemory", "internal"}


def error_for(identifier, message):
    """The exception for a refusal ``identifier`` with its message (not raised)."""
    reason = identifier.partition(":")[2]
    if reason in _TYPE_REASONS:
        return ArgumentTypeError(identifier, message)
    if reason in _COMPUTATION_REASONS:
        return ComputationError(identifier, message)
    return ArgumentError(identifier, message)
