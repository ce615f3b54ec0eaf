"""DayCounter: construction by name, year fractions against datetime, and the 30/360 failure."""

import datetime

import pytest
from hypothesis import given
from hypothesis import strategies as st
from support import assert_type_error, assert_value_error, raises_fatal

from vantorel import Date, DayCounter

DATES = st.dates(min_value=datetime.date(1899, 1, 1), max_value=datetime.date(9999, 12, 31))


@pytest.mark.parametrize(("name", "code"), [("Act365", 0), ("Act360", 1), ("Thirty360", 2)])
def test_constructor(name: str, code: int) -> None:
    member = getattr(DayCounter, name)
    dc = DayCounter(s=name)
    assert dc == member and dc is not member and dc == code
    assert (int(dc), repr(dc), str(dc)) == (code, f"DayCounter.{name}", f"DayCounter.{name}")


@pytest.mark.parametrize("name", ["ACT365", " Act365", "Act365 ", "", "act365", "Thirty360\0"])
def test_unknown_names(name: str) -> None:
    assert_value_error(lambda: DayCounter(name), f"Unknown day-counter name ({name})")


@given(DATES, DATES)
def test_actual_fractions_against_datetime(d1: datetime.date, d2: datetime.date) -> None:
    days = (d2 - d1).days
    a, b = Date(d1.year, d1.month, d1.day), Date(d2.year, d2.month, d2.day)
    for dc in (DayCounter.Act365, DayCounter.Act360, DayCounter.Thirty360):  # the member is ignored
        assert (dc.get_dcf_act365(a, b), dc.get_dcf_act360(date1=a, date2=b)) == (days / 365.0, days / 360.0)
    assert (DayCounter.Act365.get_dcf(a, b), DayCounter("Act360").get_dcf(date2=b, date1=a)) == (days / 365.0, days / 360.0)


@pytest.mark.parametrize(
    ("dc", "start", "days", "fraction"),
    [("Act365", (2023, 1, 1), 365, 1.0), ("Act365", (2024, 1, 1), -365, -1.0), ("Act365", (2024, 1, 1), 0, 0.0),
     ("Act360", (2024, 1, 1), 90, 0.25), ("Act360", (2024, 1, 1), 180, 0.5),
     ("Act365", (1899, 1, 1), 23242935, 23242935 / 365.0)],  # the whole date range
)
def test_fraction_examples(dc: str, start: tuple[int, int, int], days: int, fraction: float) -> None:
    d1 = Date(*start)
    assert getattr(DayCounter, dc).get_dcf(d1, d1 + days) == fraction
    assert DayCounter.Act360.get_dcf_act365(d1, d1 + 73) == 0.2


@pytest.mark.parametrize(
    "call",
    [lambda d: DayCounter("Thirty360").get_dcf(date1=d, date2=d + 30),
     *[lambda d, m=m: m.get_dcf_30360(d, d + 30) for m in (DayCounter.Act365, DayCounter.Act360, DayCounter.Thirty360)],
     lambda d: DayCounter.Act365.get_dcf_30360(_date2=d, _date1=d)],
)
def test_thirty360_is_not_implemented(call) -> None:
    with raises_fatal("not implemented"):
        call(Date(2024, 1, 1))
    assert DayCounter.Thirty360.get_dcf_act365(Date(2023, 1, 1), Date(2024, 1, 1)) == 1.0  # still usable


@pytest.mark.parametrize(
    ("call", "message"),
    [(lambda d: DayCounter(365), "argument 's': expected str, got int"),
     (lambda d: DayCounter.Thirty360.get_dcf_30360(1, d), "argument '_date1': expected Date, got int"),
     (lambda d: DayCounter.Thirty360.get_dcf_30360(d, "2024-01-01"), "argument '_date2': expected Date, got str"),
     (lambda d: DayCounter.Thirty360.get_dcf(d, 2.0), "argument 'date2': expected Date, got float"),
     (lambda d: DayCounter.Act365.get_dcf_30360(date1=d, date2=d),
      "DayCounter.get_dcf_30360() got an unexpected keyword argument 'date1'")],
)
def test_argument_errors_come_first(call, message: str) -> None:
    assert_type_error(lambda: call(Date(2024, 1, 1)), message)


def test_signatures() -> None:
    assert [f.__text_signature__ for f in (DayCounter, DayCounter.get_dcf, DayCounter.get_dcf_act365,
                                           DayCounter.get_dcf_act360, DayCounter.get_dcf_30360)] == \
        ["(s)", "($self, date1, date2)", "($self, date1, date2)", "($self, date1, date2)", "($self, _date1, _date2)"]

