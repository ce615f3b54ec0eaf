"""Repeated calls (successes and every kind of error) do not grow the interpreter's allocations."""

from __future__ import annotations

import sys

import pytest

import vantorel
from vantorel import Date, DayCounter, Weekday


def _catch(call):
    def run():
        try:
            call()
        except BaseException:  # FatalError included
            pass

    return run


d1, d2 = Date(2024, 1, 5), Date(2024, 3, 1)
CALLS = {
    "construct": lambda: Date(2024, 1, 5),
    "construct str": lambda: Date("2024-01-05"),
    "construct error": _catch(lambda: Date(2023, 2, 29)),
    "construct signature error": _catch(lambda: Date(1.0, 2)),
    "construct keyword error": _catch(lambda: Date(year=1)),
    "parse error": _catch(lambda: Date("2024-01-xx")),
    "overflow": _catch(lambda: Date(2024, 1, 300)),
    "add": lambda: d1 + 5,
    "sub": lambda: d2 - d1,
    "add not implemented": _catch(lambda: d1 + 1.5),
    "fatal": _catch(lambda: Date(1899, 1, 1) + (-1)),
    "fatal month": _catch(lambda: Date.days_in_month(2024, 13)),
    "str repr": lambda: (str(d1), repr(d1), d1.to_str()),
    "weekday": lambda: d1.weekday(),
    "ymd": lambda: d1.get_ymd(),
    "named type error": _catch(lambda: Date.is_leap_year("x")),
    "binding errors": _catch(lambda: Date.days_in_month(2024, months=1)),
    "missing": _catch(lambda: Date.days_in_month()),
    "keywords": lambda: Date.days_in_month(month=2, year=2024),
    "enum compare": lambda: (Weekday.Monday == 0, Weekday.Monday == 2.5, Weekday.Monday != Weekday.Friday),
    "enum repr int": lambda: (repr(DayCounter.Act360), int(DayCounter.Act360)),
    "no constructor": _catch(lambda: Weekday()),
}
def _rates():
    return pytest.importorskip("vantorel_rates")


def _rates_calls():
    import datetime

    import numpy as np

    vr = _rates()
    cal = vr.Calendar("TARGET")
    day = np.datetime64("2024-12-25")
    return (cal.adjust(day), cal.is_business_day(datetime.date(2024, 12, 25)), vr.adjust(cal, [day, day]),
            vr.year_fraction(vr.DayCount.ActActIsda, "2024-01-05", day))  # fmt: skip


# Calls of the later parts of the module join the table when they exist.
for name, factory in {
    "tenor": lambda: (lambda: vantorel.Tenor("3M"), _catch(lambda: vantorel.Tenor("3Q"))),
    "dcf": lambda: (lambda: DayCounter.Act365.get_dcf(d1, d2), _catch(lambda: DayCounter.Thirty360.get_dcf(d1, d2))),
    "bs": lambda: (
        lambda: vantorel.BlackScholes.get_metrics(100, 100, 0.05, 0.02, 1.0, vantorel.PutCallFlag.Call, 0.2),
        _catch(lambda: vantorel.BlackScholes.npv(100, 100, 0.05, 0.02, 1.0, 1, 0.2)),
    ),
    "curve": lambda: (
        lambda: vantorel.YieldCurve.create_flat(d1, DayCounter.Act365, 0.05).get_df(d2),
        _catch(lambda: vantorel.YieldCurve.create_noded(d1, DayCounter.Act365, [d1], [1.0], vantorel.InterpType.Linear)),
    ),
    "rates": lambda: (
        lambda: _rates_calls(),
        _catch(lambda: _rates().Calendar("TARGET").advance(Date(2199, 12, 30), "5B")),
    ),
    "rates arguments": lambda: (
        lambda: _rates().schedule("2024-01-15", "2026-01-15", vantorel.Tenor("6M"), _rates().Calendar("TARGET")),
        _catch(lambda: _rates().Calendar("TARGET").adjust(1.5)),
    ),
}.items():
    try:
        ok, bad = factory()
        ok()
    except AttributeError:
        continue
    CALLS[name] = ok
    CALLS[name + " error"] = bad


@pytest.mark.parametrize("name", sorted(CALLS))
def test_repeated_calls_do_not_leak(name):
    call = CALLS[name]
    for _ in range(2000):  # warm caches, interned strings, type objects
        call()
    before = sys.getallocatedblocks()
    for _ in range(20000):
        call()
    grown = sys.getallocatedblocks() - before
    assert grown < 200, f"{name}: {grown} blocks more after 20000 calls"
