"""NumPy ufuncs over vantorel's native kernels: every element is the scalar call's bits.

``vantorel_np`` ships in the same wheel as :mod:`vantorel` and needs numpy
2.0 or later (``pip install "vantorel[array]"``; without numpy the import
raises ``ImportError`` naming that extra). Each element of a result is one
call of the same native code the scalar API runs, so it has exactly the bits
of that call.

Operands and dtypes:

* Numbers are float64 (ints and narrower floats are cast under NumPy's
  ``same_kind`` rule; strings and objects raise NumPy's ``TypeError``).
* ``pc_flag`` is an int array of codes 0 (put) and 1 (call) (``int(PutCallFlag.Call)``
  is 1) or a bool array (``True`` is a call); any other code is a
  ``ValueError`` naming the first bad element, and a ``PutCallFlag`` member
  itself or a float is refused.
* Objects (a curve, a calendar, an interpolator, a day counter, a tenor) are
  operands like arrays: each is checked against the vantorel class the
  package imported and read in place while NumPy holds it.
* Every operand can be given by keyword; pandas columns with a nullable or
  pyarrow dtype work, an element with a missing operand being missing.
* Dates are ``datetime64[D]``: days since 1970-01-01. Other units are cast
  to days (a time of day is dropped), so pandas ``datetime64[ns]`` columns
  work as they are. Convert :class:`~vantorel.Date` objects with
  :func:`to_datetime64` and back with :func:`from_datetime64`.

Missing and invalid input gives no exception: NaT in any date operand makes
its element missing (NaT, NaN or ``False``, by the result's dtype), and the
pricer gives NaN where the scalar gives ``None`` (a negative spot, strike or
vol).

Broadcasting, ``out=``, ``where=``, casting and dispatch are NumPy's own: a
pandas Series in gives a Series out, and dask arrays are computed block by
block. ``where=`` without ``out=`` leaves the masked-out elements
uninitialised, as for any ufunc. The loops run without the GIL, so threads
working on separate arrays run in parallel.

Errors: a rule of the scalar API that raises (a date out of range,
``Thirty360``, a business-day tenor, a spline between nodes) stops the whole
call with ``errors="raise"`` (the default); ``errors="coerce"`` makes the
failing elements missing instead. The exception of the first failing element
in C order of the broadcast inputs is raised with a note
``"<name>: first failing element at index (i, ...)"`` (for a dask array the
index is within its block). Nothing is returned; an ``out=`` array may
already hold the elements computed before the failure. Most of these are
``native_runtime.FatalError``, which derives from ``BaseException``.

The examples assume ``import numpy as np`` and ``from vantorel_np import *``.
"""

from collections.abc import Iterable
from typing import Any, Literal, NamedTuple, overload

import numpy as np
import numpy.typing as npt

from vantorel import Calendar, Date, DayCounter, Interpolator, Tenor, YieldCurve


__all__ = [
    "npv", "delta", "gamma", "vega", "theta", "rho_r", "rho_q", "metrics", "metrics_fd", "Metrics",
    "implied_vol",
    "american_npv", "american_metrics", "american_implied_vol", "exercise_boundary", "cash_dividend_npv",
    "erf", "erfc", "erf_inv", "erfc_inv",
    "to_datetime64", "from_datetime64", "add_tenor", "weekday", "is_business_day", "is_weekend",
    "year_fraction", "tau_from_dates",
    "discount_factor", "fwd_df", "overnight_rate", "fwd_rate", "zero_rate", "interpolate",
    "simd_target",
]  # fmt: skip

simd_target: str
"""The instruction set of the loops that run in SIMD lanes: ``"avx512"``,
``"avx2"`` or ``"baseline"`` (SSE2 on x86-64), the widest this CPU runs, chosen
once at import. The environment variable ``VANTOREL_SIMD`` set to a narrower
one forces it (a wider one than the CPU runs gives the widest it runs; another
value makes the import fail). Every target gives the same bits: each lane runs
the scalar call's operations in the same order, with the same libm.
"""

# ---- the pricer ---------------------------------------------------------------

def npv(spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike, tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Black-Scholes value: ``npv(spot, strike, rate, div_yield, tau, pc_flag, vol)``.

    Elementwise :meth:`vantorel.BlackScholes.npv` of the broadcast operands, as
    float64; NaN where the scalar gives ``None`` (a negative ``spot``, ``strike``
    or ``vol``). ``rate`` and ``div_yield`` are continuously compounded per year,
    ``tau`` is in years (:func:`tau_from_dates` gives it from dates), ``vol`` per
    square-root year, ``pc_flag`` int codes 0 (put) and 1 (call) or bool (``True``:
    call). Accepts ``out=`` and ``where=``; never raises for values.

    >>> npv(100.0, np.array([90.0, 100.0, -1.0]), 0.05, 0.02, 1.0, np.array([True, False, True]), 0.2).round(6).tolist()
    [15.123708, 6.330081, nan]
    """
def delta(spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike, tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Black-Scholes delta ``dV/dspot``: ``delta(spot, strike, rate, div_yield, tau, pc_flag, vol)``.

    Elementwise :meth:`vantorel.BlackScholes.delta`, float64; NaN for a negative
    ``spot``, ``strike`` or ``vol``. Operands as for :data:`npv`.
    """
def gamma(spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike, tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Black-Scholes gamma ``d²V/dspot²``: ``gamma(spot, strike, rate, div_yield, tau, pc_flag, vol)``.

    Elementwise :meth:`vantorel.BlackScholes.gamma`, float64; infinite at the
    money when ``tau`` is 0; NaN for a negative ``spot``, ``strike`` or ``vol``.
    Operands as for :data:`npv`.
    """
def vega(spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike, tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Black-Scholes vega ``dV/dvol`` per 1.0 of vol: ``vega(spot, strike, rate, div_yield, tau, pc_flag, vol)``.

    Divide by 100 for the change per vol point. Elementwise
    :meth:`vantorel.BlackScholes.vega`, float64; NaN for a negative ``spot``,
    ``strike`` or ``vol``. Operands as for :data:`npv`.
    """
def theta(spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike, tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Black-Scholes theta ``-dV/dtau`` per year: ``theta(spot, strike, rate, div_yield, tau, pc_flag, vol)``.

    Divide by 365 for the change per calendar day. Elementwise
    :meth:`vantorel.BlackScholes.theta`, float64; NaN for a negative ``spot``,
    ``strike`` or ``vol``. Operands as for :data:`npv`.
    """
def rho_r(spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike, tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Black-Scholes ``dV/drate`` per 1.0 of rate: ``rho_r(spot, strike, rate, div_yield, tau, pc_flag, vol)``.

    Divide by 10000 for a basis point. Elementwise
    :meth:`vantorel.BlackScholes.rho_r`, float64; NaN for a negative ``spot``,
    ``strike`` or ``vol``. Operands as for :data:`npv`.
    """
def rho_q(spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike, tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Black-Scholes ``dV/ddiv_yield`` per 1.0 of yield: ``rho_q(spot, strike, rate, div_yield, tau, pc_flag, vol)``.

    Divide by 10000 for a basis point. Elementwise
    :meth:`vantorel.BlackScholes.rho_q`, float64; NaN for a negative ``spot``,
    ``strike`` or ``vol``. Operands as for :data:`npv`.
    """

# ---- implied volatility -------------------------------------------------------

def implied_vol(price: npt.ArrayLike, spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike, tau: npt.ArrayLike, pc_flag: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Black-Scholes implied volatility: ``implied_vol(price, spot, strike, rate, div_yield, tau, pc_flag)``.

    The vol at which the exact Black-Scholes-Merton formula gives ``price``,
    float64, accurate to the last digits where the price depends on the vol
    (see the precision page). Inside the no-arbitrage bounds (above the discounted
    intrinsic value, below ``spot * exp(-div_yield * tau)`` for a call and
    ``strike * exp(-rate * tau)`` for a put) there is always an answer; a price
    equal to the lower bound gives 0.0; a price outside the bounds, ``tau <= 0``,
    a negative ``spot`` or ``strike``, or a NaN operand gives NaN. Other operands
    as for :data:`npv`. Accepts ``out=`` and ``where=``; never raises for values.

    >>> float(implied_vol(npv(100.0, 105.0, 0.05, 0.02, 1.0, 1, 0.2), 100.0, 105.0, 0.05, 0.02, 1.0, 1).round(9))
    0.2
    """

# ---- error functions ----------------------------------------------------------
# ---- American exercise and cash dividends ----------------------------------------

def american_npv(
    spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike,
    tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any
) -> Any:
    """American value: ``american_npv(spot, strike, rate, div_yield, tau, pc_flag, vol)``.

    Operands, units, broadcasting and NaN rules as for :data:`npv` (``tau < 0``
    is expired, 0.0; ``tau == 0`` the intrinsic value). The early-exercise
    boundary is solved by fixed-point iteration on Chebyshev nodes (see the
    American options guide for the method and its measured accuracy). Where
    early exercise never pays (a call with ``div_yield <= 0 <= rate - div_yield``,
    a put with ``rate <= 0 <= div_yield - rate``) the value is :data:`npv`'s,
    bit for bit. An element whose iteration misses its tolerance, or whose error
    estimate misses the bar even at the finest scheme, is NaN and a
    ``RuntimeWarning`` names how many there are.

    >>> round(float(american_npv(100.0, 100.0, 0.05, 0.02, 1.0, 0, 0.2)), 8)
    6.66068623
    >>> bool(american_npv(100.0, 100.0, 0.05, 0.0, 1.0, 1, 0.2) == npv(100.0, 100.0, 0.05, 0.0, 1.0, 1, 0.2))
    True
    """

def american_metrics(
    spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike,
    tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any
) -> Metrics:
    """American value and sensitivities as a :class:`Metrics` of arrays.

    Units as :func:`metrics`. Delta and gamma differentiate the early-exercise
    representation at the solved boundary; theta is the pricing equation's
    (0 where the option is exercised); vega, rho_r and rho_q are central
    differences of re-solved values, good to about 1e-8 relative.

    >>> m = american_metrics(100.0, 100.0, 0.05, 0.02, 1.0, 0, 0.2)
    >>> round(float(m.delta), 6), round(float(m.vega), 4)
    (-0.423016, 38.0364)
    """

def american_implied_vol(
    price: npt.ArrayLike, spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike,
    div_yield: npt.ArrayLike, tau: npt.ArrayLike, pc_flag: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise",
    **kwargs: Any
) -> Any:
    """The vol at which :func:`american_npv` gives ``price``.

    0.0 at the zero-vol value, ``inf`` at the limit for a growing vol (the
    strike for a put, the spot for a call; ``strike * exp(-rate * tau)`` for a
    put under a negative rate, ``spot * exp(-div_yield * tau)`` for a call
    under a negative yield), NaN outside those bounds, for
    ``tau <= 0``, a negative spot or strike, or a NaN operand.

    >>> p = american_npv(100.0, 100.0, 0.05, 0.02, 1.0, 0, 0.2)
    >>> round(float(american_implied_vol(p, 100.0, 100.0, 0.05, 0.02, 1.0, 0)), 12)
    0.2
    """

def exercise_boundary(
    strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike, tau: npt.ArrayLike,
    pc_flag: npt.ArrayLike, vol: npt.ArrayLike, points: int = 101, *,
    errors: Literal["raise", "coerce"] = "raise"
) -> tuple[Any, Any]:
    """The early-exercise boundary as ``(times, spots)``, each shaped like the
    broadcast operands plus a last axis of ``points`` values.

    ``times`` are times to expiry from 0 to ``tau``; a put is exercised at or
    below ``spots``, a call at or above. NaN spots where no single boundary
    exists (no early exercise, or two boundaries under negative rates).
    ``points`` below 2 raises ``ValueError``; ``pc_flag`` is int codes 0 (put)
    and 1 (call) or bool, another code a ``ValueError`` whatever ``errors``
    says. Dask arrays give dask arrays (``times`` and ``spots`` chunked as the
    operands, the last axis one chunk).

    >>> t, s = exercise_boundary(100.0, 0.05, 0.02, 1.0, 0, 0.2, points=3)
    >>> t.tolist(), s.round(4).tolist()
    ([0.0, 0.5, 1.0], [100.0, 81.5876, 77.8489])
    """

def cash_dividend_npv(
    spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike,
    tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, div_times: npt.ArrayLike,
    div_amounts: npt.ArrayLike, *, american: npt.ArrayLike = True, tol: float = 1e-6, space_steps: int = 100,
    errors: Literal["raise", "coerce"] = "raise"
) -> Any:
    """Value with cash dividends, American (default) or European.

    ``div_times`` (years from now) and ``div_amounts`` are lists along their
    last axis: one list for the whole array, or one per option (NaN pads a
    shorter list). On an ex-date the spot falls by the amount, capped at the
    spot (a spot at 0 stays there); ex-dates after ``tau`` do not touch the
    option. Crank-Nicolson in log-spot with a Rannacher start at expiry and at
    every ex-date, the strike on a node, exact early exercise in each step,
    Richardson extrapolation over a grid and the grid twice as fine: from
    ``space_steps`` (as many time steps), the grids double until the
    extrapolation's error estimate is within ``tol`` relative (of the value,
    at least 1e-4 of the strike), at most 32 times; NaN and a
    ``RuntimeWarning`` counting them where that does not happen. ``tol=1e-8``
    is met by most options within that (grids of 1600 to 3200 steps, tenths
    of a second an option). ``tol=0``: the one extrapolation from
    ``space_steps``. ``ValueError`` names the argument for lists of unequal
    length, ``space_steps`` below 8 or a negative ``tol``. A list with
    ex-dates out of order or listed twice, before today or infinite, or a
    negative amount fails its option: ``ValueError`` naming the argument and
    the option's index with ``errors="raise"``, NaN there (without a warning)
    with ``errors="coerce"``. ``pc_flag`` is int codes 0 (put) and 1 (call) or
    bool, another code a ``ValueError`` whatever ``errors`` says. Dask arrays
    give a dask array, chunked as the options (a list is one chunk).

    >>> round(float(cash_dividend_npv(100.0, 100.0, 0.05, 0.0, 1.0, 0, 0.2, [0.25, 0.75], [1.0, 1.0])), 4)
    6.7909
    """

def erf(x: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """The error function, elementwise :func:`vantorel.erf` (float64 in and out).

    ``erf(±inf)`` is ±1, NaN gives NaN; never raises.

    >>> erf(np.array([0.0, 1.0, np.inf])).tolist()
    [0.0, 0.8427007929427149, 1.0]
    """
def erfc(x: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """The complementary error function ``1 - erf(x)``, elementwise :func:`vantorel.erfc`.

    Float64; ``erfc(+inf)`` is 0, ``erfc(-inf)`` is 2, NaN gives NaN; never raises.
    """
def erf_inv(x: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """The inverse error function on (-1, 1), elementwise :func:`vantorel.erf_inv`.

    Float64; +inf from 1 up, -inf from -1 down, NaN gives NaN; never raises.

    >>> erf_inv(np.array([0.5, 1.0])).tolist()
    [0.4769362762044699, inf]
    """
def erfc_inv(x: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """The inverse complementary error function on (0, 2), elementwise :func:`vantorel.erfc_inv`.

    Float64; +inf from 0 down, -inf from 2 up, NaN gives NaN; never raises.
    """

class Metrics(NamedTuple):
    """The seven Black-Scholes results of :func:`metrics` and :func:`metrics_fd`, one array each.

    The fields are in the order of :class:`vantorel.BlackScholesMetrics`;
    ``_asdict()`` gives the columns of a DataFrame (a pandas Series in keeps
    its index).

    >>> m = metrics(100.0, 100.0, 0.05, 0.02, 1.0, 1, 0.2)
    >>> m._fields
    ('npv', 'delta', 'gamma', 'vega', 'theta', 'rho_r', 'rho_q')
    """

    npv: Any
    """Option value."""
    delta: Any
    """``dV/dspot``."""
    gamma: Any
    """``d²V/dspot²``."""
    vega: Any
    """``dV/dvol`` per 1.0 of vol."""
    theta: Any
    """``-dV/dtau`` per year."""
    rho_r: Any
    """``dV/drate`` per 1.0 of rate."""
    rho_q: Any
    """``dV/ddiv_yield`` per 1.0 of dividend yield."""

def metrics(
    spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike,
    tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any
) -> Metrics:
    """All seven closed-form results at once: ``metrics(spot, strike, rate, div_yield, tau, pc_flag, vol)``.

    Elementwise :meth:`vantorel.BlackScholes.get_metrics` as a :class:`Metrics`
    of seven float64 arrays; every field has the bits of the single ufunc
    (``metrics(...).gamma`` equals ``gamma(...)``). A rejected element (a
    negative ``spot``, ``strike`` or ``vol``) is NaN in every field. Operands
    as for :data:`npv`; ``out=`` takes a tuple of seven arrays. Dask arrays
    give a :class:`Metrics` of dask arrays.

    >>> m = metrics(100.0, 100.0, 0.05, 0.02, 1.0, np.array([1, 0]), 0.2)
    >>> m.delta.round(6).tolist(), bool(m.gamma[0] == gamma(100.0, 100.0, 0.05, 0.02, 1.0, 1, 0.2))
    ([0.586851, -0.393348], True)
    """

def metrics_fd(
    spot: npt.ArrayLike, strike: npt.ArrayLike, rate: npt.ArrayLike, div_yield: npt.ArrayLike,
    tau: npt.ArrayLike, pc_flag: npt.ArrayLike, vol: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any
) -> Metrics:
    """The value and six finite-difference sensitivities: ``metrics_fd(spot, strike, rate, div_yield, tau, pc_flag, vol)``.

    Elementwise :meth:`vantorel.BlackScholes.get_metrics_fd` (central
    differences of ``npv``, a cross-check of :func:`metrics`), in the same
    units and with the same handling of rejected elements, ``out=`` and dask
    arrays as :func:`metrics`.
    """

# ---- dates --------------------------------------------------------------------

@overload
def to_datetime64(dates: Date | None) -> np.datetime64:
    """A :class:`~vantorel.Date` as a ``datetime64[D]`` scalar, ``None`` as NaT."""

@overload
def to_datetime64(dates: Iterable[Date | None]) -> npt.NDArray[np.datetime64]:
    """Dates as ``datetime64[D]``: one :class:`~vantorel.Date` as a scalar, an iterable of them as an array.

    ``None`` gives NaT. The value counts days since 1970-01-01, so it is the
    date's serial number (:meth:`~vantorel.Date.to_int`) minus 25569.

    :raises TypeError: ``expected a vantorel.Date or None, got int`` for any
        other item.

    >>> from vantorel import Date
    >>> to_datetime64(Date(2024, 1, 5))
    np.datetime64('2024-01-05')
    >>> to_datetime64([Date(2024, 1, 5), None])
    array(['2024-01-05',        'NaT'], dtype='datetime64[D]')
    """

def from_datetime64(values: npt.ArrayLike) -> Any:
    """``datetime64`` values as :class:`~vantorel.Date` objects.

    Values of any unit are cast to days first (a time of day is dropped,
    counting back from midnight before 1970). A scalar or 0-d array gives one
    ``Date`` (``None`` for NaT), an array gives nested lists of its shape.

    :param values: a ``datetime64`` scalar or array (a pandas datetime Series works).
    :raises TypeError: ``expected datetime64 values, got dtype int64`` for
        another dtype.
    :raises FatalError: the scalar's own text for a day outside 1899-01-01 to
        65535-12-31, e.g. ``Year (1000) must be >= 1899``.

    >>> from_datetime64(np.array(["2024-01-05", "NaT"], "M8[D]"))
    [Date('2024-01-05'), None]
    >>> from_datetime64(np.datetime64("2024-01-05T18:30"))
    Date('2024-01-05')
    """

def add_tenor(
    dates: npt.ArrayLike, tenor: str | Tenor | npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any
) -> Any:
    """Dates moved by a tenor, elementwise :meth:`vantorel.Date.add_tenor`; ``datetime64[D]``, NaT for NaT.

    ``tenor`` is a string (``"3M"``) or a :class:`~vantorel.Tenor` for every
    date, or an object array of Tenors broadcast against the dates. Months and years clamp to
    the end of a shorter month, with no end-of-month rule (2024-01-31 plus
    1M is 2024-02-29, plus 2M is 2024-03-31).

    :param kwargs: ``out=``, ``where=`` and NumPy's other ufunc keywords.
    :raises ValueError: for a tenor string the scalar refuses (``Invalid tenor
        unit (Q), can only have D, B, W, M, Y``); TypeError for an element
        that is not a Tenor, with the index note.
    :raises FatalError: ``Cannot add TenorUnit::B without a calendar input``
        for business days; a result outside the date range (``Year (65536)
        must be <= 65535``); both with the index note.

    >>> add_tenor(np.array(["2024-01-31", "NaT"], "M8[D]"), "1M")
    array(['2024-02-29',        'NaT'], dtype='datetime64[D]')
    >>> from vantorel import Tenor
    >>> add_tenor(np.datetime64("2024-01-31"), np.array([Tenor("1M"), Tenor("2M")])).tolist()
    [datetime.date(2024, 2, 29), datetime.date(2024, 3, 31)]
    """

def weekday(dates: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Weekday codes of dates, Monday 0 to Sunday 6, as float64 (so that NaT can give NaN).

    The codes are those of :class:`~vantorel.Weekday`. Accepts ``out=`` and ``where=``.

    :raises FatalError: for a day outside 1899-01-01 to 65535-12-31
        (``Year (1000) must be >= 1899``), with the index note.

    >>> weekday(np.array(["2024-01-05", "2024-01-07", "NaT"], "M8[D]")).tolist()
    [4.0, 6.0, nan]
    """

def is_business_day(dates: npt.ArrayLike, calendar: Calendar, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Whether each date is a business day of ``calendar``, as a bool array; ``False`` for NaT.

    Elementwise :meth:`vantorel.Calendar.is_business_day`. Accepts ``out=`` and ``where=``.

    :raises TypeError: ``expected a vantorel.Calendar, got str`` for anything
        but a :class:`~vantorel.Calendar`.
    :raises FatalError: for a day outside the date range, with the index note.

    >>> from vantorel import Calendar
    >>> is_business_day(np.array(["2024-01-05", "2024-01-06", "NaT"], "M8[D]"), Calendar("VT_WEEK")).tolist()
    [True, False, False]
    """

def is_weekend(dates: npt.ArrayLike, calendar: Calendar, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Whether each date is a weekend day of ``calendar``, as a bool array; ``False`` for NaT.

    Elementwise :meth:`vantorel.Calendar.is_weekend` (Saturday and Sunday for
    ``VT_WEEK``, never for ``VT_NONE``). Accepts ``out=`` and ``where=``.

    :raises TypeError: ``expected a vantorel.Calendar, got str`` for anything
        but a :class:`~vantorel.Calendar`.
    :raises FatalError: for a day outside the date range, with the index note.
    """

def year_fraction(start: npt.ArrayLike, end: npt.ArrayLike, day_counter: DayCounter, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """The year fraction from ``start`` to ``end`` under ``day_counter``, float64; NaN for NaT.

    Elementwise :meth:`vantorel.DayCounter.get_dcf`: ``Act365`` counts days
    over 365, ``Act360`` over 360; negative when ``end`` is before ``start``.
    Accepts ``out=`` and ``where=``.

    :raises TypeError: ``expected a vantorel.DayCounter, got str`` for anything
        but a :class:`~vantorel.DayCounter` member.
    :raises FatalError: ``not implemented`` for ``Thirty360`` (at the first
        element that is not NaT), with the index note.

    >>> from vantorel import DayCounter
    >>> year_fraction(np.datetime64("2024-01-01"), np.array(["2024-03-31", "NaT"], "M8[D]"), DayCounter.Act360).tolist()
    [0.25, nan]
    """

def tau_from_dates(eval_dates: npt.ArrayLike, expiry_dates: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """Calendar days from ``eval_dates`` to ``expiry_dates`` over 365.0, float64; NaN for NaT.

    The ``tau`` the pricer's ``_with_dates`` methods use, whatever day counter
    is used elsewhere: ``npv(..., tau_from_dates(e, x), ...)`` has the bits of
    :meth:`vantorel.BlackScholes.npv_with_dates`. Accepts ``out=`` and ``where=``.

    :raises FatalError: for a day outside the date range, with the index note.

    >>> tau_from_dates(np.datetime64("2024-01-05"), np.array(["2025-01-04", "2024-01-05"], "M8[D]")).tolist()
    [1.0, 0.0]
    """

# ---- curves and interpolation -------------------------------------------------

def discount_factor(curve: YieldCurve, dates: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """The discount factor at each date, elementwise :meth:`vantorel.YieldCurve.get_df`; float64, NaN for NaT.

    1.0 at the curve date; dates before it are allowed. Accepts ``out=`` and
    ``where=``. The curve is read in place for the length of the call.

    :raises TypeError: ``expected a vantorel.YieldCurve, got Calendar`` for
        anything but a :class:`~vantorel.YieldCurve`.
    :raises FatalError: ``not implemented`` for a ``Thirty360`` curve; a day
        outside the date range; both with the index note.

    >>> from vantorel import Date, DayCounter, YieldCurve
    >>> curve = YieldCurve.create_flat(Date(2024, 1, 5), DayCounter.Act365, 0.05)
    >>> discount_factor(curve, np.array(["2024-01-05", "2025-01-04", "NaT"], "M8[D]")).tolist()
    [1.0, 0.951229424500714, nan]
    """

def fwd_df(curve: YieldCurve, start: npt.ArrayLike, end: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """The forward discount factor ``df(end) / df(start)`` per pair of dates; float64, NaN for NaT.

    Elementwise :meth:`vantorel.YieldCurve.get_fwd_df`. Accepts ``out=`` and ``where=``.

    :raises TypeError: ``expected a vantorel.YieldCurve, got ...`` for another object.
    :raises FatalError: as :func:`discount_factor`, with the index note.
    """

def overnight_rate(curve: YieldCurve, dates: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """The simple rate from each date to the next calendar day; float64, NaN for NaT.

    Elementwise :meth:`vantorel.YieldCurve.get_overnight_rate`. Accepts ``out=`` and ``where=``.

    :raises TypeError: ``expected a vantorel.YieldCurve, got ...`` for another object.
    :raises FatalError: ``Date serial number (23242573) is out of range: the
        last date is 65535-12-31`` on 65535-12-31, which has no next day; as
        :func:`discount_factor` otherwise; with the index note.
    """

def fwd_rate(curve: YieldCurve, start: npt.ArrayLike, end: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """The simple forward rate ``(df(start) / df(end) - 1) / tau(start, end)``; float64.

    Elementwise :meth:`vantorel.YieldCurve.get_fwd_rate`; NaN for NaT and
    where ``start`` and ``end`` are the same day. Accepts ``out=`` and ``where=``.

    :raises TypeError: ``expected a vantorel.YieldCurve, got ...`` for another object.
    :raises FatalError: as :func:`discount_factor`, with the index note.
    """

def zero_rate(curve: YieldCurve, dates: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """The continuously compounded zero rate ``-ln(df(date)) / tau(curve_date, date)``; float64.

    ``tau`` is the curve's own day counter from its curve date. At the curve
    date itself this is 0/0, NaN; NaN for NaT. A flat curve gives its rate
    back. Accepts ``out=`` and ``where=``.

    :raises TypeError: ``expected a vantorel.YieldCurve, got ...`` for another object.
    :raises FatalError: as :func:`discount_factor`, with the index note.

    >>> from vantorel import Date, DayCounter, YieldCurve
    >>> curve = YieldCurve.create_flat(Date(2024, 1, 5), DayCounter.Act365, 0.05)
    >>> zero_rate(curve, np.array(["2024-01-05", "2025-01-04"], "M8[D]")).round(12).tolist()
    [nan, 0.05]
    """

def interpolate(interpolator: Interpolator, xs: npt.ArrayLike, *, errors: Literal["raise", "coerce"] = "raise", **kwargs: Any) -> Any:
    """The interpolated value at each x, elementwise :meth:`vantorel.Interpolator.interpolate`; float64.

    Outside the nodes the interpolator's :class:`~vantorel.ExtrapType`
    applies (``Disabled`` gives NaN). Accepts ``out=`` and ``where=``.

    :raises TypeError: ``expected a vantorel.Interpolator, got ...`` for another object.
    :raises FatalError: ``Interpolation Type is not supported (yet)`` for a
        spline type; ``Should never end up here (linear)`` (or ``(geometric)``)
        for a NaN x with two or more nodes; both with the index note.

    >>> from vantorel import ExtrapType, Interpolator, InterpType
    >>> lin = Interpolator([0, 1, 2], [0, 10, 30], InterpType.Linear, ExtrapType.Flat)
    >>> interpolate(lin, np.array([0.5, 1.5, 5.0])).tolist()
    [5.0, 20.0, 30.0]
    """
