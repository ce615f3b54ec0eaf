"""Typed use of the public API, checked by mypy --strict against the installed stubs."""

import math

from vantorel import (
    BlackScholes,
    BlackScholesMetrics,
    Calendar,
    Date,
    DayCounter,
    ExtrapType,
    Interpolator,
    InterpType,
    PutCallFlag,
    Tenor,
    TenorUnit,
    Weekday,
    YieldCurve,
    erf,
    erf_inv,
    plot_function,
    pow2,
)

d: Date = Date(2024, 1, 5)
e: Date = d + 1
days: int = e - d
text: str = d.to_str()
wd: Weekday = d.weekday()
leap: bool = Date.is_leap_year(2024)
same: bool = wd == Weekday.Friday
code: int = int(DayCounter.Act365)
plot_function(math.sin, 0.0, math.pi, n=50, show=False, figsize=(6.0, 4.0), label="sin")
plot_function(lambda x: int(x), -1, 1, grid=False, show=False, color="red")

interp = Interpolator([0.0, 1.0, 2.0], (0, 10, 30), InterpType.Linear, ExtrapType.Flat)
y: float = interp.interpolate(0.5)
xs: list[float] = interp.get_nodes_x()
it: InterpType = interp.get_interp_type()
flat: YieldCurve = YieldCurve.create_flat(d, DayCounter.Act365, 0.05)
noded: YieldCurve = YieldCurve.create_noded(d, DayCounter.Act360, [d, d + 365], [1.0, 0.95], InterpType.Geometric)
df: float = noded.get_df(e)
fwd: float = flat.get_fwd_rate(curve_date := flat.get_curve_date(), curve_date + 90)
dc: DayCounter = noded.get_dc()

tenor: Tenor = Tenor("3M")
count: int = tenor.count
unit: TenorUnit = tenor.unit
moved: Date = d.add_tenor("-1Y")
cal: Calendar = Calendar("VT_WEEK")
name: str = cal.get_name()
weekend: bool = cal.is_weekend(d) and d.is_weekend(cal)
business: bool = d.is_business_day(cal) or cal.is_business_day(d)
fraction: float = DayCounter("Act360").get_dcf(d, moved)
act365: float = DayCounter.Act360.get_dcf_act365(date1=d, date2=moved)

price: float | None = BlackScholes.npv(100.0, 100.0, 0.05, 0.02, 1.0, PutCallFlag.Call, 0.2)
dated: float | None = BlackScholes.delta_with_dates(100, 100, 0.05, 0.02, d, e, PutCallFlag.Put, 0.2)
kernel: float = BlackScholes.npv_impl(100.0, 100.0, 1.0, 0.95, 0.98, 0.6, 0.5)
metrics: BlackScholesMetrics | None = BlackScholes.get_metrics_fd(100, 100, 0.05, 0.02, 1, PutCallFlag.Call, 0.2)
if metrics is not None:
    greek: float = metrics.gamma
prob: float = erf(0.5) + erf_inv(0.5) + pow2(3)

# The array package.
import numpy as np  # noqa: E402
import numpy.typing as npt  # noqa: E402

import vantorel_np  # noqa: E402

np_spots: npt.NDArray[np.float64] = np.linspace(80.0, 120.0, 5)
np_book = vantorel_np.metrics(np_spots, 100.0, 0.02, 0.0, 0.5, np.ones(5, dtype=bool), 0.2)
np_delta = np_book.delta
np_expiry: np.datetime64 = vantorel_np.to_datetime64(Date(2025, 1, 31))
np_days: npt.NDArray[np.datetime64] = vantorel_np.to_datetime64([Date(2024, 1, 31), None])
np_moved = vantorel_np.add_tenor(np_days, "1M")
np_curve = YieldCurve.create_flat(Date(2024, 1, 2), DayCounter.Act365, 0.03)
np_dfs = vantorel_np.discount_factor(np_curve, np_moved)

# Tasks: the FatalError guard keeps the wrapped function's signature.
from vantorel_np.dask import TaskFatalError, fatal_guard  # noqa: E402

guarded_dcf = fatal_guard(DayCounter.Act360.get_dcf)
guarded_fraction: float = guarded_dcf(d, moved)
task_error: Exception = TaskFatalError("not implemented")
task_error_text: str = TaskFatalError.from_fatal(task_error).type_name
