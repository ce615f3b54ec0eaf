"""Typed use of the public API, checked by mypy --strict against the installed stubs."""

import math

from vantorel import Date, DayCounter, Weekday, plot_function

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
