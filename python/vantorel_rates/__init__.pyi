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

from vantorel import BusDayAdj, Date, StubType, Tenor

__all__ = [
    "Calendar", "DayCount", "Schedule", "schedule", "year_fraction",
    "is_business_day", "is_holiday", "is_weekend", "adjust", "advance", "business_days_between", "holidays",
    "calendar_names",
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

