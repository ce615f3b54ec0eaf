"""Market conventions: holiday calendars, business-day rules, schedules and day counts.

``Calendar`` methods answer one date (``vantorel.Date``, ``datetime.date``,
``numpy.datetime64`` or ``"yyyy-mm-dd"``) and give ``vantorel.Date`` back. The
module's functions take a date or any array-like of dates (lists, NumPy arrays,
pandas columns) and answer as NumPy does: a scalar for a scalar, an array of the
input's shape otherwise.
"""

import datetime
from collections.abc import Sequence
from typing import Any, ClassVar, Literal, final

import numpy as np
import numpy.typing as npt

from vantorel import BusDayAdj, Date, DayCounter, InterpType, PayerReceiverFlag, StubType, Tenor, YieldCurve

__all__ = [
    "Calendar", "DayCount", "Schedule", "schedule", "year_fraction",
    "is_business_day", "is_holiday", "is_weekend", "adjust", "advance", "business_days_between", "holidays",
    "calendar_names",
    "Compounding", "FixedLeg", "FloatLeg", "CurveInstrument", "bootstrap", "FixedRateBond", "Swap",
    "price_bonds", "value_swaps", "fixed_leg", "float_leg",
]  # fmt: skip

_Day = Date | datetime.date | np.datetime64 | str
_Days = _Day | npt.ArrayLike
_Period = str | Tenor

@final
class Calendar:
    """A holiday calendar: a weekend plus holiday rules over a range of years.

    ``Calendar(name)`` takes one of :func:`calendar_names`. A date outside the
    calendar's years raises ``ValueError`` naming the range.

    >>> Calendar("TARGET").is_business_day("2024-12-26")
    False
    """

    def __new__(cls, name: str) -> Calendar:
        """The calendar of a market; an unknown name raises ``ValueError`` listing the known ones."""
    def get_name(self) -> str:
        """The calendar's name."""
    def first_year(self) -> int:
        """The first year the calendar's rules hold for."""
    def last_year(self) -> int:
        """The last year the calendar's rules hold for."""
    def is_business_day(self, date: _Day) -> bool:
        """Whether the date is neither a weekend day nor a holiday."""
    def is_holiday(self, date: _Day) -> bool:
        """Whether the date is closed: a weekend day or a holiday."""
    def is_weekend(self, date: _Day) -> bool:
        """Whether the date falls on the calendar's weekend."""
    def adjust(self, date: _Day, convention: BusDayAdj | int = ...) -> Date:
        """The date adjusted to a business day (default ``BusDayAdj.Following``).

        >>> str(Calendar("TARGET").adjust("2024-12-25"))
        '2024-12-27'
        """
    def advance(
        self, date: _Day, period: _Period, convention: BusDayAdj | int = ..., end_of_month: bool = False
    ) -> Date:
        """The date moved by a period, then adjusted.

        ``"2B"`` counts business days; D and W calendar days; M and Y months
        (the day clamped to the month's length). With ``end_of_month``, a date
        on its month's last business day goes to the last business day of the
        target month.

        >>> str(Calendar("TARGET").advance("2024-12-24", "2B"))
        '2024-12-30'
        """
    def end_of_month(self, date: _Day) -> Date:
        """The last business day of the date's month."""
    def is_end_of_month(self, date: _Day) -> bool:
        """Whether the next business day is in another month."""
    def holidays(self, start: _Day, end: _Day, include_weekends: bool = False) -> list[Date]:
        """The holidays from start to end inclusive (with ``include_weekends``, every closed day)."""
    def business_days_between(
        self, start: _Day, end: _Day, include_first: bool = True, include_last: bool = False
    ) -> int:
        """Business days from start to end, negative when end is before start."""
    def with_holidays(self, added: Sequence[_Day] = (), removed: Sequence[_Day] = ()) -> Calendar:
        """This calendar with days added as holidays and others made business days."""
    @staticmethod
    def join(calendars: Sequence[Calendar], rule: Literal["any", "all"] = "any") -> Calendar:
        """A day is closed if it is closed in any (``"any"``) or in all (``"all"``) of the calendars."""
    @staticmethod
    def from_holidays(
        name: str, holidays: Sequence[_Day], first_year: int, last_year: int, weekend: Sequence[int] | None = None
    ) -> Calendar:
        """A calendar of a list of holidays over the years given; ``weekend`` lists the
        weekday codes (Monday 0 .. Sunday 6) of its weekend, Saturday and Sunday by default."""

@final
class DayCount:
    """The day-count conventions of :func:`year_fraction`."""

    Thirty360: ClassVar[DayCount]
    """30/360, US bond basis."""
    Thirty360E: ClassVar[DayCount]
    """30E/360, Eurobond basis."""
    Thirty360EIsda: ClassVar[DayCount]
    """30E/360 ISDA: the last day of February counts as the 30th, but at the termination date."""
    ActActIsda: ClassVar[DayCount]
    """Actual/Actual ISDA: days of each calendar year over that year's length."""
    ActActIcma: ClassVar[DayCount]
    """Actual/Actual ICMA: days over the reference period's days, times its length in years."""
    Act365: ClassVar[DayCount]
    """Actual/365 Fixed."""
    Act360: ClassVar[DayCount]
    """Actual/360."""
    Bus252: ClassVar[DayCount]
    """Business days of a calendar over 252."""
    def __int__(self) -> int:
        """The member's code."""

@final
class Schedule:
    """The dates of a schedule and the boundaries of its periods, as ``datetime64[D]`` arrays."""

    @property
    def dates(self) -> npt.NDArray[np.datetime64]:
        """The adjusted dates (datetime64[D])."""
    @property
    def unadjusted_dates(self) -> npt.NDArray[np.datetime64]:
        """The dates before adjustment."""
    @property
    def start_dates(self) -> npt.NDArray[np.datetime64]:
        """Adjusted start of each period."""
    @property
    def end_dates(self) -> npt.NDArray[np.datetime64]:
        """Adjusted end of each period."""
    @property
    def reference_start(self) -> npt.NDArray[np.datetime64]:
        """Unadjusted start of each period's reference period."""
    @property
    def reference_end(self) -> npt.NDArray[np.datetime64]:
        """Unadjusted end of each period's reference period."""
    @property
    def is_regular(self) -> npt.NDArray[np.bool_]:
        """Whether each period is a full tenor."""
    def __len__(self) -> int:
        """The number of dates."""

def schedule(
    effective: _Day,
    termination: _Day,
    tenor: _Period,
    calendar: Calendar,
    convention: BusDayAdj | int = ...,
    termination_convention: BusDayAdj | int | None = None,
    stub: StubType | int = ...,
    end_of_month: bool = False,
    first_date: _Day | None = None,
    next_to_last_date: _Day | None = None,
) -> Schedule:
    """The schedule from ``effective`` to ``termination`` by ``tenor``.

    Front stubs (``FrontShort``, ``FrontLong``, ``NoStub``) come from stepping
    back from the termination date, back stubs from stepping forward from the
    effective date; a long stub joins the short one to the next period,
    ``NoStub`` raises ``ValueError`` unless the tenor divides the span.
    ``first_date`` / ``next_to_last_date`` fix the ends of the regular part.
    The termination date is adjusted by ``termination_convention`` (default:
    ``convention``, itself ``BusDayAdj.Following`` by default).

    >>> s = schedule("2024-03-15", "2025-03-15", "6M", Calendar("TARGET"))
    >>> s.dates
    array(['2024-03-15', '2024-09-16', '2025-03-17'], dtype='datetime64[D]')
    """

def year_fraction(
    day_count: DayCount,
    start: _Days,
    end: _Days,
    calendar: Calendar | None = None,
    reference_start: _Days | None = None,
    reference_end: _Days | None = None,
    termination: _Day | None = None,
) -> Any:
    """Year fractions from ``start`` to ``end`` under ``day_count``, on dates or arrays.

    ``Bus252`` needs ``calendar``; ``ActActIcma`` takes the reference period
    (default: the span itself); ``Thirty360EIsda`` the termination date.

    >>> year_fraction(DayCount.Thirty360, "2024-01-31", "2024-07-31")
    0.5
    """

def calendar_names() -> list[str]:
    """The names ``Calendar(name)`` knows, in table order."""

def is_business_day(calendar: Calendar, dates: _Days) -> Any:
    """Whether each date is a business day of the calendar (bool, or a bool array for an array)."""

def is_holiday(calendar: Calendar, dates: _Days) -> Any:
    """Whether each date is closed: a weekend day or a holiday."""

def is_weekend(calendar: Calendar, dates: _Days) -> Any:
    """Whether each date falls on the calendar's weekend."""

def adjust(calendar: Calendar, dates: _Days, convention: BusDayAdj | int = ...) -> Any:
    """Each date adjusted to a business day by the ``BusDayAdj`` convention; the
    result has the input's kind (``vantorel.Date``, ``datetime.date``,
    ``numpy.datetime64``, or a ``datetime64[D]`` array)."""

def advance(
    calendar: Calendar, dates: _Days, period: _Period, convention: BusDayAdj | int = ..., end_of_month: bool = False
) -> Any:
    """Each date moved by ``period`` ("3M", "-2B" or a ``vantorel.Tenor``), then adjusted."""

def business_days_between(calendar: Calendar, start: _Days, end: _Days) -> Any:
    """Business days in [start, end) (negative when end is before start)."""

def holidays(calendar: Calendar, start: _Day, end: _Day, include_weekends: bool = False) -> npt.NDArray[np.datetime64]:
    """The calendar's holidays from ``start`` to ``end`` inclusive as ``datetime64[D]``."""


@final
class Compounding:
    """How a bond yield turns a time into a discount factor."""

    Simple: ClassVar[Compounding]
    """``1 / (1 + y t)``."""
    Compounded: ClassVar[Compounding]
    """``1 / (1 + y / f) ** (f t)`` at ``f`` compoundings a year."""
    Continuous: ClassVar[Compounding]
    """``1 / exp(y t)``."""
    SimpleThenCompounded: ClassVar[Compounding]
    """Simple up to ``t = 1 / f``, then Compounded."""
    def __int__(self) -> int:
        """The member's code."""

@final
class FixedLeg:
    """Fixed coupon periods: start, end and payment dates and the accruals (year fractions).

    Usually made by :func:`fixed_leg` from a schedule.
    """

    def __new__(
        cls, start_dates: Sequence[_Day], end_dates: Sequence[_Day], pay_dates: Sequence[_Day],
        accruals: Sequence[float], notional: float,
    ) -> FixedLeg:  # fmt: skip
        """The leg; lists of different sizes, a period not ending after it starts or paid before it
        starts, or an accrual that is not positive raise ``ValueError``."""
    def get_start_dates(self) -> list[Date]:
        """The periods' start dates."""
    def get_end_dates(self) -> list[Date]:
        """The periods' end dates."""
    def get_pay_dates(self) -> list[Date]:
        """The periods' payment dates."""
    def get_accruals(self) -> list[float]:
        """The periods' accruals."""
    def get_notional(self) -> float:
        """The notional of every period."""

@final
class FloatLeg:
    """Floating coupon periods. A period's rate is ``(P(start) / P(end) - 1) / fixing_accrual`` on the
    projection curve ``P``: a term index fixing over the period, or an overnight index compounded
    daily over it (which telescopes to the same ratio), plus the swap's spread."""

    def __new__(
        cls, start_dates: Sequence[_Day], end_dates: Sequence[_Day], pay_dates: Sequence[_Day],
        accruals: Sequence[float], fixing_accruals: Sequence[float], notional: float,
    ) -> FloatLeg:  # fmt: skip
        """The leg; checked as :class:`FixedLeg` is."""
    def get_start_dates(self) -> list[Date]:
        """The periods' start dates."""
    def get_end_dates(self) -> list[Date]:
        """The periods' end dates."""
    def get_pay_dates(self) -> list[Date]:
        """The periods' payment dates."""
    def get_accruals(self) -> list[float]:
        """The periods' accruals."""
    def get_fixing_accruals(self) -> list[float]:
        """The index's year fractions of the periods."""
    def get_notional(self) -> float:
        """The notional of every period."""

@final
class CurveInstrument:
    """A quoted instrument of a curve: a deposit or FRA (a simple rate over its period) or a swap
    (overnight or term; the fixed rate that values the fixed leg at the floating one)."""

    @staticmethod
    def deposit(name: str, start_date: _Day, end_date: _Day, accrual: float, rate: float) -> CurveInstrument:
        """A deposit quoting ``rate`` over its period; ``name`` names it in errors."""
    @staticmethod
    def fra(name: str, start_date: _Day, end_date: _Day, accrual: float, rate: float) -> CurveInstrument:
        """A forward rate agreement quoting ``rate`` over its period."""
    @staticmethod
    def swap(name: str, fixed_leg: FixedLeg, float_leg: FloatLeg, rate: float) -> CurveInstrument:
        """A swap quoting its fixed ``rate``."""
    def get_name(self) -> str:
        """The name given."""
    def get_kind(self) -> Literal["Deposit", "Swap"]:
        """``"Deposit"`` (deposits and FRAs) or ``"Swap"``."""
    def get_rate(self) -> float:
        """The quote."""
    def get_pillar_date(self) -> Date:
        """The last date the instrument needs: its node on the curve."""
    def get_start_date(self) -> Date | None:
        """A deposit's start (None for a swap)."""
    def get_end_date(self) -> Date | None:
        """A deposit's end (None for a swap)."""
    def get_accrual(self) -> float | None:
        """A deposit's accrual (None for a swap)."""
    def get_fixed_leg(self) -> FixedLeg | None:
        """A swap's fixed leg (None for a deposit)."""
    def get_float_leg(self) -> FloatLeg | None:
        """A swap's floating leg (None for a deposit)."""
    def implied_rate(self, projection_curve: YieldCurve, discount_curve: YieldCurve) -> float:
        """The rate the curves imply for the instrument."""

def bootstrap(
    curve_date: _Day, dc: DayCounter, interp_type: InterpType, instruments: Sequence[CurveInstrument],
    discount_curve: YieldCurve | None = None,
) -> YieldCurve:  # fmt: skip
    """The noded curve (factor 1 on ``curve_date``, one node per instrument's pillar) on which every
    instrument implies its quote within 1e-12.

    Pillars are solved one by one in the order given (their dates must increase), interpolated
    as ``interp_type`` (``Geometric``: log-linear factors, or ``Linear``) in ``dc``'s time. With
    ``discount_curve`` the curve only projects and cash flows are discounted on the curve given
    (dual curve). Errors name the instrument: ``ValueError`` for unsorted or duplicate pillars, an
    instrument maturing on or before the curve date, or a quote no discount factor meets (with
    the pillar and the bracket searched).
    """

@final
class FixedRateBond:
    """A bullet bond: a coupon rate on ``face`` over the periods of ``coupon_leg``, ``redemption``
    per 100 of face at the last payment. Prices, accrued interest and DV01 are per 100 of face;
    flows paying on or before the settlement date are left out."""

    def __new__(
        cls, coupon_leg: FixedLeg, coupon_rate: float, dc: DayCount, face: float, redemption: float,
        reference_start_dates: Sequence[_Day] | None = None, reference_end_dates: Sequence[_Day] | None = None,
    ) -> FixedRateBond:  # fmt: skip
        """The bond; ``dc`` accrues interest and, for ``ActActIcma``, uses each period's reference
        period (default: the period itself; a schedule's ``reference_start``/``reference_end``)."""
    def get_coupon_leg(self) -> FixedLeg:
        """The coupon periods (notional: the face)."""
    def get_coupon_rate(self) -> float:
        """The coupon rate."""
    def get_dc(self) -> DayCount:
        """The accrual day count."""
    def get_face(self) -> float:
        """The face amount."""
    def get_redemption(self) -> float:
        """The redemption per 100 of face."""
    def get_reference_start_dates(self) -> list[Date]:
        """The reference periods' starts."""
    def get_reference_end_dates(self) -> list[Date]:
        """The reference periods' ends."""
    def get_flow_dates(self) -> list[Date]:
        """Payment dates of the coupons, then of the redemption."""
    def get_flow_amounts(self) -> list[float]:
        """Amounts of the coupons, then the redemption."""
    def accrued(self, settlement_date: _Day) -> float:
        """Interest accrued at settlement in the coupon paid next."""
    def dirty_price(self, curve: YieldCurve, settlement_date: _Day) -> float:
        """Each flow discounted as ``P(pay) / P(settlement)``."""
    def clean_price(self, curve: YieldCurve, settlement_date: _Day) -> float:
        """The dirty price less the accrued interest."""
    def dirty_price_z(self, curve: YieldCurve, settlement_date: _Day, z_spread: float) -> float:
        """The dirty price with a continuously compounded spread over the curve's zero rates."""
    def dirty_price_at_yield(
        self, yield_rate: float, dc: DayCount, compounding: Compounding, frequency: int, settlement_date: _Day
    ) -> float:
        """The dirty price at a yield; flow times step from the settlement date through the coupon periods."""
    def clean_price_at_yield(
        self, yield_rate: float, dc: DayCount, compounding: Compounding, frequency: int, settlement_date: _Day
    ) -> float:
        """The clean price at a yield."""
    def yield_from_price(
        self, clean_price: float, dc: DayCount, compounding: Compounding, frequency: int, settlement_date: _Day
    ) -> float:
        """The yield of a clean price (Newton's method kept in a bracket, to the last bit)."""
    def macaulay_duration(
        self, yield_rate: float, dc: DayCount, compounding: Compounding, frequency: int, settlement_date: _Day
    ) -> float:
        """The flows' times weighted by their present values."""
    def modified_duration(
        self, yield_rate: float, dc: DayCount, compounding: Compounding, frequency: int, settlement_date: _Day
    ) -> float:
        """``-(dP/dy) / P``."""
    def convexity(
        self, yield_rate: float, dc: DayCount, compounding: Compounding, frequency: int, settlement_date: _Day
    ) -> float:
        """``(d2P/dy2) / P``."""
    def dv01(
        self, yield_rate: float, dc: DayCount, compounding: Compounding, frequency: int, settlement_date: _Day
    ) -> float:
        """The first-order fall of the dirty price for one basis point: modified duration x dirty price x 1e-4."""
    def z_spread(self, clean_price: float, curve: YieldCurve, settlement_date: _Day) -> float:
        """The continuously compounded spread over the curve that gives the clean price."""

@final
class Swap:
    """A fixed-against-floating swap (IBOR or overnight floating leg); a ``Payer`` pays the fixed leg."""

    def __new__(
        cls, flag: PayerReceiverFlag, fixed_leg: FixedLeg, float_leg: FloatLeg, fixed_rate: float, spread: float
    ) -> Swap:
        """The swap; ``spread`` is added to the floating rate."""
    def get_flag(self) -> PayerReceiverFlag:
        """Payer or Receiver."""
    def get_fixed_leg(self) -> FixedLeg:
        """The fixed leg."""
    def get_float_leg(self) -> FloatLeg:
        """The floating leg."""
    def get_fixed_rate(self) -> float:
        """The fixed rate."""
    def get_spread(self) -> float:
        """The floating leg's spread."""
    def npv(self, projection_curve: YieldCurve, discount_curve: YieldCurve) -> float:
        """Value on the discount curve's date: float less fixed for a payer."""
    def fair_rate(self, projection_curve: YieldCurve, discount_curve: YieldCurve) -> float:
        """The fixed rate of NPV 0: the floating leg's value over the annuity."""
    def fixed_leg_npv(self, projection_curve: YieldCurve, discount_curve: YieldCurve) -> float:
        """The fixed leg's value."""
    def float_leg_npv(self, projection_curve: YieldCurve, discount_curve: YieldCurve) -> float:
        """The floating leg's value, with the spread."""
    def fixed_leg_amounts(self) -> list[float]:
        """Each fixed period's amount: notional x fixed rate x accrual."""
    def float_leg_amounts(self, projection_curve: YieldCurve) -> list[float]:
        """Each floating period's projected amount: notional x (forward + spread) x accrual."""
    def annuity(self, discount_curve: YieldCurve) -> float:
        """Sum of notional x accrual x discount factor over the fixed leg."""
    def pv01(self, discount_curve: YieldCurve) -> float:
        """The annuity x 1e-4: the fixed leg's value of one basis point."""

def price_bonds(
    bonds: Sequence[FixedRateBond], curve: YieldCurve, settlement_date: _Day
) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64], npt.NDArray[np.float64]]:
    """Dirty prices, clean prices and accrued interest of many bonds off one curve (no GIL in the loop)."""

def value_swaps(
    swaps: Sequence[Swap], projection_curve: YieldCurve, discount_curve: YieldCurve
) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64], npt.NDArray[np.float64]]:
    """NPVs, fair rates and annuities of many swaps off one pair of curves (no GIL in the loop)."""

def fixed_leg(
    schedule: Schedule, day_count: DayCount, notional: float = 1.0, payment_lag: int = 0,
    calendar: Calendar | None = None,
) -> FixedLeg:  # fmt: skip
    """The fixed leg of a schedule: accruals under ``day_count`` (over each period's reference period
    for ``ActActIcma``), paid ``payment_lag`` business days of ``calendar`` after each period's end."""

def float_leg(
    schedule: Schedule, day_count: DayCount, notional: float = 1.0, payment_lag: int = 0,
    calendar: Calendar | None = None,
) -> FloatLeg:  # fmt: skip
    """The floating leg of a schedule, ``day_count`` being the index's."""
