"""vantorel_rates on 1,000,000 dates against numpy's business-day functions and a
hand-written 30/360 column, and one schedule against QuantLib's Schedule."""

from harness import Case, Peer

TITLE = "rates conventions (N = 1,000,000 dates)"

_DATES = """
import numpy as np
import vantorel as vt
import vantorel_rates as vr
rng = np.random.default_rng(5)
days = rng.integers(np.datetime64("2000-01-01").astype(int), np.datetime64("2060-01-01").astype(int),
                    1_000_000).astype("M8[D]")
ends = days + rng.integers(1, 3650, days.size).astype("m8[D]")
cal = vr.Calendar("TARGET")
holidays = vr.holidays(cal, "1999-01-01", "2061-12-31")
bdc = np.busdaycalendar(holidays=holidays)
mf = vt.BusDayAdj.ModFollowing
"""

# 30/360 US bond basis from the year, month and day of each date.
_NP_30360 = (
    _DATES
    + """
def np_30360(a, b):
    y1 = a.astype("M8[Y]").astype(int); y2 = b.astype("M8[Y]").astype(int)
    m1 = a.astype("M8[M]").astype(int) % 12; m2 = b.astype("M8[M]").astype(int) % 12
    d1 = (a - a.astype("M8[M]")).astype(int) + 1; d2 = (b - b.astype("M8[M]")).astype(int) + 1
    d1 = np.where(d1 == 31, 30, d1)
    d2 = np.where((d2 == 31) & (d1 == 30), 30, d2)
    return (360 * (y2 - y1) + 30 * (m2 - m1) + (d2 - d1)) / 360.0
"""
)

_SCHEDULE = """
import QuantLib as ql
import vantorel as vt
import vantorel_rates as vr
cal = vr.Calendar("TARGET")
qcal = ql.TARGET()
start, end = vt.Date(2024, 3, 15), vt.Date(2034, 3, 15)
qs, qe, p3m = ql.Date(15, 3, 2024), ql.Date(15, 3, 2034), ql.Period("3M")
mf, qmf = vt.BusDayAdj.ModFollowing, ql.ModifiedFollowing
"""

CASES = [
    Case(
        "is_business_day(cal, days)",
        "vr.is_business_day(cal, days)",
        _DATES,
        [Peer("np.is_busday(holidays)", "np.is_busday(days, busdaycal=bdc)", _DATES, goal=1.0)],
    ),
    Case(
        "adjust(cal, days, ModFollowing)",
        "vr.adjust(cal, days, mf)",
        _DATES,
        [
            Peer(
                "np.busday_offset(modifiedfollowing)",
                "np.busday_offset(days, 0, roll='modifiedfollowing', busdaycal=bdc)",
                _DATES,
                goal=1.0,
            )
        ],
    ),
    Case(
        "business_days_between(cal, days, ends)",
        "vr.business_days_between(cal, days, ends)",
        _DATES,
        [Peer("np.busday_count(holidays)", "np.busday_count(days, ends, busdaycal=bdc)", _DATES)],
    ),
    Case(
        "year_fraction(Thirty360, days, ends)",
        "vr.year_fraction(vr.DayCount.Thirty360, days, ends)",
        _DATES,
        [Peer("30/360 numpy by hand", "np_30360(days, ends)", _NP_30360, goal=1.0)],
    ),
    Case(
        "schedule(10Y, 3M, TARGET)",
        "vr.schedule(start, end, '3M', cal, mf)",
        _SCHEDULE,
        [
            Peer(
                "ql.Schedule(10Y, 3M, TARGET)",
                "ql.Schedule(qs, qe, p3m, qcal, qmf, qmf, ql.DateGeneration.Backward, False)",
                _SCHEDULE,
                needs="QuantLib",
                goal=0.1,
            )
        ],
    ),
]
