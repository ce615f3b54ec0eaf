"""Helpers shared by the test modules."""

from __future__ import annotations

import contextlib
from collections.abc import Iterator

import pytest


@contextlib.contextmanager
def raises_fatal(message: str) -> Iterator[None]:
    """The block must raise native_runtime.FatalError (a BaseException, not an
    Exception) whose text is exactly message."""
    with pytest.raises(BaseException) as info:
        yield
    exc = info.value
    assert not isinstance(exc, Exception)
    assert (type(exc).__module__, type(exc).__name__, str(exc)) == ("native_runtime", "FatalError", message)
