"""copyreg picklers for vantorel's classes, registered when vantorel_np is imported.

Every object is rebuilt through vantorel's public constructors and factories
(``Date(y, m, d)``, ``Tenor(text)``, ``Calendar(name)``, members by name on
their class, ``Interpolator(...)``, ``YieldCurve.create_flat/create_noded``),
so a pickle names only vantorel's own callables and unpickling imports vantorel
by itself. A curve travels by value: its dates, day counter, rate or nodes. The
two classes Python cannot read or build, YearMonthDay and BlackScholesMetrics,
go through small native helpers of vantorel_np; unpickling a BlackScholesMetrics
therefore imports vantorel_np. ``import vantorel`` alone registers nothing.
"""

from __future__ import annotations

import copyreg
from collections.abc import Callable
from typing import Any

import vantorel as _vt

from . import _ufuncs as _u  # type: ignore[attr-defined]  # compiled, without a stub of its own

_Reduced = tuple[Callable[..., Any], tuple[Any, ...]]

# Serial day 0 is 1899-12-30.
SERIAL_ZERO = _vt.Date(1899, 12, 30)

_ENUMS = (
    _vt.DayCounter, _vt.BusDayAdj, _vt.ExtrapType, _vt.InterpType, _vt.StubType, _vt.TenorUnit,
    _vt.PutCallFlag, _vt.PayerReceiverFlag, _vt.Weekday,
)  # fmt: skip


def _date(d: _vt.Date) -> _Reduced:
    return _vt.Date, (d.year(), d.month(), d.day())


def _ymd(ymd: _vt.YearMonthDay) -> _Reduced:
    return _vt.Date.get_ymd, (_vt.Date(*_u.native_state(ymd)),)


def _tenor(t: _vt.Tenor) -> _Reduced:
    return _vt.Tenor, (str(t),)


def _calendar(c: _vt.Calendar) -> _Reduced:
    return _vt.Calendar, (c.get_name(),)


def _member(m: Any) -> _Reduced:
    # The text form is "Class.Member"; the class attribute is the member itself.
    return getattr, (type(m), str(m).partition(".")[2])


def _interpolator(i: _vt.Interpolator) -> _Reduced:
    return _vt.Interpolator, (i.get_nodes_x(), i.get_nodes_y(), i.get_interp_type(), i.get_extrap_type())


def _curve(c: _vt.YieldCurve) -> _Reduced:
    kind, serial, dc_name, *rest = _u.native_state(c)
    curve_date, dc = SERIAL_ZERO + serial, getattr(_vt.DayCounter, dc_name)
    if kind == "flat":
        return _vt.YieldCurve.create_flat, (curve_date, dc, rest[0])
    serials, factors, interp_name = rest
    nodes = [SERIAL_ZERO + s for s in serials]
    return _vt.YieldCurve.create_noded, (curve_date, dc, nodes, factors, getattr(_vt.InterpType, interp_name))


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
