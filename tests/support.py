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


def observe(obj) -> str:
    """Everything a vantorel object answers, as text (floats by their round-trip repr,
    failures by type and message): objects that answer alike observe alike. Imports
    vantorel itself, so that a fresh process can unpickle its argument first."""
    import vantorel as vt

    def ask(call):
        try:
            return call()
        except BaseException as exc:  # FatalError included
            return f"{type(exc).__name__}: {exc}"

    days = [vt.Date(2024, 1, 2) + n for n in (-30, 0, 1, 45, 100, 400, 4000)]
    cls = type(obj)
    if cls is vt.Date:
        answers = [obj.to_int(), obj.to_str(), obj.year(), obj.month(), obj.day(), int(obj.weekday())]
    elif cls is vt.YearMonthDay:
        from vantorel_np import _ufuncs

        answers = [_ufuncs.native_state(obj)]
    elif cls is vt.Tenor:
        answers = [str(obj), obj.count, str(obj.unit), ask(lambda: days[1].add_tenor(str(obj)))]
    elif cls is vt.Calendar:
        answers = [obj.get_name(), *(obj.is_weekend(d) for d in days)]
    elif cls is vt.Interpolator:
        answers = [obj.get_nodes_x(), obj.get_nodes_y(), str(obj.get_interp_type()), str(obj.get_extrap_type())]
        answers += [ask(lambda x=x: obj.interpolate(x)) for x in (-1.0, 0.0, 0.5, 1.0, 2.5, 99.0)]
    elif cls is vt.YieldCurve:
        answers = [obj.get_curve_date().to_int(), str(obj.get_dc())]
        answers += [ask(lambda d=d: (obj.get_df(d), obj.get_overnight_rate(d), obj.get_fwd_rate(days[1], d))) for d in days]
    elif cls is vt.BlackScholesMetrics:
        answers = [obj.npv, obj.delta, obj.gamma, obj.vega, obj.theta, obj.rho_r, obj.rho_q]
    else:  # an enumeration member
        answers = [str(obj), int(obj)]
    return f"{cls.__name__}{answers!r}"
