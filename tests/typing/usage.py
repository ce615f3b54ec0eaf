"""Typed use of the public API, checked by mypy --strict against the installed stubs."""

from vantorel import Date, DayCounter, Weekday

d: Date = Date(2024, 1, 5)
e: Date = d + 1
days: int = e - d
text: str = d.to_str()
wd: Weekday = d.weekday()
leap: bool = Date.is_leap_year(2024)
same: bool = wd == Weekday.Friday
code: int = int(DayCounter.Act365)

from vantorel import BlackScholes, BlackScholesMetrics, PutCallFlag, erf, erf_inv, pow2

price: float | None = BlackScholes.npv(100.0, 100.0, 0.05, 0.02, 1.0, PutCallFlag.Call, 0.2)
dated: float | None = BlackScholes.delta_with_dates(100, 100, 0.05, 0.02, d, e, PutCallFlag.Put, 0.2)
kernel: float = BlackScholes.npv_impl(100.0, 100.0, 1.0, 0.95, 0.98, 0.6, 0.5)
metrics: BlackScholesMetrics | None = BlackScholes.get_metrics_fd(100, 100, 0.05, 0.02, 1, PutCallFlag.Call, 0.2)
if metrics is not None:
    greek: float = metrics.gamma
prob: float = erf(0.5) + erf_inv(0.5) + pow2(3)
