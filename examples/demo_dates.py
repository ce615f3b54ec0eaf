"""Dates, tenors, calendars and day counters: a month-end schedule and its year fractions."""

from __future__ import annotations

from vantorel import Calendar, Date, DayCounter, Tenor

START = Date(2024, 1, 31)
TENORS = ["0M", "1M", "2M", "3M", "6M", "9M", "1Y", "13M", "2Y", "-1M", "2W", "10D"]
DAY_COUNTERS = ["Act365", "Act360", "Thirty360"]
UNIT_WORDS = {"D": "days", "B": "bus. days", "W": "weeks", "M": "months", "Y": "years"}


def fraction_column(dc: DayCounter, start: Date, ends: list[Date]) -> list[str]:
    """Year fractions with six decimals; a convention without a computation
    (it fails with FatalError, a BaseException) shows the failure's text."""
    try:
        return [f"{dc.get_dcf(start, end):.6f}" for end in ends]
    except BaseException as e:
        if type(e).__name__ != "FatalError":
            raise
        return [str(e)] * len(ends)


def show() -> None:
    week = Calendar("VT_WEEK")
    print(f"Schedule from {START} by tenor (calendar {week.get_name()}; no end-of-month rule,")
    print("days clamped to the end of shorter months)")
    header = f"{'tenor':>6}  {'count':>5} {'unit':<9}  {'date':<10}  {'weekday':<9}  {'business day':<12}"
    print(header)
    print("-" * len(header))
    dates = []
    for text in TENORS:
        tenor = Tenor(text)
        d = START.add_tenor(text)
        dates.append((text, d))
        weekday = str(d.weekday()).removeprefix("Weekday.")
        flag = "yes" if d.is_business_day(week) else "no (weekend)"
        unit = UNIT_WORDS[str(tenor.unit).removeprefix("TenorUnit.")]
        print(f"{str(tenor):>6}  {tenor.count:>5} {unit:<9}  {d!s:<10}  {weekday:<9}  {flag}")

    print()
    print(f"Year fractions from {START}")
    header = f"{'tenor':>6}  {'date':<10}  {'days':>5}" + "".join(f"  {name:>17}" for name in DAY_COUNTERS)
    print(header)
    print("-" * len(header))
    columns = [fraction_column(DayCounter(name), START, [d for _, d in dates]) for name in DAY_COUNTERS]
    for row, (text, d) in enumerate(dates):
        cells = "".join(f"  {column[row]:>17}" for column in columns)
        print(f"{text:>6}  {d!s:<10}  {d - START:>5}{cells}")
    print("(Thirty360 has no computation: it raises native_runtime.FatalError \"not implemented\",")
    print(" of which the library also writes a one-line diagnostic to standard error)")


if __name__ == "__main__":
    show()
