"""copyreg picklers for the instruments, registered when vantorel_rates is imported.

Each object is rebuilt through its public constructor or factory from the
lists it was made of, so a pickle names only the package's own callables; the
vantorel objects inside (dates, curves, members) travel through vantorel_np's
picklers.
"""

from __future__ import annotations

import copyreg
from collections.abc import Callable
from typing import Any

import vantorel_np as _np  # noqa: F401  # registers the picklers of vantorel's classes

from ._native import (  # type: ignore[import-not-found]  # compiled, without a stub of its own
    Compounding, CurveInstrument, DayCount, FixedLeg, FixedRateBond, FloatLeg, Swap,
)

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


def _member(m: Any) -> _Reduced:
    # The text form is "Class.Member"; the class attribute is the member itself.
    return getattr, (type(m), str(m).partition(".")[2])


def register() -> None:
    """Registers the picklers with copyreg (pickle, copy, cloudpickle and dask read them there)."""
    reducers: dict[type, Callable[[Any], _Reduced]] = {
        FixedLeg: _fixed_leg, FloatLeg: _float_leg, CurveInstrument: _instrument, FixedRateBond: _bond,
        Swap: _swap, Compounding: _member, DayCount: _member,
    }  # fmt: skip
    for cls, reducer in reducers.items():
        copyreg.pickle(cls, reducer)
