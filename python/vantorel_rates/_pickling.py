"""copyreg picklers for the package's objects, registered when vantorel_rates is imported.

Each object is rebuilt through its public constructor or factory from the
lists it was made of, so a pickle names only the package's own callables and
a tampered payload meets the same checks as a user's call; the vantorel
objects inside (dates, curves, members) travel through vantorel_np's picklers.

A market calendar travels by name plus the days where it differs from the
market's rules; any other calendar (joined, from a list) by its name, years,
weekend and closed days. A schedule travels as the arguments of ``schedule``.
"""

from __future__ import annotations

import copyreg
from collections.abc import Callable
from typing import Any

import vantorel_np as _np  # noqa: F401  # registers the picklers of vantorel's classes
from vantorel_np._pickling import add_enumerations

import numpy as np

from ._native import (  # type: ignore[import-not-found]  # compiled, without a stub of its own
    Calendar, Compounding, CurveInstrument, DayCount, FixedLeg, FixedRateBond, FloatLeg, Schedule, Swap,
    calendar_names, schedule,
)
from ._native import ufuncs as _u

_Reduced = tuple[Callable[..., Any], tuple[Any, ...]]


def _columns(leg: Any) -> tuple[Any, ...]:
    return leg.get_start_dates(), leg.get_end_dates(), leg.get_pay_dates(), leg.get_accruals()


def _fixed_leg(leg: FixedLeg) -> _Reduced:
    return FixedLeg, (*_columns(leg), leg.get_notional())


def _float_leg(leg: FloatLeg) -> _Reduced:
    return FloatLeg, (*_columns(leg), leg.get_fixing_accruals(), leg.get_notional())


def _instrument(i: CurveInstrument) -> _Reduced:
    if i.get_kind() == "Swap":
        return CurveInstrument.swap, (i.get_name(), i.get_fixed_leg(), i.get_float_leg(), i.get_rate())
    return CurveInstrument.deposit, (i.get_name(), i.get_start_date(), i.get_end_date(), i.get_accrual(), i.get_rate())


def _bond(b: FixedRateBond) -> _Reduced:
    return FixedRateBond, (b.get_coupon_leg(), b.get_coupon_rate(), b.get_dc(), b.get_face(), b.get_redemption(),
                           b.get_reference_start_dates(), b.get_reference_end_dates())  # fmt: skip


def _swap(s: Swap) -> _Reduced:
    return Swap, (s.get_flag(), s.get_fixed_leg(), s.get_float_leg(), s.get_fixed_rate(), s.get_spread())


def _closed_days(c: Any) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    """Every day of the calendar's years, and which are closed and which are weekend days."""
    days = np.arange(f"{c.first_year():04d}-01-01", f"{c.last_year() + 1:04d}-01-01", dtype="datetime64[D]")
    return days, _u.is_holiday(c, days), _u.is_weekend(c, days)


def _texts(days: np.ndarray) -> list[str]:
    return days.astype(str).tolist()


def _calendar(c: Any) -> _Reduced:
    name, first, last = c.get_name(), c.first_year(), c.last_year()
    days, closed, weekend = _closed_days(c)
    # 1970-01-01 (day 0 of datetime64) was a Thursday, weekday code 3.
    weekend_codes = sorted({int(d + 3) % 7 for d in days[:7][weekend[:7]].astype(np.int64)})
    if name in calendar_names():
        base = Calendar(name)
        if (base.first_year(), base.last_year()) == (first, last):
            _, base_closed, base_weekend = _closed_days(base)
            if np.array_equal(base_weekend, weekend):
                added, removed = days[closed & ~base_closed], days[base_closed & ~closed]
                if not added.size and not removed.size:
                    return Calendar, (name,)
                return Calendar.with_holidays, (base, _texts(added), _texts(removed))
    listed = Calendar.from_holidays, (name, _texts(days[closed & ~weekend]), first, last, weekend_codes)
    opened = days[weekend & ~closed]
    if not opened.size:
        return listed
    return Calendar.with_holidays, (listed[0](*listed[1]), [], _texts(opened))


def _schedule(s: Any) -> _Reduced:
    return schedule, s._terms


def register() -> None:
    """Registers the picklers with copyreg (pickle, copy, cloudpickle and dask read them there)."""
    reducers: dict[type, Callable[[Any], _Reduced]] = {
        Calendar: _calendar, Schedule: _schedule, FixedLeg: _fixed_leg, FloatLeg: _float_leg,
        CurveInstrument: _instrument, FixedRateBond: _bond,
        Swap: _swap,
    }  # fmt: skip
    for cls, reducer in reducers.items():
        copyreg.pickle(cls, reducer)
    add_enumerations(Compounding, DayCount)
