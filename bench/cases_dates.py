"""Dates against Python's datetime."""

from harness import Case, Peer

TITLE = "dates"

_SETUP = "import datetime, vantorel; d = vantorel.Date(2024, 1, 5); pd = datetime.date(2024, 1, 5); one = datetime.timedelta(days=1)"

CASES = [
    Case(
        "Date(2024, 1, 5)",
        "Date(2024, 1, 5)",
        "from vantorel import Date",
        [Peer("datetime.date(2024, 1, 5)", "date(2024, 1, 5)", "from datetime import date", goal=1.0)],
    ),
    Case(
        'Date("2024-01-05")',
        'Date("2024-01-05")',
        "from vantorel import Date",
        [Peer("date.fromisoformat", 'fromisoformat("2024-01-05")', "from datetime import date; fromisoformat = date.fromisoformat", goal=1.0)],
    ),
    Case(
        "d + 1",
        "d + 1",
        _SETUP,
        [
            Peer("date + timedelta(days=1)", "pd + timedelta(days=1)", _SETUP + "; from datetime import timedelta", goal=1.0),
            Peer("date + one (prebuilt timedelta)", "pd + one", _SETUP),
        ],
    ),
    Case("d.weekday()", "d.weekday()", _SETUP, [Peer("date.weekday()", "pd.weekday()", _SETUP, goal=1.0)]),
    # The same call returning a cached small int instead of a fresh Weekday
    # object: the difference to the row above is the new object itself.
    Case("d.month() (no new object)", "d.month()", _SETUP, [Peer("date.weekday()", "pd.weekday()", _SETUP)]),
]
