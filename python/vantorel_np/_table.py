"""The public functions of vantorel_np, one row each: the package makes every wrapper from here.

A row (``_factory.Row``) is the public name (the name of its ufunc in
``_ufuncs``), the argument names in call order, and the docstring, with the
operand order, conversions, objects and the result type where they matter.

To add a function: a row in the kernel table of src/np/ufuncs.cpp (its name and
core kernel), then a row here with the same name, and its stub in
``__init__.pyi``. ``__all__``, keyword arguments, ``errors=`` (for a kernel
whose elements can fail), dask dispatch and the docstring follow.
"""

from __future__ import annotations

from typing import Any, NamedTuple

import vantorel as _vt

from ._factory import Row


class Metrics(NamedTuple):
    """The seven results of ``get_metrics`` in field order, one array each."""

    npv: Any
    delta: Any
    gamma: Any
    vega: Any
    theta: Any
    rho_r: Any
    rho_q: Any


def _tenor(t: Any) -> Any:
    """A tenor text as the Tenor it names (ValueError as Tenor(text) gives it)."""
    return _vt.Tenor(t) if isinstance(t, str) else t


_PRICER = "spot strike rate div_yield tau pc_flag vol"
_FLAG = (
    " ``pc_flag`` is 0 (put) or 1 (call), or a bool (True: call); any other code is a ValueError."
)


def _pricer(name: str, what: str) -> Row:
    return Row(name, _PRICER, f"{what} as ``BlackScholes.{name}`` gives it, per element; NaN where it gives None." + _FLAG)


ROWS: tuple[Row, ...] = (
    _pricer("npv", "Black-Scholes value"),
    _pricer("delta", "Black-Scholes delta"),
    _pricer("gamma", "Black-Scholes gamma"),
    _pricer("vega", "Black-Scholes vega"),
    _pricer("theta", "Black-Scholes theta"),
    _pricer("rho_r", "Black-Scholes rho to the rate"),
    _pricer("rho_q", "Black-Scholes rho to the dividend yield"),
    Row("metrics", _PRICER, "The seven closed-form metrics of ``BlackScholes.get_metrics`` as a ``Metrics`` of "
        "arrays in field order; NaN where it gives None." + _FLAG, result=Metrics),
    Row("metrics_fd", _PRICER, "The value and six finite-difference sensitivities of "
        "``BlackScholes.get_metrics_fd`` as a ``Metrics`` of arrays; NaN where it gives None." + _FLAG,
        result=Metrics),
    Row("implied_vol", "price spot strike rate div_yield tau pc_flag",
        "The vol at which the exact Black-Scholes-Merton value is ``price``: 0.0 at the discounted intrinsic "
        "value, inf at spot*df_q (call) or strike*df_r (put), NaN outside those bounds, for tau <= 0, a "
        "negative spot or strike, or a NaN or infinite input." + _FLAG),
    Row("american_npv", _PRICER, "American value under Black-Scholes-Merton with a continuous dividend yield, per "
        "element; NaN where the European value would be None, and NaN with a RuntimeWarning naming the count "
        "where the boundary iteration misses its tolerance or its error estimate the bar." + _FLAG),
    Row("american_metrics", _PRICER, "American value and six sensitivities as a ``Metrics`` of arrays (units of "
        "``BlackScholesMetrics``)." + _FLAG, result=Metrics),
    Row("american_implied_vol", "price spot strike rate div_yield tau pc_flag",
        "The vol at which the American value is ``price``: 0.0 at the zero-vol value, inf at the strike (put) or "
        "spot (call), or strike*df_r (put) and spot*df_q (call) where those are larger, NaN outside those bounds, for tau <= 0, a negative spot or strike, or a NaN input." + _FLAG),
    Row("erf", "x", "The error function, ``vantorel.erf`` per element."),
    Row("erfc", "x", "The complementary error function, ``vantorel.erfc`` per element."),
    Row("erf_inv", "x", "The inverse of erf on (-1, 1), ``vantorel.erf_inv`` per element."),
    Row("erfc_inv", "x", "The inverse of erfc on (0, 2), ``vantorel.erfc_inv`` per element."),
    Row("weekday", "dates", "Weekday codes (Monday 0 .. Sunday 6) of datetime64 dates, as float64; NaN for NaT."),
    Row("is_business_day", "dates calendar", "``Calendar.is_business_day`` per date; False for NaT.",
        operands="calendar dates", objects={"calendar": _vt.Calendar}),
    Row("is_weekend", "dates calendar", "``Calendar.is_weekend`` per date; False for NaT.",
        operands="calendar dates", objects={"calendar": _vt.Calendar}),
    Row("add_tenor", "dates tenor", "``Date.add_tenor`` per date; NaT for NaT. ``tenor`` is a Tenor, a tenor "
        "text, or an array of Tenors.", objects={"tenor": _vt.Tenor}, convert={"tenor": _tenor}),
    Row("year_fraction", "start end day_counter", "``DayCounter.get_dcf`` per pair of dates; NaN for NaT.",
        operands="day_counter start end", objects={"day_counter": _vt.DayCounter}),
    Row("tau_from_dates", "eval_dates expiry_dates", "The Act/365 year fraction from eval to expiry, the tau of "
        "the pricer's _with_dates forms; NaN for NaT."),
    Row("discount_factor", "curve dates", "``YieldCurve.get_df`` per date; NaN for NaT.",
        objects={"curve": _vt.YieldCurve}),
    Row("fwd_df", "curve start end", "``YieldCurve.get_fwd_df`` per pair of dates; NaN for NaT.",
        objects={"curve": _vt.YieldCurve}),
    Row("overnight_rate", "curve dates", "``YieldCurve.get_overnight_rate`` per date; NaN for NaT.",
        objects={"curve": _vt.YieldCurve}),
    Row("fwd_rate", "curve start end", "``YieldCurve.get_fwd_rate`` per pair of dates; NaN for NaT.",
        objects={"curve": _vt.YieldCurve}),
    Row("zero_rate", "curve dates", "-ln(df) / year fraction from the curve date under the curve's day counter: "
        "continuously compounded. At the curve date that is 0/0, NaN; NaN for NaT.",
        objects={"curve": _vt.YieldCurve}),
    Row("interpolate", "interpolator xs", "``Interpolator.interpolate`` per x.",
        objects={"interpolator": _vt.Interpolator}),
)  # fmt: skip
