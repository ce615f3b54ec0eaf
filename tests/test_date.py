"""Date and YearMonthDay: validation, serial numbers, text forms, weekdays and arithmetic."""

import datetime

import pytest
from hypothesis import given
from hypothesis import strategies as st
from support import assert_type_error, assert_value_error, raises_fatal

from vantorel import Date, YearMonthDay

EPOCH = datetime.date(1899, 12, 30)
# datetime stops at 9999-12-31; Date goes on to 65535-12-31.
shared_days = st.dates(min_value=datetime.date(1899, 1, 1), max_value=datetime.date(9999, 12, 31))


@pytest.mark.parametrize(
    "ymd, serial",
    [((1899, 12, 30), 0), ((1899, 12, 31), 1), ((1900, 1, 1), 2), ((1900, 3, 1), 61), ((2000, 1, 1), 36526),
     ((1899, 1, 1), -363), ((65535, 12, 31), 23242572), ((2024, 2, 29), 45351)],
)  # fmt: skip
def test_serial_numbers(ymd, serial):
    assert Date(*ymd).to_int() == serial
    assert (Date(1899, 12, 30) + serial).to_int() == serial


@given(shared_days)
def test_serial_weekday_and_text_agree_with_datetime(day):
    d = Date(day.year, day.month, day.day)
    assert d.to_int() == (day - EPOCH).days
    assert int(d.weekday()) == day.weekday()
    assert d.to_str() == str(d) == day.isoformat()
    assert (d.year(), d.month(), d.day()) == (day.year, day.month, day.day)
    assert Date(day.isoformat()).to_int() == d.to_int()
    assert Date(day.strftime("%Y%m%d")).to_int() == d.to_int()


@given(st.integers(min_value=-363, max_value=23242572))
def test_round_trip_over_the_whole_range(serial):
    d = Date(1899, 1, 1) + (serial + 363)
    assert d.to_int() == serial
    assert Date(d.year(), d.month(), d.day()).to_int() == serial
    if d.year() <= 9999:  # five-digit years print as 11 characters
        assert Date(d.to_str()).to_int() == serial


@given(shared_days, st.integers(min_value=-40000, max_value=40000))
def test_addition_and_subtraction_agree_with_datetime(day, n):
    try:
        expected = day + datetime.timedelta(days=n)
    except OverflowError:  # beyond datetime's year 9999
        return
    if not datetime.date(1899, 1, 1) <= expected:
        return
    d = Date(day.year, day.month, day.day)
    moved = d + n
    assert moved.to_str() == expected.isoformat()
    assert (moved - d, d - moved) == (n, -n)


@pytest.mark.parametrize(
    "args, text",
    [(("2024-01-05",), "2024-01-05"), (("20240105",), "2024-01-05"), (("2024/01/05",), "2024-01-05"),
     (("2024x01x05",), "2024-01-05"), (("2024-+1-+5",), "2024-01-05"), ((10000, 1, 1), "10000-01-01"),
     ((65535, 12, 31), "65535-12-31"), ((1899, 1, 1), "1899-01-01")],
)  # fmt: skip
def test_text_forms(args, text):
    d = Date(*args)
    assert str(d) == d.to_str() == text
    assert repr(d) == f"Date('{text}')"


SIGNATURES = "Expected the following signatures: (year: int, month: int, day: int) or (yyyymmdd: str), but have "


@pytest.mark.parametrize(
    "args, message",
    [
        ((2023, 2, 29), "Day (29) must be between 1 and 28, for year 2023 and month 2"),
        ((2024, 2, 30), "Day (30) must be between 1 and 29, for year 2024 and month 2"),
        ((2024, 4, 0), "Day (0) must be between 1 and 30, for year 2024 and month 4"),
        ((1898, 12, 31), "Year (1898) must be >= 1899"),
        ((0, 13, 40), "Year (0) must be >= 1899"),
        ((2024, 13, 1), "Month (13) must be between 1 and 12"),
        ((2024, 0, 1), "Month (0) must be between 1 and 12"),
        (("2024-1-5",), "Unable to parse date string (2024-1-5) into integers"),
        (("2024-01-5",), "Need length of date string (9) to be 8 or 10"),
        (("",), "Need length of date string (0) to be 8 or 10"),
        (("20 40105",), "Unable to parse date string (20 40105) into integers"),
        (("-024-01-05",), "Unable to parse date string (-024-01-05) into integers"),
        (("2024-01-ab",), "Unable to parse date string (2024-01-ab) into integers"),
        (("2024-00-05",), "Month (0) must be between 1 and 12"),
        (("2024é15",), "Unable to parse date string (2024é15) into integers"),  # 8 UTF-8 bytes
        (("2024-01-05é",), "Need length of date string (12) to be 8 or 10"),  # bytes, not chars
        ((2024.0, 1, 1), SIGNATURES + "(2024.0, 1, 1)"),
        ((), SIGNATURES + "()"),
        ((20240105,), SIGNATURES + "(20240105,)"),
        ((2024, 1, 5, 0), SIGNATURES + "(2024, 1, 5, 0)"),
        ((b"20240105",), SIGNATURES + "(b'20240105',)"),
    ],
)
def test_constructor_errors(args, message):
    assert_value_error(lambda: Date(*args), message)


@pytest.mark.parametrize(
    "call",
    [lambda: Date(2024, 1, 256), lambda: Date(-1, 1, 1), lambda: Date(65536, 1, 1), lambda: Date(2024, -1, 1),
     lambda: Date(2024, 1, 2**64), lambda: Date.is_leap_year(70000), lambda: Date.is_leap_year(-1),
     lambda: Date.days_in_month(2024, 256)],
)  # fmt: skip
def test_integer_out_of_range_is_an_unprefixed_overflow(call):
    with pytest.raises(OverflowError) as info:
        call()
    assert type(info.value) is OverflowError and info.value.__cause__ is None
    assert str(info.value) == "out of range integral type conversion attempted"


def test_constructor_accepts_bools_and_int_and_str_subclasses():
    MyInt, MyStr = type("MyInt", (int,), {}), type("MyStr", (str,), {})
    assert Date(MyInt(2024), True, True).to_str() == "2024-01-01"
    assert Date(MyStr("2024-01-05")).to_int() == 45296
    assert Date.__new__(Date, 2024, 1, 5).to_str() == "2024-01-05"


@pytest.mark.parametrize(
    "year, leap", [(1900, False), (2000, True), (2024, True), (2023, False), (0, True), (65535, False)]
)
def test_leap_years_and_month_lengths(year, leap):
    assert Date.is_leap_year(year) is leap
    assert Date(2024, 1, 1).is_leap_year(year=year) is leap
    assert Date.days_in_month(year, 2) == Date.days_in_month(month=2, year=year) == (29 if leap else 28)
    assert [Date.days_in_month(year, m) for m in (1, 4, 12)] == [31, 30, 31]


@pytest.mark.parametrize("month", [0, 13, 255])
def test_days_in_month_with_a_bad_month_is_fatal(month):
    with raises_fatal(f"Invalid month ({month}), need to be betwen 1 and 12"):
        Date.days_in_month(2024, month)


def test_arithmetic():
    assert Date(2024, 3, 1) - Date(2024, 2, 1) == 29
    assert (Date(2024, 2, 1) + 29).to_str() == "2024-03-01"
    assert (Date(2024, 2, 1) + True).to_str() == "2024-02-02"
    d = Date(2024, 1, 5)
    assert d + 0 is not d and (d + 0).to_int() == d.to_int()


@pytest.mark.parametrize(
    "start, n, message",
    [
        ((1899, 1, 1), -1, "Year (1898) must be >= 1899"),
        ((1899, 1, 1), -366, "Year (1897) must be >= 1899"),
        ((65535, 12, 31), 1, "Date serial number (23242573) is out of range: the last date is 65535-12-31"),
        ((65535, 12, 31), 2**31 - 1, "Date serial number (2170726219) is out of range: the last date is 65535-12-31"),
        ((1899, 1, 1), -(2**31), "Date serial number (-2147484011) is out of range: the first date is 1899-01-01"),
    ],
)
def test_addition_out_of_range_is_fatal(start, n, message):
    with raises_fatal(message):
        Date(*start) + n


@pytest.mark.parametrize("n", [2**31, -(2**31) - 1, 1.0, "1", None])
def test_addition_of_non_int32_is_a_type_error(n):
    with pytest.raises(TypeError, match="unsupported operand type"):
        Date(2024, 1, 1) + n


class IndexRaises:
    def __init__(self, exc: BaseException) -> None:
        self.exc = exc

    def __index__(self) -> int:
        raise self.exc


@pytest.mark.parametrize(
    "exc, expected",
    [(TypeError("not an integer"), "unsupported operand type"), (KeyboardInterrupt(), None),
     (ValueError("boom"), "^boom$")],
)  # fmt: skip
def test_addition_propagates_errors_of_index_other_than_type_errors(exc, expected):
    with pytest.raises(type(exc), match=expected):
        Date(2024, 1, 1) + IndexRaises(exc)


@pytest.mark.parametrize("expr", [lambda d: 1 + d, lambda d: d - 1, lambda d: 1 - d, lambda d: d - "x"])
def test_unsupported_operands(expr):
    with pytest.raises(TypeError, match="unsupported operand type.*'Date'"):
        expr(Date(2024, 1, 1))


def test_identity_semantics():
    a, b = Date(2024, 1, 5), Date(2024, 1, 5)
    assert a != b and not (a == b) and a == a and len({a, b}) == 2
    with pytest.raises(TypeError):
        a < b  # noqa: B015


def test_get_ymd_is_an_opaque_fresh_object():
    d = Date(2024, 1, 5)
    ymd = d.get_ymd()
    assert type(ymd) is YearMonthDay and ymd is not d.get_ymd()
    assert repr(ymd).startswith("<vantorel.YearMonthDay object at 0x")


@pytest.mark.parametrize(
    "obj, signature",
    [(Date, "(*py_args)"), (Date.to_int, "($self)"), (Date.is_leap_year, "(year)"),
     (Date.days_in_month, "(year, month)")],
)  # fmt: skip
def test_text_signatures(obj, signature):
    assert obj.__text_signature__ == signature
    assert obj.__doc__ in ("", None)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: Date(year=2024, month=1, day=5), "Date.__new__() got an unexpected keyword argument 'year'"),
        (lambda: Date("2024-01-05", x=1), "Date.__new__() got an unexpected keyword argument 'x'"),
        (lambda: Date(2024, 1, 5).year(1), "Date.year() takes 0 positional arguments but 1 was given"),
        (lambda: Date.days_in_month(), "Date.days_in_month() missing 2 required positional arguments: 'year' and 'month'"),
        (lambda: Date.days_in_month(2024, 1, 2), "Date.days_in_month() takes 2 positional arguments but 3 were given"),
        (lambda: Date.days_in_month(2024, year=2024), "Date.days_in_month() got multiple values for argument 'year'"),
        (lambda: Date.days_in_month(2024, months=1), "Date.days_in_month() got an unexpected keyword argument 'months'"),
        (lambda: Date.is_leap_year(), "Date.is_leap_year() missing 1 required positional argument: 'year'"),
        (lambda: Date.is_leap_year(2024.0), "argument 'year': 'float' object cannot be interpreted as an integer"),
        (lambda: Date.days_in_month(2024, "2"), "argument 'month': 'str' object cannot be interpreted as an integer"),
    ],
)  # fmt: skip
def test_binding_errors(call, message):
    assert_type_error(call, message)
