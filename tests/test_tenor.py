"""Tenor parsing and text form, and Date.add_tenor against an independent month/year computation."""

import calendar
import datetime

import pytest
from hypothesis import assume, given
from hypothesis import strategies as st
from support import assert_type_error, assert_value_error, raises_fatal

from vantorel import Date, Tenor, TenorUnit

STRING_FORM = "Invalid tenor string ({}), need to be of the form '<count><unit>'"
FIRST = datetime.date(1899, 1, 1)
DATES = st.dates(min_value=FIRST, max_value=datetime.date(9999, 12, 31))


@pytest.mark.parametrize(
    ("text", "count", "unit", "form"),
    [("3M", 3, TenorUnit.M, "3M"), ("-1Y", -1, TenorUnit.Y, "-1Y"), ("+03M", 3, TenorUnit.M, "3M"),
     ("-0D", 0, TenorUnit.D, "0D"), ("32767D", 32767, TenorUnit.D, "32767D"),
     ("-32768W", -32768, TenorUnit.W, "-32768W"), ("0001B", 1, TenorUnit.B, "1B"), ("2W", 2, TenorUnit.W, "2W")],
)
def test_parse_and_text_form(text: str, count: int, unit: TenorUnit, form: str) -> None:
    t = Tenor(s=text)
    assert (t.count, t.unit, str(t), repr(t)) == (count, unit, form, f"Tenor('{form}')")
    assert t.unit is not t.unit and t.unit is not unit  # a new member object on every read


@pytest.mark.parametrize(
    ("text", "message"),
    [*[(s, STRING_FORM.format(s)) for s in
       ["32768D", "-32769D", "M", "1", " 3M", "3M ", "xQ", "+M", "3.0M", "1_0D", "--1D", "+-1D", "99999999999999999999D"]],
     ("3m", "Invalid tenor unit (m), can only have D, B, W, M, Y"),
     ("3 ", "Invalid tenor unit ( ), can only have D, B, W, M, Y"),
     ("-7Q", "Invalid tenor unit (Q), can only have D, B, W, M, Y")],
)
def test_parse_errors(text: str, message: str) -> None:
    assert_value_error(lambda: Tenor(text), message)
    assert_value_error(lambda: Date(2024, 1, 1).add_tenor(t=text), message)


@pytest.mark.parametrize(
    ("text", "message"),
    [("", "Tenor string is empty, need to be of the form '<count><unit>'"),
     ("3\u00e9", "Tenor string (3\u00e9) does not end in an ASCII unit letter"),
     ("1\u20ac", "Tenor string (1\u20ac) does not end in an ASCII unit letter")],
)
def test_unsplittable_text_is_fatal(text: str, message: str) -> None:
    with raises_fatal(message):
        Tenor(text)
    with raises_fatal(message):
        Date(2024, 1, 1).add_tenor(text)
    assert str(Tenor("1D")) == "1D"  # still usable


LONG = "9" * 1_000_000 + "\u00e9"


@pytest.mark.parametrize(
    ("text", "line"),
    [("1\nvantorel: fatal error: forged\r\x1b[2J\x9b\\\u00e9",
      "Tenor string (1\\x0avantorel: fatal error: forged\\x0d\\x1b[2J\\x9b\\\\\u00e9) does not end in an ASCII unit letter"),
     (LONG, "Tenor string (" + "9" * 186 + f"... [cut, {len(LONG) + 53} bytes in all]")],
)  # fmt: skip
def test_fatal_diagnostic_is_one_escaped_bounded_line(capfd, text: str, line: str) -> None:
    # The exception carries the text unchanged; the stderr line can neither be
    # forged by control characters nor flooded by a long input.
    with raises_fatal(f"Tenor string ({text}) does not end in an ASCII unit letter"):
        Tenor(text)
    diagnostic = capfd.readouterr().err
    assert diagnostic.startswith("vantorel: fatal error at ") and diagnostic.endswith(f": {line}\n")
    assert diagnostic.count("\n") == 1


@pytest.mark.parametrize(
    ("call", "message"),
    [(lambda: Tenor(5), "argument 's': expected str, got int"),
     (lambda: Date(2024, 1, 1).add_tenor(Tenor("1D")), "argument 't': expected str, got Tenor"),
     (lambda: Tenor.__new__(Tenor, 1), "argument 's': expected str, got int"),
     # Constructors bind through the same path as methods, under the name __new__.
     (lambda: Tenor(), "Tenor.__new__() missing 1 required positional argument: 's'"),
     (lambda: Tenor("1D", "2D"), "Tenor.__new__() takes 1 positional argument but 2 were given"),
     (lambda: Tenor(t="1D"), "Tenor.__new__() got an unexpected keyword argument 't'"),
     (lambda: Tenor.__new__(Tenor, "1D", s="2D"), "Tenor.__new__() got multiple values for argument 's'")],
)
def test_argument_errors(call, message: str) -> None:
    assert_type_error(call, message)


def test_tenor_is_a_read_only_identity_value() -> None:
    t = Tenor("3M")
    with pytest.raises(AttributeError, match="^attribute 'count' of 'Tenor' objects is not writable$"):
        t.count = 4  # type: ignore[misc]
    assert t != Tenor("3M") and t == t
    assert (Tenor.__text_signature__, Date.add_tenor.__text_signature__) == ("(s)", "($self, t)")


@pytest.mark.parametrize(
    ("start", "tenor", "result"),
    [((2024, 1, 31), "1M", "2024-02-29"), ((2024, 1, 31), "13M", "2025-02-28"), ((2024, 3, 31), "-1M", "2024-02-29"),
     ((2024, 1, 15), "-1M", "2023-12-15"), ((2024, 1, 15), "-13M", "2022-12-15"), ((2024, 2, 29), "1M", "2024-03-29"),
     ((2024, 2, 29), "1Y", "2025-02-28"), ((2024, 2, 29), "4Y", "2028-02-29"), ((2024, 1, 1), "2W", "2024-01-15"),
     ((2024, 1, 1), "-1D", "2023-12-31"), ((2024, 1, 1), "0D", "2024-01-01"), ((65535, 1, 31), "11M", "65535-12-31"),
     ((1899, 1, 1), "32767W", "2526-12-29"), ((65535, 12, 31), "-32768Y", "32767-12-31")],
)
def test_add_tenor_examples(start: tuple[int, int, int], tenor: str, result: str) -> None:
    d = Date(*start)
    moved = d.add_tenor(tenor)
    assert moved.to_str() == result and moved is not d and d.to_str() == Date(*start).to_str()


@pytest.mark.parametrize(
    ("start", "tenor", "message"),
    [((2024, 1, 1), "1B", "Cannot add TenorUnit::B without a calendar input"),
     ((1900, 1, 1), "-2Y", "Year (1898) must be >= 1899"),
     ((1899, 1, 31), "-1M", "Year (1898) must be >= 1899"),
     ((1899, 1, 1), "-1D", "Year (1898) must be >= 1899"),
     ((1899, 1, 1), "-32768Y", "Year (-30869) must be >= 1899"),
     ((1899, 1, 1), "-32768W", "Year (1270) must be >= 1899"),
     ((65535, 12, 1), "1M", "Year (65536) must be <= 65535"),
     ((65535, 12, 31), "32767Y", "Year (98302) must be <= 65535"),
     ((65535, 12, 31), "1D", "Date serial number (23242573) is out of range: the last date is 65535-12-31"),
     ((65535, 12, 31), "32767W", "Date serial number (23471941) is out of range: the last date is 65535-12-31")],
)
def test_add_tenor_fatal(start: tuple[int, int, int], tenor: str, message: str) -> None:
    with raises_fatal(message):
        Date(*start).add_tenor(tenor)


@given(DATES, st.one_of(st.integers(-400, 400), st.integers(-32768, 32767)), st.sampled_from("DWMY"))
def test_add_tenor_matches_reference(d: datetime.date, count: int, unit: str) -> None:
    """Days and weeks against datetime; months and years against a month count with clamping."""
    if unit in "DW":
        ordinal = d.toordinal() + count * (7 if unit == "W" else 1)
        assume(ordinal <= datetime.date.max.toordinal())
        ymd = datetime.date.fromordinal(ordinal).timetuple()[:3] if ordinal >= FIRST.toordinal() else None
    else:
        year, month = divmod(d.year * 12 + (d.month - 1) + count * (12 if unit == "Y" else 1), 12)
        month += 1
        ymd = (year, month, min(d.day, calendar.monthrange(year, month)[1])) if 1899 <= year <= 65535 else None
    start = Date(d.year, d.month, d.day)
    if ymd is None:
        with pytest.raises(BaseException) as info:
            start.add_tenor(f"{count}{unit}")
        assert type(info.value).__name__ == "FatalError"
    else:
        assert start.add_tenor(f"{count}{unit}").to_str() == "%04d-%02d-%02d" % ymd
