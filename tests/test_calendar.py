"""Calendars by name, their weekend rule against datetime, and the date-side questions."""

import datetime

import pytest
from hypothesis import given
from hypothesis import strategies as st
from support import assert_type_error, assert_value_error

from vantorel import Calendar, Date, Weekday

DATES = st.dates(min_value=datetime.date(1899, 1, 1), max_value=datetime.date(9999, 12, 31))


@pytest.mark.parametrize("name", ["VT_WEEK", "VT_NONE"])
def test_name_and_text_form(name: str) -> None:
    cal = Calendar(s=name)
    assert (cal.get_name(), repr(cal), str(cal)) == (name, f"Calendar('{name}')", f"Calendar('{name}')")


@pytest.mark.parametrize("name", ["vt_week", "VT_WEEK ", " VT_NONE", "", "VT_WEEKS", "VT_NON", "VT_W\u00c9EK", "VT_\0WEEK"])
def test_unknown_names(name: str) -> None:
    assert_value_error(lambda: Calendar(name), f"Unknown calendar name ({name})")


@pytest.mark.parametrize(
    ("call", "message"),
    [(lambda: Calendar(7), "argument 's': expected str, got int"),
     (lambda: Calendar(), "Calendar.__new__() missing 1 required positional argument: 's'"),
     (lambda: Calendar("VT_WEEK").is_weekend("2024-01-06"), "argument 'date': expected Date, got str"),
     (lambda: Date(2024, 1, 6).is_weekend("VT_WEEK"), "argument 'cal': expected Calendar, got str"),
     (lambda: Date(2024, 1, 6).is_business_day(cal=Date(2024, 1, 6)), "argument 'cal': expected Calendar, got Date")],
)
def test_argument_errors(call, message: str) -> None:
    assert_type_error(call, message)


def test_identity_semantics_and_signatures() -> None:
    a, b = Calendar("VT_WEEK"), Calendar("VT_WEEK")
    assert a != b and {a: 1, b: 2}[a] == 1
    assert [f.__text_signature__ for f in (Calendar, Calendar.get_name, Calendar.is_business_day,
                                           Calendar.is_weekend, Date.is_business_day, Date.is_weekend)] == \
        ["(s)", "($self)", "($self, date)", "($self, date)", "($self, cal)", "($self, cal)"]


@given(DATES)
def test_week_and_none_against_datetime(d: datetime.date) -> None:
    date = Date(d.year, d.month, d.day)
    week, none = Calendar("VT_WEEK"), Calendar("VT_NONE")
    weekend = d.weekday() >= 5
    assert (week.is_weekend(date), week.is_business_day(date)) == (weekend, not weekend)
    assert (date.is_weekend(week), date.is_business_day(week)) == (weekend, not weekend)
    assert (none.is_weekend(date), none.is_business_day(date)) == (False, True)
    assert (date.is_weekend(cal=none), date.is_business_day(cal=none)) == (False, True)


@pytest.mark.parametrize(("ymd", "weekday"), [((1899, 1, 1), Weekday.Sunday), ((1899, 12, 30), Weekday.Saturday),
                                             ((65535, 12, 28), Weekday.Saturday), ((65535, 12, 31), Weekday.Tuesday)])
def test_week_rule_at_the_ends_of_the_range(ymd: tuple[int, int, int], weekday: Weekday) -> None:
    # 65535 has the weekdays of 2335 (the Gregorian calendar repeats every 400 years).
    date = Date(*ymd)
    weekend = int(weekday) >= 5
    assert date.weekday() == weekday
    assert (Calendar("VT_WEEK").is_weekend(date), date.is_business_day(Calendar("VT_WEEK"))) == (weekend, not weekend)
