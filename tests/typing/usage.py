"""Typed use of the public API, checked by mypy --strict against the installed stubs."""

from vantorel import Calendar, Date, DayCounter, Tenor, TenorUnit, Weekday

d: Date = Date(2024, 1, 5)
e: Date = d + 1
days: int = e - d
text: str = d.to_str()
wd: Weekday = d.weekday()
leap: bool = Date.is_leap_year(2024)
same: bool = wd == Weekday.Friday
code: int = int(DayCounter.Act365)

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
