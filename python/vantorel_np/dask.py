"""FatalError inside Dask tasks: an error the scheduler reports instead of one that hangs the client.

``native_runtime.FatalError`` derives from ``BaseException``, like
``SystemExit``. ``distributed`` handles the ``Exception``\\ s a task raises: it
sends them to the client, and ``future.result()`` re-raises them. A
``BaseException`` raised by a task is logged by the worker and sent too, but the
client re-raises it inside its own event loop, which lets it escape there:
``result()`` then waits until its timeout, or for ever.

So a task must end with an ``Exception``. :func:`fatal_guard` wraps a task
function so that a ``FatalError`` leaves it as :class:`TaskFatalError`, which
carries the original's type name, message and notes, and the original itself
as ``__cause__`` (it pickles, so the cause crosses to the client too). The
functions of ``vantorel_np`` guard the tasks they build for dask arrays; put
the guard on your own task functions that call ``vantorel``. Nothing else is
caught: ``KeyboardInterrupt`` and ``SystemExit`` keep their meaning.

>>> import vantorel as vt
>>> from vantorel_np.dask import TaskFatalError, fatal_guard
>>> @fatal_guard
... def fraction(start, end):
...     return vt.DayCounter.Thirty360.get_dcf(start, end)
>>> try:
...     fraction(vt.Date(2024, 1, 1), vt.Date(2024, 2, 1))
... except TaskFatalError as exc:
...     print(exc, "|", type(exc.__cause__).__name__)
native_runtime.FatalError: not implemented | FatalError
"""

from __future__ import annotations

import functools
from collections.abc import Callable
from typing import Any, ParamSpec, TypeVar

from native_runtime import FatalError

__all__ = ["TaskFatalError", "fatal_guard"]

_P = ParamSpec("_P")
_R = TypeVar("_R")


class TaskFatalError(Exception):
    """A ``FatalError`` raised inside a task, as an ``Exception`` that task schedulers report.

    ``str()`` gives ``"native_runtime.FatalError: <message>"``; ``message`` and
    ``type_name`` hold the two parts, ``__cause__`` the original error and
    ``__notes__`` its notes (such as the index of the first failing element).
    Instances pickle with all of these.
    """

    def __init__(self, message: str, type_name: str = "native_runtime.FatalError") -> None:
        super().__init__(message, type_name)
        self.message = message
        self.type_name = type_name

    def __str__(self) -> str:
        return f"{self.type_name}: {self.message}"

    def __reduce__(self) -> tuple[Any, ...]:
        # BaseException's own state sets attributes by name, __cause__ included.
        return type(self), (self.message, self.type_name), {**self.__dict__, "__cause__": self.__cause__}

    @classmethod
    def from_fatal(cls, exc: BaseException) -> TaskFatalError:
        """The task error for ``exc``, with its notes; the caller sets ``__cause__`` by raising from it."""
        error = cls(str(exc), f"{type(exc).__module__}.{type(exc).__qualname__}")
        for note in getattr(exc, "__notes__", ()):
            error.add_note(note)
        return error


def fatal_guard(fn: Callable[_P, _R]) -> Callable[_P, _R]:
    """``fn`` with a ``FatalError`` turned into :class:`TaskFatalError` (raised from it).

    Use it as a decorator on a module-level task function (the result pickles by
    reference, as the function did) or call it on a function when submitting
    it (``client.submit(fatal_guard(fn), ...)``; Dask's cloudpickle sends the
    wrapper by value).
    """

    @functools.wraps(fn)
    def guarded(*args: _P.args, **kwargs: _P.kwargs) -> _R:
        try:
            return fn(*args, **kwargs)
        except FatalError as exc:
            raise TaskFatalError.from_fatal(exc) from exc

    return guarded
