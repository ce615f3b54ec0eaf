"""Market conventions: holiday calendars, business-day rules, schedules and day counts.

The conventions live in the native core; this package takes and gives the types
users hold. ``Calendar`` methods answer one date (``vantorel.Date``,
``datetime.date``, ``numpy.datetime64`` or ``"yyyy-mm-dd"``) and give
``vantorel.Date`` back. The module's functions take a date or any array-like of
dates (lists, NumPy arrays, pandas columns) and answer as NumPy does: a scalar
for a scalar, an array of the input's shape (``datetime64[D]``, ``bool``,
``int64`` or ``float64``) otherwise.
"""

from __future__ import annotations

try:
    import numpy as np
except ImportError as exc:  # pragma: no cover - exercised in a subprocess
    raise ImportError(
        "vantorel_rates needs numpy >= 2.0: install the extra with pip install 'vantorel[array]'"
    ) from exc

import datetime as _dt
from typing import Any

import vantorel as _vt

from ._native import Calendar, DayCount, Schedule, calendar_names, schedule
from ._native import ufuncs as _u
from ._native import Compounding, CurveInstrument, FixedLeg, FixedRateBond, FloatLeg, Swap, bootstrap
from ._native import _bond_book, _swap_book
from ._pickle_instruments import register as _register_instrument_picklers

__all__ = [
    "Calendar", "DayCount", "Schedule", "schedule", "year_fraction",
    "is_business_day", "is_holiday", "is_weekend", "adjust", "advance", "business_days_between", "holidays",
    "calendar_names",
    "Compounding", "FixedLeg", "FloatLeg", "CurveInstrument", "bootstrap", "FixedRateBond", "Swap",
    "price_bonds", "value_swaps", "fixed_leg", "float_leg",
]  # fmt: skip

_DAY = np.dtype("datetime64[D]")
# Serial day 0 is 1899-12-30; datetime64[D] counts from 1970-01-01, serial 25569.
_UNIX_EPOCH = 25569
_SERIAL_ZERO = _vt.Date(1899, 12, 30)


_register_instrument_picklers()


def _days(value: Any, name: str) -> tuple[np.ndarray, Any]:
    """``value`` as datetime64[D] and how to give a result back (None: as an array)."""
    if isinstance(value, _vt.Date):
        return np.datetime64(value.to_int() - _UNIX_EPOCH, "D"), "vantorel"
    if isinstance(value, _dt.datetime):
        return np.datetime64(value.date(), "D"), "datetime"
    if isinstance(value, _dt.date):
        return np.datetime64(value, "D"), "datetime"
    if isinstance(value, np.datetime64):
        return value.astype(_DAY), "datetime64"
    if isinstance(value, str):
        return np.datetime64(_vt.Date(value).to_int() - _UNIX_EPOCH, "D"), "vantorel"
    try:
        arr = np.asarray(value)
    except Exception as exc:
        raise TypeError(f"argument '{name}': expected dates, got {type(value).__name__}") from exc
    if arr.dtype.kind == "M" or arr.size == 0:
        return arr.astype(_DAY, copy=False), None
    if arr.dtype.kind == "O" and arr.size and all(isinstance(v, (_vt.Date, _dt.date)) for v in arr.flat):
        out = np.array([_days(v, name)[0] for v in arr.flat], dtype=_DAY).reshape(arr.shape)
        return out, None
    if arr.dtype.kind == "U":
        try:
            return arr.astype(_DAY), None
        except ValueError as exc:
            raise ValueError(f"argument '{name}': {exc}") from exc
    raise TypeError(f"argument '{name}': expected dates, got {type(value).__name__} of {arr.dtype}")


def _give(day: Any, kind: Any) -> Any:
    """A datetime64[D] result in the form of the input."""
    if kind is None or kind == "datetime64":
        return day
    if np.isnat(day):  # pragma: no cover - a scalar result is never NaT
        return None
    serial = int(day.astype(np.int64)) + _UNIX_EPOCH
    if kind == "vantorel":
        return _SERIAL_ZERO + serial
    return day.astype(object)


_ADJ = tuple(getattr(_vt.BusDayAdj, m) for m in ("Unadjusted", "Preceding", "Following", "ModFollowing"))


def _adj(convention: Any) -> Any:
    """A BusDayAdj member (or its code) as the member, which the ufuncs take as an operand."""
    if isinstance(convention, _vt.BusDayAdj):
        return convention
    if isinstance(convention, int) and not isinstance(convention, bool):
        if 0 <= convention < len(_ADJ):
            return _ADJ[convention]
        raise ValueError(f"BusDayAdj code ({convention}) is out of range")
    raise TypeError(f"argument 'convention': expected a vantorel.BusDayAdj member, got {type(convention).__name__}")


def _cal(calendar: Any) -> Calendar:
    if not isinstance(calendar, Calendar):
        raise TypeError(f"argument 'calendar': expected a vantorel_rates.Calendar, got {type(calendar).__name__}")
    return calendar


def _question(ufunc: Any, doc: str) -> Any:
    def question(calendar: Calendar, dates: Any) -> Any:
        days, kind = _days(dates, "dates")
        out = ufunc(_cal(calendar), days)
        return bool(out) if kind is not None else out

    question.__doc__ = doc
    return question


is_business_day = _question(_u.is_business_day, "Whether each date is a business day of the calendar.")
is_holiday = _question(_u.is_holiday, "Whether each date is closed (a weekend day or a holiday).")
is_weekend = _question(_u.is_weekend, "Whether each date falls on the calendar's weekend.")


def adjust(calendar: Calendar, dates: Any, convention: Any = _vt.BusDayAdj.Following) -> Any:
    """Each date adjusted to a business day by the ``BusDayAdj`` convention."""
    days, kind = _days(dates, "dates")
    return _give(_u.adjust(_cal(calendar), days, _adj(convention)), kind)


def _period(period: Any) -> Any:
    if isinstance(period, str):
        return _vt.Tenor(period)
    if not isinstance(period, _vt.Tenor):
        raise TypeError(f"argument 'period': expected a tenor text or vantorel.Tenor, got {type(period).__name__}")
    return period


def advance(
    calendar: Calendar,
    dates: Any,
    period: Any,
    convention: Any = _vt.BusDayAdj.Following,
    end_of_month: bool = False,
) -> Any:
    """Each date moved by ``period`` ("3M", "-2B" or a ``vantorel.Tenor``), then adjusted."""
    days, kind = _days(dates, "dates")
    return _give(_u.advance(_cal(calendar), days, _period(period), _adj(convention), bool(end_of_month)), kind)


def business_days_between(calendar: Calendar, start: Any, end: Any) -> Any:
    """Business days in [start, end) (negative when end is before start)."""
    a, ka = _days(start, "start")
    b, kb = _days(end, "end")
    out = _u.business_days_between(_cal(calendar), a, b)
    return int(out) if ka is not None and kb is not None else out


# By member code (the members compare equal to their codes but have no hash).
def holidays(calendar: Calendar, start: Any, end: Any, include_weekends: bool = False) -> np.ndarray:
    """The calendar's holidays from ``start`` to ``end`` inclusive as ``datetime64[D]``
    (with ``include_weekends``, every closed day); ready for ``numpy.busdaycalendar``."""
    days = calendar.holidays(start, end, include_weekends)
    return np.array([d.to_int() - _UNIX_EPOCH for d in days], dtype=np.int64).astype(_DAY)


_YF = {
    int(DayCount.Thirty360): _u.yf_thirty360,
    int(DayCount.Thirty360E): _u.yf_thirty360e,
    int(DayCount.ActActIsda): _u.yf_act_act_isda,
    int(DayCount.Act365): _u.yf_act365,
    int(DayCount.Act360): _u.yf_act360,
}


def year_fraction(
    day_count: DayCount,
    start: Any,
    end: Any,
    calendar: Calendar | None = None,
    reference_start: Any = None,
    reference_end: Any = None,
    termination: Any = None,
) -> Any:
    """Year fractions from ``start`` to ``end`` under ``day_count``, on dates or arrays.

    ``Bus252`` needs ``calendar``; ``ActActIcma`` takes the reference period
    (default: the span itself); ``Thirty360EIsda`` the termination date (a last
    day of February that is the termination date stays the 28th/29th).
    """
    if not isinstance(day_count, DayCount):
        raise TypeError(f"argument 'day_count': expected a DayCount member, got {type(day_count).__name__}")
    a, ka = _days(start, "start")
    b, kb = _days(end, "end")
    if int(day_count) in _YF:
        out = _YF[int(day_count)](a, b)
    elif day_count == DayCount.Bus252:
        if calendar is None:
            raise ValueError("DayCount.Bus252 needs a calendar")
        out = _u.yf_bus252(_cal(calendar), a, b)
    elif day_count == DayCount.ActActIcma:
        rs = a if reference_start is None else _days(reference_start, "reference_start")[0]
        re = b if reference_end is None else _days(reference_end, "reference_end")[0]
        out = _u.yf_act_act_icma(a, b, rs, re)
    else:
        # Without a termination date: the first date, never a last day of February.
        t = np.datetime64("1899-01-01", "D") if termination is None else _days(termination, "termination")[0]
        out = _u.yf_thirty360e_isda(a, b, t)
    return float(out) if ka is not None and kb is not None else out


def price_bonds(bonds: Any, curve: _vt.YieldCurve, settlement_date: Any) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    """Dirty prices, clean prices and accrued interest (per 100 of face) of many bonds off one curve.

    ``bonds`` is a sequence of ``FixedRateBond``; the loop runs without the GIL.
    """
    bonds = bonds if isinstance(bonds, (list, tuple)) else list(bonds)
    out = np.empty((3, len(bonds)))
    _bond_book(bonds, curve, settlement_date, out)
    return out[0], out[1], out[2]


def value_swaps(
    swaps: Any, projection_curve: _vt.YieldCurve, discount_curve: _vt.YieldCurve
) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    """NPVs, fair rates and annuities of many swaps off one pair of curves (the loop runs without the GIL)."""
    swaps = swaps if isinstance(swaps, (list, tuple)) else list(swaps)
    out = np.empty((3, len(swaps)))
    _swap_book(swaps, projection_curve, discount_curve, out)
    return out[0], out[1], out[2]


def _leg_columns(
    schedule: Schedule, day_count: DayCount, payment_lag: int, calendar: Calendar | None
) -> tuple[np.ndarray, np.ndarray, np.ndarray, np.ndarray]:
    starts, ends = schedule.start_dates, schedule.end_dates
    accruals = year_fraction(day_count, starts, ends, calendar, schedule.reference_start, schedule.reference_end)
    if payment_lag:
        if calendar is None:
            raise ValueError("a payment lag needs a calendar")
        pays = advance(calendar, ends, f"{payment_lag}B")
    else:
        pays = ends
    return starts, ends, pays, np.asarray(accruals, dtype=float)


def fixed_leg(
    schedule: Schedule, day_count: DayCount, notional: float = 1.0, payment_lag: int = 0,
    calendar: Calendar | None = None,
) -> FixedLeg:  # fmt: skip
    """The fixed leg of a schedule's periods: accruals under ``day_count`` (over each
    period's reference period for ``ActActIcma``), paid ``payment_lag`` business days
    of ``calendar`` after each period's end."""
    starts, ends, pays, accruals = _leg_columns(schedule, day_count, payment_lag, calendar)
    return FixedLeg(starts, ends, pays, accruals.tolist(), notional)


def float_leg(
    schedule: Schedule, day_count: DayCount, notional: float = 1.0, payment_lag: int = 0,
    calendar: Calendar | None = None,
) -> FloatLeg:  # fmt: skip
    """The floating leg of a schedule's periods, each fixing over its own period (a term
    index) or compounding daily over it (an overnight index), with ``day_count`` the
    index's; paid ``payment_lag`` business days of ``calendar`` after each period's end."""
    starts, ends, pays, accruals = _leg_columns(schedule, day_count, payment_lag, calendar)
    return FloatLeg(starts, ends, pays, accruals.tolist(), accruals.tolist(), notional)
