"""Tenor moves and day-count fractions against datetime and QuantLib-Python."""

from harness import Case, Peer

TITLE = "tenors and day counters"

_OURS = "from vantorel import Date, DayCounter; d = Date(2024, 1, 31); d1 = Date(2024, 1, 5); d2 = Date(2025, 7, 19)"

# Month arithmetic on datetime.date with the day clamped to the end of the month.
_PY_MONTHS = """
from calendar import monthrange
from datetime import date
def add_months(d, n):
    k = d.month - 1 + n
    y, m = d.year + k // 12, k % 12 + 1
    return date(y, m, min(d.day, monthrange(y, m)[1]))
pd = date(2024, 1, 31)
"""

_QL = "import QuantLib as ql; qd = ql.Date(31, 1, 2024); p = ql.Period('3M'); q1 = ql.Date(5, 1, 2024); q2 = ql.Date(19, 7, 2025); a365 = ql.Actual365Fixed()"

_PY_DAYS = "from datetime import date; p1 = date(2024, 1, 5); p2 = date(2025, 7, 19)"

CASES = [
    Case(
        'd.add_tenor("3M")',
        'd.add_tenor("3M")',
        _OURS,
        [
            Peer("add_months(date, 3)", "add_months(pd, 3)", _PY_MONTHS, goal=1.0),
            Peer("ql: date + Period (prebuilt)", "qd + p", _QL, needs="QuantLib", goal=1.0),
            Peer("ql: date + Period('3M')", "qd + ql.Period('3M')", _QL, needs="QuantLib", goal=1.0),
        ],
    ),
    Case(
        'd.add_tenor("-2W")',
        'd.add_tenor("-2W")',
        _OURS,
        [
            Peer("date - timedelta(weeks=2)", "pd - timedelta(weeks=2)", _PY_MONTHS + "from datetime import timedelta", goal=1.0),
            Peer("date - w (prebuilt timedelta)", "pd - w", _PY_MONTHS + "from datetime import timedelta; w = timedelta(weeks=2)"),
        ],
    ),
    Case(
        "DayCounter.Act365.get_dcf(d1, d2)",
        "DayCounter.Act365.get_dcf(d1, d2)",
        _OURS,
        [
            Peer("(p2 - p1).days / 365.0", "(p2 - p1).days / 365.0", _PY_DAYS, goal=1.0),
            Peer("ql: Actual365Fixed().yearFraction", "a365.yearFraction(q1, q2)", _QL, needs="QuantLib", goal=1.0),
        ],
    ),
]
