"""Tenor parsing and text form, and Date.add_tenor against an independent month/year computation."""

from __future__ import annotations

import calendar
import datetime

import pytest
from hypothesis import given
from hypothesis import strategies as st

from vantorel import Date, Tenor, TenorUnit

STRING_FORM = "Invalid tenor string ({}), need to be of the form '<count><unit>'"
EPOCH = datetime.date(1899, 12, 30)  # serial day 0


def fatal(call, message: str) -> None:
    """call() must raise native_runtime.FatalError with message, past `except Exception`."""
    try:
        try:
            call()
        except Exception:  # pragma: no cover - a FatalError must not be caught here
            pytest.fail("FatalError was caught as an Exception")
    except BaseException as e:  # noqa: BLE001
        assert (type(e).__module__, type(e).__name__, str(e)) == ("native_runtime", "FatalError", message)
    else:
        pytest.fail("no FatalError")


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
    for call in (lambda: Tenor(text), lambda: Date(2024, 1, 1).add_tenor(t=text)):
        with pytest.raises(ValueError) as info:
            call()
        assert str(info.value) == message


@pytest.mark.parametrize(
    ("text", "message"),
    [("", "Tenor string is empty, need to be of the form '<count><unit>'"),
     ("3\u00e9", "Tenor string (3\u00e9) does not end in an ASCII unit letter"),
     ("1\u20ac", "Tenor string (1\u20ac) does not end in an ASCII unit letter")],
)
def test_unsplittable_text_is_fatal(text: str, message: str) -> None:
    fatal(lambda: Tenor(text), message)
    fatal(lambda: Date(2024, 1, 1).add_tenor(text), message)
    assert str(Tenor("1D")) == "1D"  # still usable


@pytest.mark.parametrize(
    ("call", "message"),
    [(lambda: Tenor(5), "argument 's': expected str, got int"),
     (lambda: Date(2024, 1, 1).add_tenor(Tenor("1D")), "argument 't': expected str, got Tenor"),
     (lambda: Tenor(), "Tenor.__new__() missing 1 required positional argument: 's'"),
     (lambda: Tenor("1D", "2D"), "Tenor.__new__() takes 1 positional argument but 2 were given"),
     (lambda: Tenor(x="1D"), "Tenor.__new__() got an unexpected keyword argument 'x'"),
     (lambda: Tenor.__new__(Tenor, 1), "argument 's': expected str, got int")],
)
def test_argument_errors(call, message: str) -> None:
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message
    if message.startswith("argument"):
        assert type(info.value.__cause__) is TypeError


def test_tenor_is_a_read_only_identity_value() -> None:
    t = Tenor("3M")
    for attr in ("count", "unit", "other"):
        with pytest.raises(AttributeError):
            setattr(t, attr, 1)
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
    fatal(lambda: Date(*start).add_tenor(tenor), message)


def reference_triple(d: datetime.date, count: int, unit: str) -> tuple[int, int, int]:
    """The moved (year, month, day), computed without vantorel; years may leave datetime's range."""
    if unit in "DW":
        serial = (d - EPOCH).days + count * (7 if unit == "W" else 1)
        ordinal = EPOCH.toordinal() + serial
        if 1 <= ordinal <= datetime.date.max.toordinal():
            moved = datetime.date.fromordinal(ordinal)
            return moved.year, moved.month, moved.day
        return (0 if ordinal < 1 else 10000), 1, 1  # only the side of the range matters
    months = (d.month - 1) + count * (12 if unit == "Y" else 1)
    year, month = d.year + months // 12, months % 12 + 1
    if year < 1 or year > 65535:
        return year, month, 1
    return year, month, min(d.day, calendar.monthrange(year, month)[1])


@given(
    st.dates(min_value=datetime.date(1899, 1, 1), max_value=datetime.date(9999, 12, 31)),
    st.one_of(st.integers(-400, 400), st.integers(-32768, 32767)),
    st.sampled_from("DWMY"),
)
def test_add_tenor_matches_reference(d: datetime.date, count: int, unit: str) -> None:
    year, month, day = reference_triple(d, count, unit)
    start = Date(d.year, d.month, d.day)
    if year < 1899 or year > 65535:
        with pytest.raises(BaseException) as info:
            start.add_tenor(f"{count}{unit}")
        assert type(info.value).__name__ == "FatalError"
    elif year == 10000 and unit in "DW":  # past datetime's range: check the serial instead
        expected = (d - EPOCH).days + count * (7 if unit == "W" else 1)
        assert start.add_tenor(f"{count}{unit}").to_int() == expected
    else:
        assert start.add_tenor(f"{count}{unit}").to_str() == f"{year:04d}-{month:02d}-{day:02d}"
