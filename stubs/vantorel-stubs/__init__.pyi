"""Dates, calendars, day counters, curves and Black-Scholes, the same bits everywhere.

Every result is computed in a fixed order of IEEE-754 operations (no fused
multiply-add, no fast-math), so it is the same on every machine.

Conventions shared by every callable:

* Invalid input raises ``ValueError`` with an exact message that quotes the
  offending value in round brackets, e.g. ``Year (1898) must be >= 1899``.
* An argument of the wrong type raises ``TypeError`` naming the parameter
  (``argument 's': expected str, got int``) with the original error as
  ``__cause__``; an integer outside a parameter's range raises
  ``OverflowError: out of range integral type conversion attempted``.
* Conditions treated as impossible or unsupported raise
  ``native_runtime.FatalError``, which derives from ``BaseException``:
  ``except Exception`` does not catch it, and the module stays usable.
* Numerical functions answer out-of-domain input with NaN or infinities; the
  pricer answers invalid market input with ``None``.
* Instances are immutable and compare by identity unless the class says
  otherwise; no class can be subclassed.

The examples assume ``from vantorel import *``.
"""

from collections.abc import Callable, Sequence
from typing import ClassVar, Final, Never, NoReturn, SupportsFloat, SupportsIndex, final

__version__: Final[str]
"""The version of the module, ``"0.1.0"``."""

# Registration order of the module's attributes.
__all__ = [
    "__version__",
    "plot_function",
    "Calendar",
    "YearMonthDay",
    "Date",
    "DayCounter",
    "Tenor",
    "BlackScholesMetrics",
    "BlackScholes",
    "Interpolator",
    "YieldCurve",
    "BusDayAdj",
    "ExtrapType",
    "InterpType",
    "StubType",
    "TenorUnit",
    "PutCallFlag",
    "PayerReceiverFlag",
    "Weekday",
    "exp",
    "ln",
    "log10",
    "log2",
    "pow2",
    "sqrt",
    "sin",
    "cos",
    "tan",
    "erf",
    "erfc",
    "erf_inv",
    "erfc_inv",
]

# ---- plotting ---------------------------------------------------------------

def plot_function(
    func: Callable[[float], SupportsFloat | SupportsIndex],
    x0: float,
    x1: float,
    n: int = 100,
    grid: bool = True,
    show: bool = True,
    figsize: tuple[float, float] | None = None,
    **py_kwargs: object,
) -> None:
    """Sample ``func`` on an even grid and plot it with ``matplotlib.pyplot``.

    The sample points are ``x0 + i * (x1 - x0) / n`` for ``i`` in
    ``0 .. n-1``: ``x1`` itself is not sampled, and ``n=0`` calls nothing.
    matplotlib is imported at call time (``pip install "vantorel[plot]"``).

    :param func: called with one float; its result is converted with ``float()``.
    :param x0: first sample point.
    :param x1: end of the interval (excluded).
    :param n: number of sample points, a non-negative int.
    :param grid: draw grid lines (only ``True`` or ``False``).
    :param show: call ``pyplot.show()`` at the end (only ``True`` or ``False``).
    :param figsize: a tuple handed to ``pyplot.figure(figsize=...)``, or ``None``
        to draw on the current figure.
    :param py_kwargs: passed on to ``pyplot.plot``; a ``label`` keyword also places
        a legend just outside the upper right corner of the axes.
    :raises TypeError: for a bad argument (``n`` a float, ``grid`` an int,
        ``figsize`` a list), before anything is imported or drawn; exceptions
        from ``func`` or matplotlib propagate unchanged.
    :raises OverflowError: for a negative ``n``.

    >>> import matplotlib; matplotlib.use("Agg")
    >>> plot_function(erf, -3.0, 3.0, n=50, show=False, label="erf")
    """

# ---- dates ------------------------------------------------------------------

@final
class Calendar:
    """A business-day calendar: which dates are weekend days and which are business days.

    Two calendars exist, chosen by name: ``"VT_WEEK"`` (Saturday and Sunday
    are weekend days, every other date is a business day) and ``"VT_NONE"``
    (no weekends, every date is a business day). There are no holiday lists.
    ``repr`` and ``str`` give ``Calendar('VT_WEEK')``; equality and hash are
    by identity.

    >>> Calendar("VT_WEEK").is_business_day(Date(2024, 2, 10))   # a Saturday
    False
    """

    def __new__(cls, s: str) -> Calendar:
        """Build the calendar named ``s``, matched exactly and case-sensitively.

        :param s: ``"VT_WEEK"`` or ``"VT_NONE"``.
        :raises ValueError: ``Unknown calendar name (s)`` for any other text.
        :raises TypeError: ``argument 's': ...`` when ``s`` is not a str.
        """
    def get_name(self) -> str:
        """The calendar's name, ``"VT_WEEK"`` or ``"VT_NONE"``."""
    def is_business_day(self, date: Date) -> bool:
        """Whether ``date`` is a business day: not a weekend day (``VT_WEEK``), always (``VT_NONE``)."""
    def is_weekend(self, date: Date) -> bool:
        """Whether ``date`` is a Saturday or Sunday (``VT_WEEK``); never (``VT_NONE``)."""

@final
class YearMonthDay:
    """The validated year/month/day triple of a :class:`Date`, opaque to Python.

    Instances come only from :meth:`Date.get_ymd`; the class has no methods or
    attributes. Read the parts with :meth:`Date.year`, :meth:`Date.month` and
    :meth:`Date.day`.
    """

    def __new__(cls, *args: object, **kwargs: object) -> YearMonthDay:
        """Not callable: raises ``TypeError("No constructor defined")``."""

@final
class Date:
    """A Gregorian date from 1899-01-01 to 65535-12-31, held as a serial day number.

    The serial number counts days since 1899-12-30 (day 0): 1900-01-01 is 2,
    2000-01-01 is 36526. ``str`` gives ``2024-01-05`` and ``repr``
    ``Date('2024-01-05')``.

    Dates compare by identity: ``Date(2024, 1, 5) == Date(2024, 1, 5)`` is
    ``False``, ordering raises ``TypeError`` and the hash is the identity hash.
    Key, sort and compare dates by :meth:`to_int`:

    >>> days = [Date(2024, 3, 1), Date(2024, 1, 5)]
    >>> [str(d) for d in sorted(days, key=Date.to_int)]
    ['2024-01-05', '2024-03-01']
    >>> Date(2024, 1, 5).to_int() == Date("2024-01-05").to_int()
    True
    """

    def __new__(cls, *py_args: int | str) -> Date:
        """Build a date from ``(year, month, day)`` or from one string.

        Three ints: year (0 to 65535), month and day (0 to 255), then
        validated. One str of 10 characters ``YYYY?MM?DD`` (the separators at
        positions 4 and 7 are not examined) or 8 characters ``YYYYMMDD``.
        Keywords are not accepted.

        :raises ValueError: ``Year (1898) must be >= 1899``;
            ``Month (13) must be between 1 and 12``;
            ``Day (29) must be between 1 and 28, for year 2023 and month 2``;
            ``Need length of date string (9) to be 8 or 10``;
            ``Unable to parse date string (2024-1-5) into integers``;
            ``Expected the following signatures: (year: int, month: int, day: int)
            or (yyyymmdd: str), but have (2024.0, 1, 1)`` for any other arguments.
        :raises OverflowError: a part outside its integer range, e.g. ``Date(2024, 1, 256)``.

        >>> Date(2024, 1, 5), Date("2024-01-05"), Date("20240105")
        (Date('2024-01-05'), Date('2024-01-05'), Date('2024-01-05'))
        """
    def year(self) -> int:
        """The year, 1899 to 65535 (a method, not an attribute)."""
    def month(self) -> int:
        """The month, 1 to 12."""
    def day(self) -> int:
        """The day of the month, 1 to 31."""
    def to_int(self) -> int:
        """The serial day number: days since 1899-12-30, -363 to 23242572.

        The value to key, sort and compare dates by.

        >>> Date(2000, 1, 1).to_int()
        36526
        """
    def to_str(self) -> str:
        """The text form ``YYYY-MM-DD`` (years from 10000 on print five digits), as ``str(date)``."""
    def get_ymd(self) -> YearMonthDay:
        """A new, opaque :class:`YearMonthDay` holding the date's triple."""
    @staticmethod
    def is_leap_year(year: int) -> bool:
        """Whether ``year`` is a Gregorian leap year (any year 0 to 65535).

        :raises OverflowError: for a year outside 0 to 65535.

        >>> Date.is_leap_year(1900), Date.is_leap_year(2000)
        (False, True)
        """
    @staticmethod
    def days_in_month(year: int, month: int) -> int:
        """The number of days of ``month`` in ``year``: 28 to 31.

        :raises FatalError: ``Invalid month (13), need to be betwen 1 and 12``
            for a month outside 1 to 12.
        :raises OverflowError: for a year outside 0 to 65535 or a month outside 0 to 255.

        >>> Date.days_in_month(2024, 2)
        29
        """
    def weekday(self) -> Weekday:
        """The day of the week, a new :class:`Weekday` (``Monday`` is 0, ``Sunday`` 6).

        >>> Date(2000, 1, 1).weekday()
        Weekday.Saturday
        """
    def is_business_day(self, cal: Calendar) -> bool:
        """Whether the date is a business day of ``cal``, as ``cal.is_business_day(self)``."""
    def is_weekend(self, cal: Calendar) -> bool:
        """Whether the date is a weekend day of ``cal``, as ``cal.is_weekend(self)``."""
    def add_tenor(self, t: str) -> Date:
        """A new date moved by the tenor text ``t`` (``"3M"``, ``"-1Y"``, ``"2W"``, ``"10D"``).

        ``D`` and ``W`` move by calendar days and weeks. ``M`` and ``Y`` move
        the month or year and keep the day, clamped to the last day of the
        target month when it does not exist there (no end-of-month rule, no
        business-day adjustment). ``t`` must be a str, not a :class:`Tenor`.

        :raises ValueError: ``Invalid tenor string (x), need to be of the form
            '<count><unit>'``; ``Invalid tenor unit (m), can only have D, B, W, M, Y``.
        :raises FatalError: ``Cannot add TenorUnit::B without a calendar input``
            for business days; an empty string or one ending in a non-ASCII
            character; a result outside 1899-01-01 to 65535-12-31.

        >>> Date(2024, 1, 31).add_tenor("1M"), Date(2024, 2, 29).add_tenor("1Y")
        (Date('2024-02-29'), Date('2025-02-28'))
        """
    def __add__(self, n: int, /) -> Date:
        """``date + n``: the date ``n`` calendar days later (``n`` may be negative).

        ``n`` must be an int within signed 32 bits, else ``TypeError`` for
        unsupported operands. ``n + date`` is refused.

        :raises FatalError: for a result outside the date range, e.g.
            ``Date serial number (23242573) is out of range: the last date is
            65535-12-31`` or ``Year (1898) must be >= 1899``.

        >>> Date(2024, 2, 1) + 29
        Date('2024-03-01')
        """
    def __sub__(self, other: Date, /) -> int:
        """``d1 - d2``: the number of days from ``d2`` to ``d1``, negative when ``d1`` is earlier.

        ``date - 1`` is a ``TypeError``: write ``date + (-1)``.

        >>> Date(2024, 3, 1) - Date(2024, 2, 1)
        29
        """
    # int + Date and int - Date are refused at run time.
    def __radd__(self, value: Never, /) -> NoReturn:
        """``n + date`` is refused with ``TypeError``: write ``date + n``."""
    def __rsub__(self, value: Never, /) -> NoReturn:
        """``n - date`` is refused with ``TypeError``."""

@final
class DayCounter:
    """A day-count convention turning two dates into a year fraction.

    An enumeration like :class:`Weekday` (``int()`` gives the code, ``==``
    holds against members and ints, no hash, no ordering) with a constructor
    from the convention's name.

    >>> DayCounter("Act360") == DayCounter.Act360, DayCounter.Act360
    (True, DayCounter.Act360)
    """

    Act365: Final[DayCounter]
    """Actual/365 fixed: days / 365.0 (code 0)."""
    Act360: Final[DayCounter]
    """Actual/360: days / 360.0 (code 1)."""
    Thirty360: Final[DayCounter]
    """30/360 (code 2): named but not implemented; every fraction raises ``FatalError("not implemented")``."""
    def __new__(cls, s: str) -> DayCounter:
        """The member named ``s`` (``"Act365"``, ``"Act360"``, ``"Thirty360"``, case-sensitive).

        Returns a new object equal to, not identical with, the class attribute.

        :raises ValueError: ``Unknown day-counter name (s)`` for any other text.
        :raises TypeError: ``argument 's': ...`` when ``s`` is not a str.
        """
    def get_dcf(self, date1: Date, date2: Date) -> float:
        """The year fraction from ``date1`` to ``date2`` under this convention.

        ``(date2 - date1) / 365.0`` or ``/ 360.0``, negative when ``date2`` is
        earlier; no clamping.

        :raises FatalError: ``not implemented`` for ``Thirty360``.

        >>> DayCounter.Act360.get_dcf(Date(2024, 1, 1), Date(2024, 3, 31))
        0.25
        """
    def get_dcf_act365(self, date1: Date, date2: Date) -> float:
        """``(date2 - date1) / 365.0``, whatever this counter's member."""
    def get_dcf_act360(self, date1: Date, date2: Date) -> float:
        """``(date2 - date1) / 360.0``, whatever this counter's member."""
    # Always raises FatalError "not implemented" once the dates are converted.
    def get_dcf_30360(self, _date1: Date, _date2: Date) -> NoReturn:
        """Not implemented: checks that both arguments are dates, then raises ``FatalError("not implemented")``."""
    def __int__(self) -> int:
        """The code: 0 ``Act365``, 1 ``Act360``, 2 ``Thirty360``."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same member or to its code as an int; never raises."""
    def __ne__(self, other: object, /) -> bool:
        """The negation of ``==``."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class Tenor:
    """A signed length of time: a count (-32768 to 32767) and a unit, such as ``3M``.

    Units: ``D`` calendar days, ``B`` business days, ``W`` weeks, ``M``
    months, ``Y`` years (upper case only). ``str`` gives ``3M`` and ``repr``
    ``Tenor('3M')``; equality is by identity. Dates are moved by tenor text
    with :meth:`Date.add_tenor`.

    >>> t = Tenor("+03M")
    >>> t, t.count, t.unit
    (Tenor('3M'), 3, TenorUnit.M)
    """

    def __new__(cls, s: str) -> Tenor:
        """Parse ``s``: an optional sign and decimal digits, then one unit letter.

        :raises ValueError: ``Invalid tenor string (s), need to be of the form
            '<count><unit>'`` when the count is not a signed 16-bit number
            (checked first); ``Invalid tenor unit (c), can only have D, B, W, M, Y``.
        :raises FatalError: for an empty string or one ending in a non-ASCII character.
        :raises TypeError: ``argument 's': ...`` when ``s`` is not a str.
        """
    @property
    def count(self) -> int:
        """The signed count, -32768 to 32767."""
    @property
    def unit(self) -> TenorUnit:
        """The unit, a new :class:`TenorUnit` object on every read."""

# ---- interpolation and yield curves ----------------------------------------

@final
class Interpolator:
    """One-dimensional interpolation over strictly increasing x-nodes.

    ``Linear`` interpolates y linearly; ``Geometric`` interpolates
    log-linearly (``y[i] * (y[i+1] / y[i]) ** w``). ``CubicSpline`` and
    ``LogCubicSpline`` can be stored but raise ``FatalError`` when a value
    between nodes (or an extrapolated value) is asked of them.

    >>> lin = Interpolator([0, 1, 2], [0, 10, 30], InterpType.Linear, ExtrapType.Flat)
    >>> lin.interpolate(0.5), lin.interpolate(1.5), lin.interpolate(5)
    (5.0, 20.0, 30.0)
    """

    def __new__(
        cls,
        nodes_x: Sequence[float],
        nodes_y: Sequence[float],
        interp_type: InterpType,
        extrap_type: ExtrapType,
    ) -> Interpolator:
        """Copy the nodes and check them; y values are not validated.

        :param nodes_x: strictly increasing abscissae, at least one (any sequence but a str).
        :param nodes_y: ordinates, as many as ``nodes_x``.
        :param interp_type: the method between nodes.
        :param extrap_type: the behaviour outside ``[nodes_x[0], nodes_x[-1]]``.
        :raises ValueError: ``Need at least 1 x-node to create an Interpolator``,
            ``Need at least 1 y-node to create an Interpolator``,
            ``Need x-nodes & y-nodes to have the same size``,
            ``Need x-nodes to be sorted in ascending order and be unique``
            (checked in this order).
        """
    def interpolate(self, x: float) -> float:
        """The interpolated value at ``x``.

        One node: ``y[0]`` for every ``x``. The end nodes return their stored
        ordinate exactly. Outside the nodes ``Auto`` extends the first or last
        segment by the method, ``Flat`` returns the end ordinate, ``Disabled``
        returns NaN. ``Geometric`` does no sign checks: zero or mixed-sign y
        give NaN or infinities.

        :raises FatalError: ``Interpolation Type is not supported (yet)`` for the
            spline types; ``Should never end up here (linear)`` (or
            ``(geometric)``) for a NaN ``x`` with two or more nodes.
        """
    def get_nodes_x(self) -> list[float]:
        """A new list holding a copy of the x-nodes, as floats."""
    def get_nodes_y(self) -> list[float]:
        """A new list holding a copy of the y-nodes, as floats."""
    def get_interp_type(self) -> InterpType:
        """The interpolation method, a new :class:`InterpType`."""
    def get_extrap_type(self) -> ExtrapType:
        """The extrapolation behaviour, a new :class:`ExtrapType`."""

@final
class YieldCurve:
    """A discount curve: flat, or discount factors on dated nodes.

    Build one with :meth:`create_flat` or :meth:`create_noded`. Times are year
    fractions ``tau(curve_date, date)`` of the curve's :class:`DayCounter`;
    a ``Thirty360`` counter makes every query raise ``FatalError("not implemented")``.
    Rates are plain fractions (0.05 is five per cent).

    >>> curve = YieldCurve.create_flat(Date(2024, 1, 5), DayCounter.Act365, 0.05)
    >>> curve.get_df(Date(2025, 1, 4))
    0.951229424500714
    """

    def __new__(cls, *args: object, **kwargs: object) -> YieldCurve:
        """Not callable: raises ``TypeError("No constructor defined")``; use the factories."""
    @staticmethod
    def create_flat(curve_date: Date, dc: DayCounter, flat_rate: float) -> YieldCurve:
        """A flat curve: ``df(date) = exp(-flat_rate * tau(curve_date, date))``.

        :param curve_date: the valuation date, where the discount factor is 1.
        :param dc: the day counter of ``tau``.
        :param flat_rate: continuously compounded rate per year; any value, NaN included.
        """
    @staticmethod
    def create_noded(
        curve_date: Date,
        dc: DayCounter,
        node_dates: Sequence[Date],
        discount_factors: Sequence[float],
        interp_type: InterpType,
    ) -> YieldCurve:
        """A curve through dated discount factors, interpolated in ``tau``.

        ``Linear`` interpolates the discount factors linearly, ``Geometric``
        log-linearly (a constant continuously compounded forward between
        nodes). Beyond the nodes the curve extends its own method. Only the
        first factor is validated.

        :param node_dates: strictly increasing dates, the first equal to ``curve_date``.
        :param discount_factors: one per node date, the first exactly 1.0.
        :raises ValueError: ``Node dates (1) and discount factors (1) must have the
            same size & must have at least size 2``;
            ``First node date (2024-01-06) must be equal to the curve date (2024-01-05)``;
            ``First discount factor (0.99) must be equal to 1.0``;
            ``Node dates must be sorted in ascending order and be unique``.
        :raises FatalError: ``not implemented`` with a ``Thirty360`` counter.

        >>> d = Date(2024, 1, 5)
        >>> c = YieldCurve.create_noded(d, DayCounter.Act365, [d, d + 365], [1.0, 0.95], InterpType.Linear)
        >>> c.get_df(d + 73)
        0.99
        """
    def get_curve_date(self) -> Date:
        """The curve date, a new :class:`Date`."""
    def get_dc(self) -> DayCounter:
        """The curve's day counter, a new :class:`DayCounter`."""
    def get_df(self, date: Date) -> float:
        """The discount factor at ``date`` (1.0 at the curve date; dates before it are allowed)."""
    def get_fwd_df(self, start_date: Date, end_date: Date) -> float:
        """The forward discount factor ``df(end_date) / df(start_date)``."""
    def get_overnight_rate(self, date: Date) -> float:
        """The simple rate from ``date`` to the next calendar day.

        ``(df(date) / df(date + 1) - 1) / tau(date, date + 1)``.

        :raises FatalError: on 65535-12-31, which has no next day.
        """
    def get_fwd_rate(self, start_date: Date, end_date: Date) -> float:
        """The simple forward rate ``(df(start) / df(end) - 1) / tau(start, end)``.

        NaN when the two dates are the same day (0/0).
        """

# ---- enumerations -----------------------------------------------------------

@final
class BusDayAdj:
    """Business-day adjustment rule (an enumeration; no operation takes it yet).

    Like every vantorel enumeration: the members are class attributes,
    ``repr``/``str`` give ``BusDayAdj.Following``, ``int()`` gives the code,
    ``==`` holds against the same member or its code as an int (never
    against a float or another enumeration), there is no ordering and no
    hash (a member cannot be a dict key), and every member is true.

    >>> BusDayAdj.Following == 2, int(BusDayAdj.ModFollowing)
    (True, 3)
    """

    Unadjusted: Final[BusDayAdj]
    """Keep the date as it is (code 0)."""
    Preceding: Final[BusDayAdj]
    """Move to the previous business day (code 1)."""
    Following: Final[BusDayAdj]
    """Move to the next business day (code 2)."""
    ModFollowing: Final[BusDayAdj]
    """Next business day unless it falls in the next month (code 3)."""
    def __new__(cls, *args: object, **kwargs: object) -> BusDayAdj:
        """Not callable: raises ``TypeError("No constructor defined")``."""
    def __int__(self) -> int:
        """The code, 0 to 3."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same member or to its code as an int; never raises."""
    def __ne__(self, other: object, /) -> bool:
        """The negation of ``==``."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ExtrapType:
    """What an :class:`Interpolator` returns outside its nodes (an enumeration, see :class:`BusDayAdj`)."""

    Auto: Final[ExtrapType]
    """Extend the first or last segment with the interpolation method (code 0)."""
    Flat: Final[ExtrapType]
    """Return the end node's ordinate (code 1)."""
    Disabled: Final[ExtrapType]
    """Return NaN (code 2)."""
    def __new__(cls, *args: object, **kwargs: object) -> ExtrapType:
        """Not callable: raises ``TypeError("No constructor defined")``."""
    def __int__(self) -> int:
        """The code, 0 to 2."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same member or to its code as an int; never raises."""
    def __ne__(self, other: object, /) -> bool:
        """The negation of ``==``."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class InterpType:
    """Interpolation method of an :class:`Interpolator` or noded :class:`YieldCurve` (an enumeration, see :class:`BusDayAdj`)."""

    Linear: Final[InterpType]
    """Linear in y (code 0)."""
    Geometric: Final[InterpType]
    """Log-linear in y: for discount factors, a constant forward rate between nodes (code 1)."""
    CubicSpline: Final[InterpType]
    """Stored but not supported: values between nodes raise ``FatalError`` (code 2)."""
    LogCubicSpline: Final[InterpType]
    """Stored but not supported: values between nodes raise ``FatalError`` (code 3)."""
    def __new__(cls, *args: object, **kwargs: object) -> InterpType:
        """Not callable: raises ``TypeError("No constructor defined")``."""
    def __int__(self) -> int:
        """The code, 0 to 3."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same member or to its code as an int; never raises."""
    def __ne__(self, other: object, /) -> bool:
        """The negation of ``==``."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class StubType:
    """Where a schedule puts its irregular period (an enumeration, see :class:`BusDayAdj`; no operation takes it yet)."""

    FrontShort: Final[StubType]
    """A short first period (code 0)."""
    FrontLong: Final[StubType]
    """A long first period (code 1)."""
    BackShort: Final[StubType]
    """A short last period (code 2)."""
    BackLong: Final[StubType]
    """A long last period (code 3)."""
    NoStub: Final[StubType]
    """No irregular period (code 4)."""
    def __new__(cls, *args: object, **kwargs: object) -> StubType:
        """Not callable: raises ``TypeError("No constructor defined")``."""
    def __int__(self) -> int:
        """The code, 0 to 4."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same member or to its code as an int; never raises."""
    def __ne__(self, other: object, /) -> bool:
        """The negation of ``==``."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class TenorUnit:
    """The unit of a :class:`Tenor` (an enumeration, see :class:`BusDayAdj`)."""

    D: Final[TenorUnit]
    """Calendar days (code 0)."""
    B: Final[TenorUnit]
    """Business days (code 1); :meth:`Date.add_tenor` cannot add them without a calendar."""
    W: Final[TenorUnit]
    """Weeks of seven calendar days (code 2)."""
    M: Final[TenorUnit]
    """Months, the day clamped to the end of the target month (code 3)."""
    Y: Final[TenorUnit]
    """Years, 29 February clamped to 28 February (code 4)."""
    def __new__(cls, *args: object, **kwargs: object) -> TenorUnit:
        """Not callable: raises ``TypeError("No constructor defined")``."""
    def __int__(self) -> int:
        """The code, 0 to 4."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same member or to its code as an int; never raises."""
    def __ne__(self, other: object, /) -> bool:
        """The negation of ``==``."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class PutCallFlag:
    """Put or call, for :class:`BlackScholes` (an enumeration, see :class:`BusDayAdj`).

    Pricer arguments take only members: the int 1 is a ``TypeError``, not a call.
    """

    Put: Final[PutCallFlag]
    """A put option (code 0; sign -1 in the formulas)."""
    Call: Final[PutCallFlag]
    """A call option (code 1; sign +1 in the formulas)."""
    def __new__(cls, *args: object, **kwargs: object) -> PutCallFlag:
        """Not callable: raises ``TypeError("No constructor defined")``."""
    def __int__(self) -> int:
        """The code: 0 ``Put``, 1 ``Call``."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same member or to its code as an int; never raises."""
    def __ne__(self, other: object, /) -> bool:
        """The negation of ``==``."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class PayerReceiverFlag:
    """Payer or receiver side of a swap (an enumeration, see :class:`BusDayAdj`; no operation takes it yet)."""

    Payer: Final[PayerReceiverFlag]
    """Pays the fixed leg (code 0)."""
    Receiver: Final[PayerReceiverFlag]
    """Receives the fixed leg (code 1)."""
    def __new__(cls, *args: object, **kwargs: object) -> PayerReceiverFlag:
        """Not callable: raises ``TypeError("No constructor defined")``."""
    def __int__(self) -> int:
        """The code: 0 ``Payer``, 1 ``Receiver``."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same member or to its code as an int; never raises."""
    def __ne__(self, other: object, /) -> bool:
        """The negation of ``==``."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class Weekday:
    """Day of the week, as :meth:`Date.weekday` returns it (an enumeration, see :class:`BusDayAdj`).

    A returned weekday equals the class attribute but is a new object.

    >>> Date(2024, 1, 5).weekday() == Weekday.Friday, int(Weekday.Friday)
    (True, 4)
    """

    Monday: Final[Weekday]
    """Code 0."""
    Tuesday: Final[Weekday]
    """Code 1."""
    Wednesday: Final[Weekday]
    """Code 2."""
    Thursday: Final[Weekday]
    """Code 3."""
    Friday: Final[Weekday]
    """Code 4."""
    Saturday: Final[Weekday]
    """Code 5, a weekend day of ``Calendar("VT_WEEK")``."""
    Sunday: Final[Weekday]
    """Code 6, a weekend day of ``Calendar("VT_WEEK")``."""
    def __new__(cls, *args: object, **kwargs: object) -> Weekday:
        """Not callable: raises ``TypeError("No constructor defined")``."""
    def __int__(self) -> int:
        """The code, 0 (Monday) to 6 (Sunday)."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same member or to its code as an int; never raises."""
    def __ne__(self, other: object, /) -> bool:
        """The negation of ``==``."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

# ---- pricer -----------------------------------------------------------------

@final
class BlackScholesMetrics:
    """The value and six sensitivities of one option, read-only float attributes.

    Made only by the ``get_metrics`` methods of :class:`BlackScholes`.
    ``repr`` lists the fields with their shortest round-trip digits:
    ``BlackScholesMetrics(npv=1, delta=0, ...)``. No comparison, hash or pickling.

    >>> m = BlackScholes.get_metrics(100, 100, 0.05, 0.02, 1.0, PutCallFlag.Call, 0.2)
    >>> round(m.npv, 6), round(m.vega, 6)
    (9.227006, 37.901158)
    """

    def __new__(cls, *args: object, **kwargs: object) -> BlackScholesMetrics:
        """Not callable: raises ``TypeError("No constructor defined")``."""
    @property
    def npv(self) -> float:
        """The option value, in the currency of spot and strike."""
    @property
    def delta(self) -> float:
        """dV/dspot."""
    @property
    def gamma(self) -> float:
        """d2V/dspot2; +inf at the money at expiry."""
    @property
    def vega(self) -> float:
        """dV/dvol per 1.0 of volatility (divide by 100 for one vol point)."""
    @property
    def theta(self) -> float:
        """-dV/dtau per year (divide by 365 for one day)."""
    @property
    def rho_r(self) -> float:
        """dV/drate per 1.0 of rate (divide by 10000 for one basis point)."""
    @property
    def rho_q(self) -> float:
        """dV/ddiv_yield per 1.0 of dividend yield."""

@final
class BlackScholes:
    """Black-Scholes-Merton for a European option on an asset with a continuous dividend yield.

    A namespace of static methods. Each result comes three ways: from a year
    fraction ``tau`` (``npv``), from two dates (``npv_with_dates``, tau =
    calendar days / 365.0 whatever day counter is used elsewhere) and as the
    bare kernel on prepared values (``npv_impl``).

    Units: ``rate``, ``div_yield`` and ``vol`` are plain fractions (0.05 is
    five per cent) per year, continuously compounded; ``tau`` is in years.
    Sensitivities are plain derivatives: vega and the rhos per 1.0 of their
    input, theta per year.

    Invalid market input (``spot``, ``strike`` or ``vol`` below zero) gives
    ``None``, never an exception; zero is accepted; NaN flows through to NaN.
    ``tau < 0`` is an expired option (all results zero), ``tau == 0`` is at
    expiry (intrinsic value). ``pc_flag`` must be a :class:`PutCallFlag`.

    >>> BlackScholes.npv(100, 100, 0.05, 0.02, 1.0, PutCallFlag.Call, 0.2)
    9.227005508154036
    >>> print(BlackScholes.npv(100, -1, 0.05, 0.02, 1.0, PutCallFlag.Put, 0.2))
    None
    """

    def __new__(cls, *args: object, **kwargs: object) -> BlackScholes:
        """Not callable: raises ``TypeError("No constructor defined")``."""
    @staticmethod
    def get_metrics_with_dates(spot: float, strike: float, rate: float, div_yield: float, eval_date: Date, expiry_date: Date, pc_flag: PutCallFlag, vol: float) -> BlackScholesMetrics | None:
        """:meth:`get_metrics` with ``tau = (expiry_date - eval_date) / 365.0``."""
    @staticmethod
    def get_metrics(spot: float, strike: float, rate: float, div_yield: float, tau: float, pc_flag: PutCallFlag, vol: float) -> BlackScholesMetrics | None:
        """All seven closed-form results at the cost of about one :meth:`npv`; ``None`` for invalid input.

        Each field equals the single method of the same name, bit for bit.
        """
    @staticmethod
    def get_metrics_fd_with_dates(spot: float, strike: float, rate: float, div_yield: float, eval_date: Date, expiry_date: Date, pc_flag: PutCallFlag, vol: float) -> BlackScholesMetrics | None:
        """:meth:`get_metrics_fd` with ``tau = (expiry_date - eval_date) / 365.0``."""
    @staticmethod
    def get_metrics_fd(spot: float, strike: float, rate: float, div_yield: float, tau: float, pc_flag: PutCallFlag, vol: float) -> BlackScholesMetrics | None:
        """The seven results with the sensitivities by finite differences of :meth:`npv`; ``None`` for invalid input.

        Central differences with relative bumps: spot 0.0005 * spot (delta,
        gamma), vol 0.001 * vol (a forward bump of 0.0001 when vol <= 0.001),
        rate 0.001 * rate, div_yield 0.001 * div_yield; theta over one day
        either side (0.0 when tau is below one day). At a zero rate or yield
        the rho uses a fixed bump of 0.0001; at spot 0 delta is the closed
        form and gamma 0; at the money at expiry gamma is +inf.
        """
    @staticmethod
    def npv_with_dates(spot: float, strike: float, rate: float, div_yield: float, eval_date: Date, expiry_date: Date, pc_flag: PutCallFlag, vol: float) -> float | None:
        """:meth:`npv` with ``tau = (expiry_date - eval_date) / 365.0``."""
    @staticmethod
    def npv(spot: float, strike: float, rate: float, div_yield: float, tau: float, pc_flag: PutCallFlag, vol: float) -> float | None:
        """The option value; ``None`` when spot, strike or vol is below zero.

        :param spot: price of the underlying today.
        :param strike: strike price.
        :param rate: continuously compounded interest rate per year (0.05 for 5%).
        :param div_yield: continuous dividend yield per year.
        :param tau: time to expiry in years; negative means expired.
        :param pc_flag: ``PutCallFlag.Put`` or ``PutCallFlag.Call``.
        :param vol: volatility per square-root year (0.2 for 20%).
        """
    @staticmethod
    def npv_impl(spot: float, strike: float, chi: float, df_r: float, df_q: float, cdf_d1: float, cdf_d2: float) -> float:
        """Kernel: ``chi * ((spot * df_q) * cdf_d1 - (strike * df_r) * cdf_d2)``; validates nothing.

        ``chi`` is +1 for a call and -1 for a put, ``df_r = exp(-rate * tau)``,
        ``df_q = exp(-div_yield * tau)``, ``cdf_d1`` and ``cdf_d2`` the normal
        distribution function at ``chi * d1`` and ``chi * d2``.
        """
    @staticmethod
    def delta_with_dates(spot: float, strike: float, rate: float, div_yield: float, eval_date: Date, expiry_date: Date, pc_flag: PutCallFlag, vol: float) -> float | None:
        """:meth:`delta` with ``tau = (expiry_date - eval_date) / 365.0``."""
    @staticmethod
    def delta(spot: float, strike: float, rate: float, div_yield: float, tau: float, pc_flag: PutCallFlag, vol: float) -> float | None:
        """dV/dspot; ``None`` for invalid input (arguments as :meth:`npv`)."""
    @staticmethod
    def delta_impl(chi: float, df_q: float, cdf_d1: float) -> float:
        """Kernel: ``(chi * df_q) * cdf_d1``."""
    @staticmethod
    def gamma_with_dates(spot: float, strike: float, rate: float, div_yield: float, eval_date: Date, expiry_date: Date, pc_flag: PutCallFlag, vol: float) -> float | None:
        """:meth:`gamma` with ``tau = (expiry_date - eval_date) / 365.0``."""
    @staticmethod
    def gamma(spot: float, strike: float, rate: float, div_yield: float, tau: float, pc_flag: PutCallFlag, vol: float) -> float | None:
        """d2V/dspot2; ``None`` for invalid input.

        +inf when no time is left (``tau == 0``) and spot equals strike, or when
        ``vol == 0`` and the forward equals the strike; 0.0 elsewhere in those cases.
        """
    @staticmethod
    def gamma_impl(spot: float, vol: float, sqrt_tau: float, df_q: float, pdf_d1: float) -> float:
        """Kernel: ``(df_q * pdf_d1) / ((spot * vol) * sqrt_tau)``.

        When ``vol`` or ``sqrt_tau`` is 0: +inf for a positive ``pdf_d1``, else 0.0.
        """
    @staticmethod
    def vega_with_dates(spot: float, strike: float, rate: float, div_yield: float, eval_date: Date, expiry_date: Date, pc_flag: PutCallFlag, vol: float) -> float | None:
        """:meth:`vega` with ``tau = (expiry_date - eval_date) / 365.0``."""
    @staticmethod
    def vega(spot: float, strike: float, rate: float, div_yield: float, tau: float, pc_flag: PutCallFlag, vol: float) -> float | None:
        """dV/dvol per 1.0 of volatility (divide by 100 for one vol point); ``None`` for invalid input."""
    @staticmethod
    def vega_impl(spot: float, sqrt_tau: float, df_q: float, pdf_d1: float) -> float:
        """Kernel: ``sqrt_tau * (spot * (df_q * pdf_d1))``."""
    @staticmethod
    def theta_with_dates(spot: float, strike: float, rate: float, div_yield: float, eval_date: Date, expiry_date: Date, pc_flag: PutCallFlag, vol: float) -> float | None:
        """:meth:`theta` with ``tau = (expiry_date - eval_date) / 365.0``."""
    @staticmethod
    def theta(spot: float, strike: float, rate: float, div_yield: float, tau: float, pc_flag: PutCallFlag, vol: float) -> float | None:
        """-dV/dtau per year (divide by 365 for one day's decay); ``None`` for invalid input."""
    @staticmethod
    def theta_impl(spot: float, strike: float, rate: float, div_yield: float, vol: float, chi: float, sqrt_tau: float, df_r: float, df_q: float, pdf_d1: float, cdf_d1: float, cdf_d2: float) -> float:
        """Kernel: the rate term minus the density term plus the dividend term; 0.0 when ``sqrt_tau`` is 0.

        ``cdf_d2 * (strike * (rate * (-chi * df_r))) - vol * ((df_q * spot) * pdf_d1) / (sqrt_tau * 2)
        + cdf_d1 * (spot * (div_yield * (df_q * chi)))``.
        """
    @staticmethod
    def rho_r_with_dates(spot: float, strike: float, rate: float, div_yield: float, eval_date: Date, expiry_date: Date, pc_flag: PutCallFlag, vol: float) -> float | None:
        """:meth:`rho_r` with ``tau = (expiry_date - eval_date) / 365.0``."""
    @staticmethod
    def rho_r(spot: float, strike: float, rate: float, div_yield: float, tau: float, pc_flag: PutCallFlag, vol: float) -> float | None:
        """dV/drate per 1.0 of rate (divide by 10000 for one basis point); ``None`` for invalid input."""
    @staticmethod
    def rho_r_impl(strike: float, chi: float, tau: float, df_r: float, cdf_d2: float) -> float:
        """Kernel: ``strike * chi * tau * df_r * cdf_d2``, left to right."""
    @staticmethod
    def rho_q_with_dates(spot: float, strike: float, rate: float, div_yield: float, eval_date: Date, expiry_date: Date, pc_flag: PutCallFlag, vol: float) -> float | None:
        """:meth:`rho_q` with ``tau = (expiry_date - eval_date) / 365.0``."""
    @staticmethod
    def rho_q(spot: float, strike: float, rate: float, div_yield: float, tau: float, pc_flag: PutCallFlag, vol: float) -> float | None:
        """dV/ddiv_yield per 1.0 of dividend yield; ``None`` for invalid input."""
    @staticmethod
    def rho_q_impl(spot: float, chi: float, tau: float, df_q: float, cdf_d1: float) -> float:
        """Kernel: ``spot * (-chi) * tau * df_q * cdf_d1``, left to right."""

# ---- mathematical functions -------------------------------------------------

def exp(x: float) -> float:
    """e to the power ``x`` (libm); +inf on overflow, never raises."""
def ln(x: float) -> float:
    """Natural logarithm (libm): -inf at 0, NaN below 0, never raises."""
def log10(x: float) -> float:
    """Base-10 logarithm (libm): -inf at 0, NaN below 0."""
def log2(x: float) -> float:
    """Base-2 logarithm (libm): -inf at 0, NaN below 0."""
def pow2(x: float) -> float:
    """The square ``x * x`` (not two to the power ``x``).

    >>> pow2(3), pow2(-1.5)
    (9.0, 2.25)
    """
def sqrt(x: float) -> float:
    """IEEE-754 square root: NaN below 0 (no exception), ``sqrt(-0.0)`` is -0.0."""
def sin(x: float) -> float:
    """Sine of ``x`` in radians (libm)."""
def cos(x: float) -> float:
    """Cosine of ``x`` in radians (libm)."""
def tan(x: float) -> float:
    """Tangent of ``x`` in radians (libm)."""
def erf(x: float) -> float:
    """The error function, from fixed rational approximations.

    Within about 1e-10 relative of the correctly rounded value, and the same
    bits everywhere; odd, ``erf(±inf) = ±1``, NaN for NaN.

    >>> erf(1.0)
    0.8427007929427149
    """
def erfc(x: float) -> float:
    """The complementary error function ``1 - erf(x)``, without cancellation for large ``x``.

    ``erfc(+inf) = 0``, ``erfc(-inf) = 2``, NaN for NaN.

    >>> erfc(5.0)
    1.537459794465484e-12
    """
def erf_inv(x: float) -> float:
    """The inverse error function on (-1, 1): +inf from 1 up, -inf from -1 down, NaN for NaN.

    >>> erf_inv(0.5)
    0.4769362762044699
    """
def erfc_inv(x: float) -> float:
    """The inverse complementary error function on (0, 2): +inf from 0 down, -inf from 2 up.

    >>> erfc_inv(1e-20)
    6.601580622355143
    """
