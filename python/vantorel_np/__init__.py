"""NumPy ufuncs over vantorel's native kernels: every element is the scalar call's bits.

Each public function is made from one row of ``_table``: keyword arguments by
the names there, everything else (``out=``, ``where=``, ``casting=``, ...)
goes to the ufunc. Objects (a curve, a calendar, an interpolator, a day
counter, a tenor) are operands like any other: the extension checks each
against the vantorel class it imported and reads it while NumPy holds it, and
a deferred path (dask) carries the object itself. Importing the package
registers picklers for vantorel's classes (copyreg), so its objects travel to
process pools and Dask workers.

A function whose elements can fail (a date out of range, ``Thirty360``, an
unsupported interpolation, a bad put-call code, a dividend list out of order)
takes ``errors``:

* ``"raise"`` (default): the first failing element, in C order of the
  broadcast operands, raises the scalar API's exception (``FatalError`` for a
  core failure) with a note naming its index. Nothing is returned; an ``out=``
  array may already hold some elements.
* ``"coerce"``: failing elements are missing (NaN, NaT or False) and the rest
  computed. A bad operand (an object of another class, a put-call code other
  than 0 and 1) still raises.
"""

from __future__ import annotations

try:
    import numpy as np
except ImportError as exc:  # pragma: no cover - exercised in a subprocess
    raise ImportError(
        "vantorel_np needs numpy >= 2.0: install the extra with pip install 'vantorel[array]'"
    ) from exc

import dataclasses
import warnings
from collections.abc import Callable, Iterable
from typing import Any

import vantorel as _vt

from . import _pickling, _table
from ._factory import _errors, _is_dask, _run, dask_map, make
from ._table import Metrics
from . import _ufuncs as _u  # type: ignore[attr-defined]  # compiled, without a stub of its own

_pickling.register()


# ---- dates <-> datetime64[D] --------------------------------------------------------

_SERIAL_ZERO = _pickling.SERIAL_ZERO
_ZERO_DAY = np.datetime64(str(_SERIAL_ZERO), "D")


def _days(d: _vt.Date | None) -> np.datetime64:
    if d is None:
        return np.datetime64("NaT", "D")
    if not isinstance(d, _vt.Date):
        raise TypeError(f"expected a vantorel.Date or None, got {type(d).__name__}")
    return _ZERO_DAY + np.timedelta64(d - _SERIAL_ZERO, "D")


def to_datetime64(dates: _vt.Date | None | Iterable[_vt.Date | None]) -> Any:
    """A Date (None: NaT) as a datetime64[D] scalar, a sequence of them as an array."""
    if dates is None or isinstance(dates, _vt.Date):
        return _days(dates)
    return np.array([_days(d) for d in dates], dtype="M8[D]")


def from_datetime64(values: Any) -> Any:
    """datetime64 values (any unit, cast to days) as Dates: one Date (None for NaT), or
    nested lists shaped like the array."""
    days = np.asarray(values)
    if days.dtype.kind != "M":
        raise TypeError(f"expected datetime64 values, got dtype {days.dtype}")
    serials = (days.astype("M8[D]") - _ZERO_DAY).astype(np.int64)
    dates = np.empty(days.shape, dtype=object)
    for index, serial in np.ndenumerate(serials):
        dates[index] = None if np.isnat(days[index]) else _SERIAL_ZERO + int(serial)
    return dates.item() if dates.ndim == 0 else dates.tolist()


# ---- the wrappers: one factory over the table ---------------------------------------


def _warn_missed(
    name: str, result: Any, finite: tuple[Any, ...], nonnegative: tuple[Any, ...], where: Any = True,
    stacklevel: int = 3,
) -> None:
    """Warn when elements whose operands are finite and valid came back NaN: their
    solver missed its tolerance (elements where= leaves out are not computed)."""
    missing = np.isnan(result)
    if not np.any(missing):
        return
    ok = np.broadcast_to(np.asarray(where, dtype=bool), np.shape(missing)).copy()
    for a in finite:
        ok &= np.isfinite(np.asarray(a, dtype=float))
    for a in nonnegative:
        ok &= np.asarray(a, dtype=float) >= 0
    count = int(np.count_nonzero(missing & ok))
    if count:
        warnings.warn(f"{name}: {count} element(s) missed the solver tolerance and are NaN", RuntimeWarning,
                      stacklevel=stacklevel)  # fmt: skip


def _solver_checked(name: str) -> Callable[[Any, list[Any], dict[str, Any]], None]:
    """The check of a pricer-argument row whose solver can miss: a warning about the
    misses (in each task of a dask call, on its block)."""

    def check(result: Any, args: list[Any], kwargs: dict[str, Any]) -> None:
        spot, strike, rate, div_yield, tau, _, vol = args
        value = result.npv if isinstance(result, Metrics) else result
        _warn_missed(name, value, (spot, strike, rate, div_yield, tau, vol), (spot, strike, vol),
                     kwargs.get("where", True), stacklevel=4)  # fmt: skip

    return check


_CHECKED = {"american_npv", "american_metrics"}
_FUNCTIONS = {
    row.name: make(dataclasses.replace(row, check=_solver_checked(row.name)) if row.name in _CHECKED else row, _u,
                   __name__)
    for row in _table.ROWS
}  # fmt: skip


# ---- American exercise and cash dividends: core-dimension ufuncs ------------------------


def _boundary(
    strike: Any, rate: Any, div_yield: Any, tau: Any, pc_flag: Any, vol: Any, *, points: int, errors: str
) -> tuple[Any, Any]:
    """exercise_boundary over NumPy operands (a dask block)."""
    shape = np.broadcast_shapes(*(np.shape(a) for a in (strike, rate, div_yield, tau, pc_flag, vol)))
    # An infinite tau gives NaN times (0 * inf) and spots, a subnormal one underflows: no flag either way.
    with np.errstate(invalid="ignore", under="ignore"):
        times = np.linspace(0.0, 1.0, points) * np.broadcast_to(np.asarray(tau, dtype=float), shape)[..., None]
    times[..., -1] = np.broadcast_to(np.asarray(tau, dtype=float), shape)  # tau itself, not tau * 1.0 rounded
    ops = [strike, rate, div_yield, tau, pc_flag, vol, times]
    spots = _run(_u.exercise_boundary, _u.with_status["exercise_boundary"], ops, {}, errors)
    return times, spots


def exercise_boundary(
    strike: Any, rate: Any, div_yield: Any, tau: Any, pc_flag: Any, vol: Any, points: int = 101, *,
    errors: str = "raise",
) -> tuple[Any, Any]:
    """exercise_boundary(strike, rate, div_yield, tau, pc_flag, vol, points=101, *, errors="raise") ->
    (times, spots): the American early-exercise boundary at points times to expiry from 0 to tau."""
    if int(points) < 2:
        raise ValueError(f"points ({points}) must be >= 2")
    values = [strike, rate, div_yield, tau, pc_flag, vol]
    kwargs: dict[str, Any] = {"points": int(points)}
    if any(map(_is_dask, values)):
        lazy: tuple[Any, Any] = dask_map(_boundary, values, kwargs, _errors(errors), "(),(),(),(),(),()->(m),(m)",
                                         {"m": int(points)}, [np.float64, np.float64])
        return lazy
    return _boundary(*values, **kwargs, errors=_errors(errors))


def _dividend_lists(div_times: Any, div_amounts: Any) -> tuple[Any, Any]:
    """The lists as float arrays (last axis: one list) of one length. NaN pads a list
    (a NaN time or amount drops that entry); the native loop checks each list."""
    t = np.atleast_1d(np.asarray(div_times, dtype=float))
    a = np.atleast_1d(np.asarray(div_amounts, dtype=float))
    if t.shape[-1] != a.shape[-1]:
        raise ValueError(f"div_amounts: {a.shape[-1]} amounts for {t.shape[-1]} ex-dates in div_times")
    return t, a


def _cash_dividend(
    spot: Any, strike: Any, rate: Any, div_yield: Any, tau: Any, pc_flag: Any, vol: Any, div_times: Any,
    div_amounts: Any, american: Any, *, tol: float, space_steps: int, errors: str,
) -> Any:
    """cash_dividend_npv over NumPy operands (a dask block)."""
    t, a = _dividend_lists(div_times, div_amounts)
    ops = [spot, strike, rate, div_yield, tau, pc_flag, vol, np.asarray(american, dtype=bool), t, a, space_steps, tol]
    result, status = _run(_u.cash_dividend_npv, _u.with_status["cash_dividend_npv"], ops, {}, errors, status=True)
    # Elements whose list was refused (errors="coerce") are NaN without a miss.
    valid = (spot, strike, vol) if status is None else (spot, strike, vol, np.where(status == 0, 0.0, -1.0))
    _warn_missed("cash_dividend_npv", result, (spot, strike, rate, div_yield, tau, vol), valid)
    return result


def cash_dividend_npv(
    spot: Any, strike: Any, rate: Any, div_yield: Any, tau: Any, pc_flag: Any, vol: Any,
    div_times: Any, div_amounts: Any, *, american: Any = True, tol: float = 1e-6, space_steps: int = 100,
    errors: str = "raise",
) -> Any:
    """cash_dividend_npv(spot, strike, rate, div_yield, tau, pc_flag, vol, div_times, div_amounts,
    *, american=True, tol=1e-6, space_steps=100, errors="raise"): the value with cash dividends by
    finite differences, Richardson-extrapolated on grids from space_steps refined (up to 32 times)
    until its error estimate is within tol relative; NaN and a warning where it is not.
    tol=0: one extrapolation from space_steps and twice as many."""
    if int(space_steps) < 8:
        raise ValueError(f"space_steps ({space_steps}) must be >= 8")
    if not float(tol) >= 0:
        raise ValueError(f"tol ({tol}) must be >= 0")
    values = [spot, strike, rate, div_yield, tau, pc_flag, vol, div_times, div_amounts, american]
    kwargs: dict[str, Any] = {"tol": float(tol), "space_steps": int(space_steps)}
    if any(map(_is_dask, values)):
        # Each block checks its lists; their lengths, and a list given as a scalar, here.
        lists = [v if _is_dask(v) else np.atleast_1d(np.asarray(v, dtype=float)) for v in (div_times, div_amounts)]
        _dividend_lists(*(np.empty(np.shape(v)[-1:]) for v in lists))
        values[7:9] = lists
        signature = "(),(),(),(),(),(),(),(n),(n),()->()"
        return dask_map(_cash_dividend, values, kwargs, _errors(errors), signature, dtypes=np.float64)
    return _cash_dividend(*values, **kwargs, errors=_errors(errors))


_FUNCTIONS.update(exercise_boundary=exercise_boundary, cash_dividend_npv=cash_dividend_npv)
globals().update(_FUNCTIONS)

# The instruction set of the SIMD lane loops, chosen once at import.
simd_target: str = _u.simd_target

__all__ = [*_FUNCTIONS, "Metrics", "to_datetime64", "from_datetime64", "simd_target"]
