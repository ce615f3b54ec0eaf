"""Coverage-guided fuzzing of the text parsers against a model of their rules.

Date(str), Tenor(str), Calendar(str), DayCounter(str) and Date.add_tenor(str)
get texts from libFuzzer (through atheris; the extension built with coverage
instrumentation by scripts/fuzz.sh). Each outcome, value or exception, is
checked against the model below, written from the parsing rules alone; a
crash, a mismatch or an unexpected exception stops the run with the input.

Usage: python tests/fuzz/fuzz_parsers.py [libFuzzer options, e.g. -max_total_time=60 CORPUS_DIR]
"""

import ctypes
import os
import re
import sys

import atheris

FIRST, LAST = -363, 23242572  # serials of 1899-01-01 and 65535-12-31
UNITS = "DBWMY"  # letter order = TenorUnit codes


class Fatal(Exception):
    """The model's FatalError (native_runtime.FatalError, a BaseException)."""


def days_from_civil(y: int, m: int, d: int) -> int:
    """Days from 1899-12-30 to y-m-d, proleptic Gregorian (era arithmetic)."""
    y -= m <= 2
    era, yoe = divmod(y, 400)
    doy = (153 * (m - 3 if m > 2 else m + 9) + 2) // 5 + d - 1
    return era * 146097 + yoe * 365 + yoe // 4 - yoe // 100 + doy - 693899


def civil_from_days(serial: int) -> tuple[int, int, int]:
    z = serial + 693899
    era, doe = divmod(z, 146097)
    yoe = (doe - doe // 1460 + doe // 36524 - doe // 146096) // 365
    doy = doe - (365 * yoe + yoe // 4 - yoe // 100)
    mp = (5 * doy + 2) // 153
    d, m = doy - (153 * mp + 2) // 5 + 1, mp + 3 if mp < 10 else mp - 9
    return era * 400 + yoe + (m <= 2), m, d


def month_days(y: int, m: int) -> int:
    leap = y % 4 == 0 and (y % 100 != 0 or y % 400 == 0)
    return [31, 29 if leap else 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][m - 1]


def check_triple(y: int, m: int, d: int) -> str | None:
    if y < 1899:
        return f"Year ({y}) must be >= 1899"
    if not 1 <= m <= 12:
        return f"Month ({m}) must be between 1 and 12"
    if not 1 <= d <= month_days(y, m):
        return f"Day ({d}) must be between 1 and {month_days(y, m)}, for year {y} and month {m}"
    return None


def model_date(text: str) -> int:
    """The serial of Date(text), or raises ValueError."""
    b = text.encode()
    if len(b) not in (8, 10):
        raise ValueError(f"Need length of date string ({len(b)}) to be 8 or 10")
    parts = (b[0:4], b[5:7], b[8:10]) if len(b) == 10 else (b[0:4], b[4:6], b[6:8])
    if not all(re.fullmatch(rb"\+?[0-9]+", p) for p in parts):
        raise ValueError(f"Unable to parse date string ({text}) into integers")
    y, m, d = (int(p) for p in parts)
    if error := check_triple(y, m, d):
        raise ValueError(error)
    return days_from_civil(y, m, d)


def model_tenor(text: str) -> tuple[int, str]:
    """(count, unit letter) of Tenor(text), or raises ValueError / Fatal."""
    b = text.encode()
    if not b:
        raise Fatal("Tenor string is empty, need to be of the form '<count><unit>'")
    if b[-1] >= 0x80:  # the fatal text is a C string: it ends at a NUL
        raise Fatal(f"Tenor string ({text}) does not end in an ASCII unit letter".split("\0")[0])
    if not re.fullmatch(rb"[+-]?[0-9]+", b[:-1]) or not -32768 <= int(b[:-1]) <= 32767:
        raise ValueError(f"Invalid tenor string ({text}), need to be of the form '<count><unit>'")
    if chr(b[-1]) not in UNITS:
        raise ValueError(f"Invalid tenor unit ({chr(b[-1])}), can only have D, B, W, M, Y")
    return int(b[:-1]), chr(b[-1])


def model_add_tenor(serial: int, text: str) -> int:
    """The serial of Date(serial).add_tenor(text), or raises ValueError / Fatal
    (Fatal(None) when only the kind of the failure is fixed)."""
    count, unit = model_tenor(text)
    if unit == "B":
        raise Fatal("Cannot add TenorUnit::B without a calendar input")
    if unit in "DW":
        result = serial + count * (7 if unit == "W" else 1)
        if not FIRST <= result <= LAST:
            raise Fatal(None)
        return result
    y, m, d = civil_from_days(serial)
    if unit == "M":
        years, month0 = divmod(m - 1 + count, 12)
        y, m = y + years, month0 + 1
    else:
        y += count
    if not 1899 <= y <= 65535:
        raise Fatal(f"Year ({y}) must be >= 1899" if 0 <= y < 1899 else None)
    return days_from_civil(y, m, min(d, month_days(y, m)))


def model_name(text: str, names: list[str], what: str) -> str:
    text.encode()  # the name is read as UTF-8 like every text argument
    if text in names:
        return text
    raise ValueError(f"Unknown {what} name ({text})")


def outcome(call):
    """("ok", value) or (exception kind, message)."""
    try:
        return "ok", call()
    except UnicodeEncodeError:
        return "UnicodeEncodeError", None
    except (ValueError, Fatal) as exc:
        return type(exc).__name__, exc.args[0]
    except BaseException as exc:
        if type(exc).__name__ != "FatalError":
            raise
        return "Fatal", str(exc)


def as_date(serial: int) -> tuple[int, str]:
    """A date as compared: serial and text form (this one from the model's calendar)."""
    y, m, d = civil_from_days(serial)
    return serial, f"{y:04d}-{m:02d}-{d:02d}"


def checks(text: str, serial: int) -> list:
    """(what, the module's call, the model's call) for each parser."""
    start = Date(1899, 12, 30) + serial
    tenor = lambda t: (t.count, UNITS[int(t.unit)], str(t))  # noqa: E731
    date = lambda d: (d.to_int(), str(d))  # noqa: E731
    return [
        (f"Date({text!r})", lambda: date(Date(text)), lambda: as_date(model_date(text))),
        (f"Tenor({text!r})", lambda: tenor(Tenor(text)), lambda: (lambda c, u: (c, u, f"{c}{u}"))(*model_tenor(text))),
        (f"{start!r}.add_tenor({text!r})",
         lambda: (*date(start.add_tenor(text)), *date(start)),  # the receiver unchanged
         lambda: (*as_date(model_add_tenor(serial, text)), *as_date(serial))),
        (f"Calendar({text!r})", lambda: Calendar(text).get_name(),
         lambda: model_name(text, ["VT_WEEK", "VT_NONE"], "calendar")),
        (f"DayCounter({text!r})", lambda: repr(DayCounter(text)),
         lambda: "DayCounter." + model_name(text, ["Act365", "Act360", "Thirty360"], "day-counter")),
    ]  # fmt: skip


def import_module() -> None:
    """Imports the extension once Fuzz() has loaded libFuzzer, whose symbols its
    coverage instrumentation needs: they are made global first (unless libFuzzer
    was preloaded together with the sanitizers)."""
    global Calendar, Date, DayCounter, Tenor
    libfuzzer = sys.modules.get("atheris.core_with_libfuzzer")
    if libfuzzer is not None:
        ctypes.CDLL(libfuzzer.__file__, mode=os.RTLD_GLOBAL | os.RTLD_NOLOAD)
    from vantorel import Calendar, Date, DayCounter, Tenor


def test_one_input(data: bytes) -> None:
    if "vantorel" not in sys.modules:
        import_module()
    fdp = atheris.FuzzedDataProvider(data)
    target = fdp.ConsumeIntInRange(0, 4)
    serial = fdp.ConsumeIntInRange(FIRST, LAST)
    what, call, model = checks(fdp.ConsumeUnicode(fdp.ConsumeIntInRange(0, 24)), serial)[target]
    saved = os.dup(2)
    os.dup2(DEVNULL, 2)  # the stderr diagnostics of fatal errors
    try:
        got = outcome(call)
    finally:
        os.dup2(saved, 2)
        os.close(saved)
    expected = outcome(model)  # a lone surrogate: UnicodeEncodeError from text.encode()
    if expected[0] == "Fatal" and expected[1] is None:
        expected = ("Fatal", got[1])  # the kind is fixed, the text is not
    if got != expected:
        raise AssertionError(f"{what}: got {got!r}, expected {expected!r}")


if __name__ == "__main__":
    DEVNULL = os.open(os.devnull, os.O_WRONLY)
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()
