"""Market conventions: a TARGET calendar, business-day rules and a 5-year quarterly schedule."""

from __future__ import annotations

import numpy as np

import vantorel_rates as vr
from vantorel import BusDayAdj


def show() -> None:
    target = vr.Calendar("TARGET")
    print(f"Calendars: {', '.join(vr.calendar_names())}")
    print(f"TARGET holidays in 2025: {', '.join(str(d) for d in target.holidays('2025-01-01', '2025-12-31'))}")
    trade = "2025-12-23"
    spot = target.advance(trade, "2B")
    print(f"Trade {trade}, spot (T+2 business days): {spot}")
    days = np.arange("2025-12-24", "2026-01-03", dtype="datetime64[D]")
    adjusted = vr.adjust(target, days, BusDayAdj.ModFollowing)
    print("Modified following over the year end:")
    for day, adj in zip(days, adjusted, strict=True):
        print(f"  {day} -> {adj}")
    maturity = target.advance(spot, "5Y", BusDayAdj.Unadjusted)  # adjusted as the last date
    s = vr.schedule(spot, maturity, "3M", target, BusDayAdj.ModFollowing)
    fractions = vr.year_fraction(vr.DayCount.Act360, s.start_dates, s.end_dates)
    print(f"5-year quarterly schedule from {spot}: {len(s)} dates, {len(fractions)} periods")
    for start, end, yf in list(zip(s.start_dates, s.end_dates, fractions, strict=True))[:4]:
        print(f"  {start} .. {end}  Act/360 {yf:.6f}")
    print(f"  ... last period ends {s.end_dates[-1]}; sum of fractions {fractions.sum():.6f}")
