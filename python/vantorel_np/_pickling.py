"""copyreg picklers for vantorel's classes, registered when vantorel_np is imported.

Every object is rebuilt through vantorel's public constructors and factories
(``Date(y, m, d)``, ``Tenor(text)``, ``Calendar(name)``, members by name on
their class, ``Interpolator(...)``, ``YieldCurve.create_flat/create_noded``),
each behind a check of this module, so that a tampered payload raises
``ValueError`` or ``TypeError`` (never ``FatalError``, never a curve that
answers NaN); a pickle therefore names this module's rebuilders and unpickling
imports vantorel_np. A curve travels by value: its dates, day counter, rate or
nodes. The two classes Python cannot read or build, YearMonthDay and
BlackScholesMetrics, go through small native helpers of vantorel_np.
``import vantorel`` alone registers nothing.
"""

from __future__ import annotations

import copyreg
import functools
import math
from collections.abc import Callable
from typing import Any, TypeVar

import vantorel as _vt
from native_runtime import FatalError

from . import _ufuncs as _u  # type: ignore[attr-defined]  # compiled, without a stub of its own

_T = TypeVar("_T")
_Reduced = tuple[Callable[..., Any], tuple[Any, ...]]

# The date of serial day 0, found from any date and its serial.
_ANY = _vt.Date(2000, 1, 1)
SERIAL_ZERO = _ANY + -_ANY.to_int()

# The enumerations whose members travel by name; a sibling package adds its own
# through add_enumerations.
_ENUMS: set[type] = {
    _vt.DayCounter, _vt.BusDayAdj, _vt.ExtrapType, _vt.InterpType, _vt.StubType, _vt.TenorUnit,
    _vt.PutCallFlag, _vt.PayerReceiverFlag, _vt.Weekday,
}  # fmt: skip


def add_enumerations(*classes: type) -> None:
    """Members of these enumeration classes pickle by name too."""
    _ENUMS.update(classes)
    for cls in classes:
        copyreg.pickle(cls, _member)


# ---- rebuilders: what a pickle calls, each checking what the constructor lets through ----


def _rebuild(fn: Callable[..., Any]) -> Callable[..., Any]:
    """fn with what a tampered payload can make vantorel's constructors raise besides
    ValueError and TypeError (FatalError, OverflowError) raised as ValueError, its text kept."""

    @functools.wraps(fn)
    def rebuild(*args: Any) -> Any:
        try:
            return fn(*args)
        except (FatalError, OverflowError) as exc:
            raise ValueError(str(exc)) from exc

    return rebuild


@_rebuild
def date(year: int, month: int, day: int) -> _vt.Date:
    return _vt.Date(year, month, day)


@_rebuild
def ymd(d: _vt.Date) -> _vt.YearMonthDay:
    return _check(d, _vt.Date).get_ymd()


@_rebuild
def tenor(text: str) -> _vt.Tenor:
    return _vt.Tenor(_check(text, str))


@_rebuild
def member(cls: type, name: str) -> Any:
    """The member called name of one of the registered enumerations."""
    if cls not in _ENUMS:
        raise TypeError(f"not an enumeration that pickles: {cls!r}")
    value = getattr(cls, _check(name, str), None)
    if not isinstance(value, cls):
        raise ValueError(f"{cls.__name__} has no member {name!r}")
    return value


@_rebuild
def flat_curve(curve_date: _vt.Date, dc: _vt.DayCounter, rate: float) -> _vt.YieldCurve:
    """YieldCurve.create_flat with a finite rate."""
    if not math.isfinite(_check(rate, float)):
        raise ValueError(f"Flat rate ({rate}) must be finite")
    return _vt.YieldCurve.create_flat(curve_date, dc, rate)


@_rebuild
def noded_curve(
    curve_date: _vt.Date, dc: _vt.DayCounter, nodes: list[_vt.Date], factors: list[float], interp: _vt.InterpType
) -> _vt.YieldCurve:
    """YieldCurve.create_noded with finite, positive discount factors."""
    for f in _check(factors, list):
        if not (isinstance(f, float) and math.isfinite(f) and f > 0.0):
            raise ValueError(f"Discount factor ({f!r}) must be a finite float > 0")
    return _vt.YieldCurve.create_noded(curve_date, dc, nodes, factors, interp)


def _check(value: Any, cls: type[_T]) -> _T:
    if not isinstance(value, cls):
        raise TypeError(f"expected {cls.__name__}, got {type(value).__name__}")
    return value


# ---- reducers -----------------------------------------------------------------------


def _date(d: _vt.Date) -> _Reduced:
    return date, (d.year(), d.month(), d.day())


def _ymd(x: _vt.YearMonthDay) -> _Reduced:
    return ymd, (_vt.Date(*_u.native_state(x)),)


def _tenor(t: _vt.Tenor) -> _Reduced:
    return tenor, (str(t),)


def _calendar(c: _vt.Calendar) -> _Reduced:
    return _vt.Calendar, (c.get_name(),)


def _member(m: Any) -> _Reduced:
    # The text form is "Class.Member"; the class attribute is the member itself.
    return member, (type(m), str(m).partition(".")[2])


def _interpolator(i: _vt.Interpolator) -> _Reduced:
    return _vt.Interpolator, (i.get_nodes_x(), i.get_nodes_y(), i.get_interp_type(), i.get_extrap_type())


def _curve(c: _vt.YieldCurve) -> _Reduced:
    kind, serial, dc_name, *rest = _u.native_state(c)
    curve_date, dc = SERIAL_ZERO + serial, getattr(_vt.DayCounter, dc_name)
    if kind == "flat":
        return flat_curve, (curve_date, dc, rest[0])
    serials, factors, interp_name = rest
    nodes = [SERIAL_ZERO + s for s in serials]
    return noded_curve, (curve_date, dc, nodes, factors, getattr(_vt.InterpType, interp_name))


def _metrics(m: _vt.BlackScholesMetrics) -> _Reduced:
    return _u.make_metrics, (m.npv, m.delta, m.gamma, m.vega, m.theta, m.rho_r, m.rho_q)


def register() -> None:
    """Registers the picklers with copyreg (pickle, copy, cloudpickle and dask read them there)."""
    reducers: dict[type, Callable[[Any], _Reduced]] = {
        _vt.Date: _date, _vt.YearMonthDay: _ymd, _vt.Tenor: _tenor, _vt.Calendar: _calendar,
        _vt.Interpolator: _interpolator, _vt.YieldCurve: _curve, _vt.BlackScholesMetrics: _metrics,
        **dict.fromkeys(_ENUMS, _member),
    }  # fmt: skip
    for cls, reducer in reducers.items():
        copyreg.pickle(cls, reducer)
