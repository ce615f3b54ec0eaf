"""NumPy ufuncs over vantorel's native kernels: every element is the scalar call's bits.

Pricer, error functions: ufuncs (``metrics``/``metrics_fd`` are gufuncs wrapped to
return a named tuple). Dates, calendars, curves and interpolators: thin functions
over ufuncs that take a handle to the object's native value for the duration of the
call; dask arrays go through ``dask.array.map_blocks`` with the object itself.
Importing the package registers picklers for vantorel's classes (copyreg), so
its objects travel to process pools and Dask workers.

A core failure inside a loop (a date out of range, ``Thirty360``, an unsupported
interpolation) stops the iteration; the first failing element, in C order of the
broadcast inputs, is then evaluated by the scalar API, whose exception is raised
with a note naming that index. Nothing is returned; an ``out=`` array may already
hold the elements computed before the failure.
"""

from __future__ import annotations

try:
    import numpy as np
except ImportError as exc:  # pragma: no cover - exercised in a subprocess
    raise ImportError(
        "vantorel_np needs numpy >= 2.0: install the extra with pip install 'vantorel[array]'"
    ) from exc

import warnings
from collections.abc import Callable, Iterable
from typing import Any, NamedTuple

import vantorel as _vt

from . import _pickling
from . import _ufuncs as _u
from ._ufuncs import delta, erf, erf_inv, erfc, erfc_inv, gamma, implied_vol, npv, rho_q, rho_r, theta, vega
from .dask import TaskFatalError, fatal_guard

_pickling.register()

__all__ = [
    "npv", "delta", "gamma", "vega", "theta", "rho_r", "rho_q", "metrics", "metrics_fd", "Metrics",
    "implied_vol",
    "american_npv", "american_metrics", "american_implied_vol", "exercise_boundary", "cash_dividend_npv",
    "erf", "erfc", "erf_inv", "erfc_inv",
    "to_datetime64", "from_datetime64", "add_tenor", "weekday", "is_business_day", "is_weekend",
    "year_fraction", "tau_from_dates",
    "discount_factor", "fwd_df", "overnight_rate", "fwd_rate", "zero_rate", "interpolate",
]  # fmt: skip

# Serial day 0 is 1899-12-30; datetime64[D] counts from 1970-01-01, serial 25569.
_UNIX_EPOCH = 25569
_SERIAL_ZERO = _pickling.SERIAL_ZERO


class Metrics(NamedTuple):
    """The seven results of ``get_metrics`` in field order, one array each."""

    npv: Any
    delta: Any
    gamma: Any
    vega: Any
    theta: Any
    rho_r: Any
    rho_q: Any


# NumPy reports no signature for a gufunc whose core dimensions are all scalars,
# so dask does not dispatch it by itself: dask arrays go to apply_gufunc.
_SCALARS_7_TO_7 = ",".join(["()"] * 7) + "->" + ",".join(["()"] * 7)


def _seven(ufunc: Any, args: tuple[Any, ...], kwargs: dict[str, Any]) -> Metrics:
    if any(_is_dask(a) for a in args):
        import dask.array as da

        return Metrics(*da.apply_gufunc(ufunc, _SCALARS_7_TO_7, *args, output_dtypes=[float] * 7, **kwargs))
    return Metrics(*ufunc(*args, **kwargs))


def metrics(*args: Any, **kwargs: Any) -> Metrics:
    """metrics(spot, strike, rate, div_yield, tau, pc_flag, vol): ``get_metrics`` over arrays."""
    return _seven(_u.metrics, args, kwargs)


def metrics_fd(*args: Any, **kwargs: Any) -> Metrics:
    """metrics_fd(spot, strike, rate, div_yield, tau, pc_flag, vol): ``get_metrics_fd`` over arrays."""
    return _seven(_u.metrics_fd, args, kwargs)


# ---- American exercise and cash dividends -----------------------------------------


def _warn_missed(name: str, result: Any, numbers: tuple[Any, ...], nonnegative: tuple[Any, ...]) -> Any:
    """Warn when an element with finite, valid operands came back NaN: its solver
    missed its tolerance. Returns result unchanged."""
    missing = np.isnan(result)
    if not np.any(missing):
        return result
    ok = np.ones(np.shape(result), dtype=bool)
    for a in numbers:
        ok &= np.isfinite(np.asarray(a, dtype=float))
    for a in nonnegative:
        ok &= np.asarray(a, dtype=float) >= 0
    count = int(np.count_nonzero(missing & ok))
    if count:
        warnings.warn(f"{name}: {count} element(s) missed the solver tolerance and are NaN", RuntimeWarning, stacklevel=3)
    return result


def american_npv(
    spot: Any, strike: Any, rate: Any, div_yield: Any, tau: Any, pc_flag: Any, vol: Any, /, **kwargs: Any
) -> Any:
    """american_npv(spot, strike, rate, div_yield, tau, pc_flag, vol): the American value."""
    args = (spot, strike, rate, div_yield, tau, pc_flag, vol)
    return _warn_missed("american_npv", _u.american_npv(*args, **kwargs), args[:5] + (vol,), (spot, strike, vol))


def american_metrics(*args: Any, **kwargs: Any) -> Metrics:
    """american_metrics(spot, strike, rate, div_yield, tau, pc_flag, vol): value and six sensitivities."""
    m = _seven(_u.american_metrics, args, kwargs)
    if len(args) == 7 and not any(_is_dask(a) for a in args):
        _warn_missed("american_metrics", m.npv, args[:5] + (args[6],), (args[0], args[1], args[6]))
    return m


def american_implied_vol(
    price: Any, spot: Any, strike: Any, rate: Any, div_yield: Any, tau: Any, pc_flag: Any, /, **kwargs: Any
) -> Any:
    """american_implied_vol(price, spot, strike, rate, div_yield, tau, pc_flag): the vol of an American price."""
    return _u.american_implied_vol(price, spot, strike, rate, div_yield, tau, pc_flag, **kwargs)


def exercise_boundary(
    strike: Any, rate: Any, div_yield: Any, tau: Any, pc_flag: Any, vol: Any, /, points: int = 101
) -> tuple[Any, Any]:
    """exercise_boundary(strike, rate, div_yield, tau, pc_flag, vol, points=101) -> (times, spots)."""
    if int(points) < 2:
        raise ValueError(f"points ({points}) must be >= 2")
    shape = np.broadcast_shapes(*(np.shape(a) for a in (strike, rate, div_yield, tau, pc_flag, vol)))
    times = np.empty((*shape, int(points)))
    spots = np.empty((*shape, int(points)))
    flag = np.asarray(pc_flag).astype(np.int64)
    _u.exercise_boundary(strike, rate, div_yield, tau, flag, vol, out=(times, spots))
    return times, spots


def _dividend_lists(div_times: Any, div_amounts: Any) -> tuple[Any, Any]:
    """The lists as float arrays (last axis: one list), checked. NaN pads a list
    at its end (a NaN time or amount drops that entry)."""
    t = np.atleast_1d(np.asarray(div_times, dtype=float))
    a = np.atleast_1d(np.asarray(div_amounts, dtype=float))
    if t.shape[-1] != a.shape[-1]:
        raise ValueError(f"div_amounts: {a.shape[-1]} amounts for {t.shape[-1]} ex-dates in div_times")
    used = ~(np.isnan(t) | np.isnan(a))
    if np.any(used & (a < 0)):
        raise ValueError("div_amounts: a negative amount")
    if np.any(used & ((t < 0) | np.isinf(t))):
        raise ValueError("div_times: an ex-date before today or infinite")
    # Strictly increasing over the entries in use: an ex-date listed twice or out of order is refused.
    filled = np.where(used, t, np.inf)
    prev = np.maximum.accumulate(np.where(used, t, -np.inf), axis=-1)
    if np.any(used[..., 1:] & (filled[..., 1:] <= prev[..., :-1])):
        raise ValueError("div_times: ex-dates must be strictly increasing (one is out of order or listed twice)")
    return t, a


def cash_dividend_npv(
    spot: Any, strike: Any, rate: Any, div_yield: Any, tau: Any, pc_flag: Any, vol: Any,
    div_times: Any, div_amounts: Any, /, *, american: Any = True, space_steps: int = 200,
) -> Any:
    """cash_dividend_npv(spot, strike, rate, div_yield, tau, pc_flag, vol, div_times, div_amounts,
    *, american=True, space_steps=200): the value with cash dividends."""
    if int(space_steps) < 8:
        raise ValueError(f"space_steps ({space_steps}) must be >= 8")
    t, a = _dividend_lists(div_times, div_amounts)
    flag = np.asarray(pc_flag).astype(np.int64)
    result = _u.cash_dividend_npv(
        spot, strike, rate, div_yield, tau, flag, vol, np.asarray(american, dtype=bool), t, a, int(space_steps)
    )
    return _warn_missed("cash_dividend_npv", result, (spot, strike, rate, div_yield, tau, vol), (spot, strike, vol))


def _is_dask(a: Any) -> bool:
    return hasattr(a, "__dask_graph__")


# ---- dates <-> datetime64[D] --------------------------------------------------------


def _days(d: _vt.Date | None) -> np.datetime64:
    if d is None:
        return np.datetime64("NaT", "D")
    if not isinstance(d, _vt.Date):
        raise TypeError(f"expected a vantorel.Date or None, got {type(d).__name__}")
    return np.datetime64(d.to_int() - _UNIX_EPOCH, "D")


def to_datetime64(dates: _vt.Date | None | Iterable[_vt.Date | None]) -> Any:
    """A Date (None: NaT) as a datetime64[D] scalar, a sequence of them as an array."""
    if dates is None or isinstance(dates, _vt.Date):
        return _days(dates)
    return np.array([_days(d) for d in dates], dtype="M8[D]")


def _date(day: Any) -> _vt.Date:
    """The vantorel Date of one datetime64 element; out of range: the scalar's FatalError."""
    return _SERIAL_ZERO + (int(np.datetime64(day, "D").astype(np.int64)) + _UNIX_EPOCH)


def from_datetime64(values: Any) -> Any:
    """datetime64 values (any unit, cast to days) as Dates: one Date (None for NaT), or
    nested lists shaped like the array."""
    days = np.asarray(values)
    if days.dtype.kind != "M":
        raise TypeError(f"expected datetime64 values, got dtype {days.dtype}")
    days = days.astype("M8[D]")
    dates = np.empty(days.shape, dtype=object)
    for index, day in np.ndenumerate(days):
        dates[index] = None if np.isnat(day) else _date(day)
    return dates.item() if dates.ndim == 0 else dates.tolist()


# ---- the one helper behind every function that takes objects or can fail ---------


def _apply(
    public: Callable[..., Any],
    objects: tuple[Any, ...],
    ufunc: Any,
    lead: tuple[Any, ...],
    arrays: tuple[Any, ...],
    kwargs: dict[str, Any],
    scalar: Callable[..., Any],
) -> Any:
    """ufunc(*lead, *arrays, **kwargs), where lead holds handles or codes made from
    objects (the caller keeps objects alive until the call returns). Dask arrays run
    public(*objects, *blocks) block by block, the objects themselves in the graph
    (they pickle), the tasks guarded so that a FatalError ends them as TaskFatalError.
    An element failure re-raises the scalar's exception for the first failing element."""
    if any(_is_dask(a) for a in arrays):
        import dask.array as da

        # The non-scalar operands become dask arrays of one broadcast shape, so
        # that their blocks line up; scalars go to every block as they are.
        spread = [i for i, a in enumerate(arrays) if np.ndim(a) > 0]
        blocks = list(arrays)
        for i, b in zip(spread, da.broadcast_arrays(*(da.asarray(arrays[i]) for i in spread))):
            blocks[i] = b
        # The result of empty blocks gives the result's type without running a
        # real element (dask would otherwise try one, outside any task).
        meta = public(*objects, *(getattr(b, "_meta", b) for b in blocks), **kwargs)
        return da.map_blocks(fatal_guard(lambda *b: public(*objects, *b, **kwargs)), *blocks, meta=meta)
    try:
        return ufunc(*lead, *arrays, **kwargs)
    except _u.ElementFailure as failure:
        found = _first_failure(ufunc, lead, arrays, kwargs.get("where", True))
        if found is None:
            raise
        error = failure
    index, elements = found
    try:
        scalar(*elements)
    except BaseException as exc:
        exc.add_note(f"{ufunc.__name__}: first failing element at index {index}")
        raise exc from None
    raise RuntimeError(f"{ufunc.__name__}: element {index} failed ({error}) but its scalar call did not")


def _first_failure(
    ufunc: Any, lead: tuple[Any, ...], arrays: tuple[Any, ...], where: Any
) -> tuple[tuple[int, ...], list[Any]] | None:
    """Index (C order of the broadcast inputs) and elements of the first failing
    element, found by bisection with the ufunc itself on the flattened inputs."""
    ops = np.broadcast_arrays(*(np.asarray(a) for a in arrays), np.asarray(where, dtype=bool))
    flat = [o.ravel() for o in ops]

    masked = not flat[-1].all()

    def fails(lo: int, hi: int) -> bool:
        kwargs = {"out": None, "where": flat[-1][lo:hi]} if masked else {}
        try:
            ufunc(*lead, *(f[lo:hi] for f in flat[:-1]), **kwargs)
        except _u.ElementFailure:
            return True
        return False

    lo, hi = 0, flat[0].size
    if not fails(lo, hi):
        return None
    while hi - lo > 1:
        mid = (lo + hi) // 2
        if fails(lo, mid):
            hi = mid
        else:
            lo = mid
    index = tuple(int(i) for i in np.unravel_index(lo, ops[0].shape))
    return index, [f[lo] for f in flat[:-1]]


def _handle(obj: Any, cls: type) -> int:
    return int(_u.handle(obj, cls))


def _code(member: Any, cls: type) -> int:
    if not isinstance(member, cls):
        raise TypeError(f"expected a vantorel.{cls.__name__}, got {type(member).__name__}")
    return int(member)


# ---- dates --------------------------------------------------------------------------

_UNIT_LETTERS = "DBWMY"


def _tenor_text(count: Any, unit: Any) -> str:
    code = int(unit)
    if not 0 <= code < len(_UNIT_LETTERS):
        raise ValueError(f"Invalid TenorUnit code ({code})")
    return f"{int(count)}{_UNIT_LETTERS[code]}"


def add_tenor(dates: Any, tenor: Any, unit: Any = None, /, **kwargs: Any) -> Any:
    """add_tenor(dates, tenor) with a tenor string or Tenor for the whole array, or
    add_tenor(dates, counts, units) with arrays of counts and TenorUnit codes."""
    if unit is None:
        t = tenor if isinstance(tenor, _vt.Tenor) else _vt.Tenor(tenor)
        count, code = t.count, int(t.unit)
    else:
        count, code = tenor, int(unit) if isinstance(unit, _vt.TenorUnit) else unit
    return _apply(
        lambda d, c, u, **kw: add_tenor(d, c, u, **kw), (), _u.add_tenor, (), (dates, count, code), kwargs,
        lambda d, c, u: _date(d).add_tenor(_tenor_text(c, u)),
    )


def weekday(dates: Any, /, **kwargs: Any) -> Any:
    """Weekday codes (Monday 0 .. Sunday 6) as float64; NaN for NaT."""
    return _apply(weekday, (), _u.weekday, (), (dates,), kwargs, lambda d: _date(d).weekday())


def is_business_day(dates: Any, calendar: _vt.Calendar, /, **kwargs: Any) -> Any:
    """Calendar.is_business_day per date; False for NaT."""
    return _apply(
        lambda c, d, **kw: is_business_day(d, c, **kw), (calendar,), _u.is_business_day,
        (_handle(calendar, _vt.Calendar),), (dates,), kwargs, lambda d: _date(d).is_business_day(calendar),
    )  # fmt: skip


def is_weekend(dates: Any, calendar: _vt.Calendar, /, **kwargs: Any) -> Any:
    """Calendar.is_weekend per date; False for NaT."""
    return _apply(
        lambda c, d, **kw: is_weekend(d, c, **kw), (calendar,), _u.is_weekend,
        (_handle(calendar, _vt.Calendar),), (dates,), kwargs, lambda d: _date(d).is_weekend(calendar),
    )  # fmt: skip


def year_fraction(start: Any, end: Any, day_counter: _vt.DayCounter, /, **kwargs: Any) -> Any:
    """DayCounter.get_dcf per pair of dates; NaN for NaT. Thirty360 raises the scalar's FatalError."""
    return _apply(
        lambda dc, s, e, **kw: year_fraction(s, e, dc, **kw), (day_counter,), _u.year_fraction,
        (_code(day_counter, _vt.DayCounter),), (start, end), kwargs,
        lambda s, e: day_counter.get_dcf(_date(s), _date(e)),
    )  # fmt: skip


def tau_from_dates(eval_dates: Any, expiry_dates: Any, /, **kwargs: Any) -> Any:
    """Calendar days from eval to expiry over 365.0, the tau of the pricer's _with_dates forms."""
    return _apply(
        tau_from_dates, (), _u.tau_from_dates, (), (eval_dates, expiry_dates), kwargs,
        lambda e, x: (_date(x) - _date(e)) / 365.0,
    )  # fmt: skip


# ---- curves and interpolation ---------------------------------------------------------


def _curve(public: Any, scalar: Callable[..., Any], curve: _vt.YieldCurve, dates: tuple[Any, ...], kwargs: dict[str, Any]) -> Any:
    return _apply(
        public, (curve,), getattr(_u, public.__name__), (_handle(curve, _vt.YieldCurve),), dates, kwargs,
        lambda *days: scalar(curve, *(_date(d) for d in days)),
    )  # fmt: skip


def _zero_rate(curve: _vt.YieldCurve, d: _vt.Date) -> float:
    return float(-np.log(curve.get_df(d)) / np.float64(curve.get_dc().get_dcf(curve.get_curve_date(), d)))


def discount_factor(curve: _vt.YieldCurve, dates: Any, /, **kwargs: Any) -> Any:
    """YieldCurve.get_df per date; NaN for NaT."""
    return _curve(discount_factor, lambda c, d: c.get_df(d), curve, (dates,), kwargs)


def fwd_df(curve: _vt.YieldCurve, start: Any, end: Any, /, **kwargs: Any) -> Any:
    """YieldCurve.get_fwd_df per pair of dates; NaN for NaT."""
    return _curve(fwd_df, lambda c, s, e: c.get_fwd_df(s, e), curve, (start, end), kwargs)


def overnight_rate(curve: _vt.YieldCurve, dates: Any, /, **kwargs: Any) -> Any:
    """YieldCurve.get_overnight_rate per date; NaN for NaT."""
    return _curve(overnight_rate, lambda c, d: c.get_overnight_rate(d), curve, (dates,), kwargs)


def fwd_rate(curve: _vt.YieldCurve, start: Any, end: Any, /, **kwargs: Any) -> Any:
    """YieldCurve.get_fwd_rate per pair of dates; NaN for NaT."""
    return _curve(fwd_rate, lambda c, s, e: c.get_fwd_rate(s, e), curve, (start, end), kwargs)


def zero_rate(curve: _vt.YieldCurve, dates: Any, /, **kwargs: Any) -> Any:
    """-ln(df) / year fraction from the curve date under the curve's day counter:
    continuously compounded. At the curve date that is 0/0, NaN; NaN for NaT."""
    return _curve(zero_rate, _zero_rate, curve, (dates,), kwargs)


def interpolate(interpolator: _vt.Interpolator, xs: Any, /, **kwargs: Any) -> Any:
    """Interpolator.interpolate per x."""
    return _apply(
        interpolate, (interpolator,), _u.interpolate, (_handle(interpolator, _vt.Interpolator),), (xs,),
        kwargs, lambda x: interpolator.interpolate(float(x)),
    )  # fmt: skip
