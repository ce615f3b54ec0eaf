from collections.abc import Iterable
from typing import Any, NamedTuple, overload

import numpy as np
import numpy.typing as npt

from vantorel import Calendar, Date, DayCounter, Interpolator, Tenor, TenorUnit, YieldCurve

__all__ = [
    "npv", "delta", "gamma", "vega", "theta", "rho_r", "rho_q", "metrics", "metrics_fd", "Metrics",
    "implied_vol",
    "erf", "erfc", "erf_inv", "erfc_inv",
    "to_datetime64", "from_datetime64", "add_tenor", "weekday", "is_business_day", "is_weekend",
    "year_fraction", "tau_from_dates",
    "discount_factor", "fwd_df", "overnight_rate", "fwd_rate", "zero_rate", "interpolate",
]  # fmt: skip

# Black-Scholes ufuncs of (spot, strike, rate, div_yield, tau, pc_flag, vol).
npv: np.ufunc
delta: np.ufunc
gamma: np.ufunc
vega: np.ufunc
theta: np.ufunc
rho_r: np.ufunc
rho_q: np.ufunc
# The vol from a price: ufunc of (price, spot, strike, rate, div_yield, tau, pc_flag).
implied_vol: np.ufunc
erf: np.ufunc
erfc: np.ufunc
erf_inv: np.ufunc
erfc_inv: np.ufunc

class Metrics(NamedTuple):
    npv: Any
    delta: Any
    gamma: Any
    vega: Any
    theta: Any
    rho_r: Any
    rho_q: Any

def metrics(*args: Any, **kwargs: Any) -> Metrics: ...
def metrics_fd(*args: Any, **kwargs: Any) -> Metrics: ...
@overload
def to_datetime64(dates: Date | None) -> np.datetime64: ...
@overload
def to_datetime64(dates: Iterable[Date | None]) -> npt.NDArray[np.datetime64]: ...
def from_datetime64(values: npt.ArrayLike) -> Any: ...
@overload
def add_tenor(dates: npt.ArrayLike, tenor: str | Tenor, unit: None = None, /, **kwargs: Any) -> Any: ...
@overload
def add_tenor(dates: npt.ArrayLike, tenor: npt.ArrayLike, unit: npt.ArrayLike | TenorUnit, /, **kwargs: Any) -> Any: ...
def weekday(dates: npt.ArrayLike, /, **kwargs: Any) -> Any: ...
def is_business_day(dates: npt.ArrayLike, calendar: Calendar, /, **kwargs: Any) -> Any: ...
def is_weekend(dates: npt.ArrayLike, calendar: Calendar, /, **kwargs: Any) -> Any: ...
def year_fraction(start: npt.ArrayLike, end: npt.ArrayLike, day_counter: DayCounter, /, **kwargs: Any) -> Any: ...
def tau_from_dates(eval_dates: npt.ArrayLike, expiry_dates: npt.ArrayLike, /, **kwargs: Any) -> Any: ...
def discount_factor(curve: YieldCurve, dates: npt.ArrayLike, /, **kwargs: Any) -> Any: ...
def fwd_df(curve: YieldCurve, start: npt.ArrayLike, end: npt.ArrayLike, /, **kwargs: Any) -> Any: ...
def overnight_rate(curve: YieldCurve, dates: npt.ArrayLike, /, **kwargs: Any) -> Any: ...
def fwd_rate(curve: YieldCurve, start: npt.ArrayLike, end: npt.ArrayLike, /, **kwargs: Any) -> Any: ...
def zero_rate(curve: YieldCurve, dates: npt.ArrayLike, /, **kwargs: Any) -> Any: ...
def interpolate(interpolator: Interpolator, xs: npt.ArrayLike, /, **kwargs: Any) -> Any: ...
