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
