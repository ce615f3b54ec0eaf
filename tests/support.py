"""Helpers shared by the test modules."""

import contextlib
import math
from collections.abc import Iterator

import pytest


def same(a: float, b: float) -> bool:
    """Equal values, NaN equal to NaN and 0.0 different from -0.0."""
    if math.isnan(a) or math.isnan(b):
        return math.isnan(a) and math.isnan(b)
    return a == b and math.copysign(1, a) == math.copysign(1, b)


@contextlib.contextmanager
def raises_fatal(message: str) -> Iterator[None]:
    """The block must raise native_runtime.FatalError (a BaseException, not an
    Exception) whose text is exactly message."""
    with pytest.raises(BaseException) as info:
        yield
    exc = info.value
    assert not isinstance(exc, Exception)
    assert (type(exc).__module__, type(exc).__name__, str(exc)) == ("native_runtime", "FatalError", message)


def assert_type_error(call, message: str) -> None:
    """call() raises exactly TypeError(message). A conversion error ("argument 'NAME': text")
    is chained to the unprefixed TypeError(text); an interpreter-style error has no cause."""
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError and str(info.value) == message
    cause = info.value.__cause__
    if message.startswith("argument '"):
        assert type(cause) is TypeError and str(cause) == message.split("': ", 1)[1]
    else:
        assert cause is None


def assert_value_error(call, message: str) -> None:
    """call() raises exactly ValueError(message)."""
    with pytest.raises(ValueError) as info:
        call()
    assert type(info.value) is ValueError and str(info.value) == message
