"""Yield curves and interpolation: a noded curve read linearly and geometrically, and a flat curve."""

from __future__ import annotations

import math

from vantorel import Date, DayCounter, ExtrapType, Interpolator, InterpType, YieldCurve

CURVE_DATE = Date(2024, 1, 5)
# (days after the curve date, discount factor): a gently upward-sloping curve.
NODES = [(0, 1.0), (30, 0.99680), (91, 0.99010), (182, 0.98020), (365, 0.96000), (730, 0.92100), (1826, 0.80500)]
GRID_DAYS = [0, 15, 60, 120, 250, 365, 500, 1000, 1826, 2200]
FWD_DAYS = 91  # forward rates over three months


def rule(header: str) -> None:
    print(header)
    print("-" * len(header))


def show() -> None:
    dc = DayCounter.Act365
    dates = [CURVE_DATE + n for n, _ in NODES]
    dfs = [df for _, df in NODES]
    curves = {
        "linear": YieldCurve.create_noded(CURVE_DATE, dc, dates, dfs, InterpType.Linear),
        "geometric": YieldCurve.create_noded(CURVE_DATE, dc, dates, dfs, InterpType.Geometric),
    }

    print(f"Noded curve on {CURVE_DATE} ({dc}): the nodes")
    rule(f"{'date':<10}  {'days':>5}  {'tau':>8}  {'discount factor':>15}  {'zero rate':>9}")
    for d, (n, df) in zip(dates, NODES):
        tau = n / 365.0
        zero = f"{-math.log(df) / tau:9.4%}" if n else f"{'-':>9}"
        print(f"{d!s:<10}  {n:>5}  {tau:>8.4f}  {df:>15.6f}  {zero}")

    print()
    print(f"Linear against geometric (log-linear) interpolation; beyond {dates[-1]} the curves extrapolate")
    rule(
        f"{'date':<10}  {'df lin':>9}  {'df geo':>9}  {'o/n lin':>8}  {'o/n geo':>8}"
        f"  {'3M fwd lin':>10}  {'3M fwd geo':>10}"
    )
    for n in GRID_DAYS:
        d = CURVE_DATE + n
        lin, geo = curves["linear"], curves["geometric"]
        print(
            f"{d!s:<10}  {lin.get_df(d):>9.6f}  {geo.get_df(d):>9.6f}"
            f"  {lin.get_overnight_rate(d):>8.4%}  {geo.get_overnight_rate(d):>8.4%}"
            f"  {lin.get_fwd_rate(d, d + FWD_DAYS):>10.4%}  {geo.get_fwd_rate(d, d + FWD_DAYS):>10.4%}"
        )
    print("(geometric: the overnight rate is constant between two nodes and jumps at each node)")

    flat = YieldCurve.create_flat(CURVE_DATE, DayCounter.Act360, 0.03)
    print()
    print(f"Flat curve on {flat.get_curve_date()}: 3% continuously compounded, {flat.get_dc()}")
    rule(f"{'date':<10}  {'discount factor':>15}  {'overnight':>9}  {'1Y fwd df':>9}  {'1Y fwd rate':>11}")
    for n in (-360, 0, 90, 360, 1800):
        d = CURVE_DATE + n
        print(
            f"{d!s:<10}  {flat.get_df(d):>15.6f}  {flat.get_overnight_rate(d):>9.4%}"
            f"  {flat.get_fwd_df(d, d + 360):>9.6f}  {flat.get_fwd_rate(d, d + 360):>11.4%}"
        )

    print()
    print("Interpolator on (0, 1), (1, 2), (2, 8) by extrapolation rule")
    rule(f"{'x':>5}" + "".join(f"  {m + '/' + e:>12}" for m in ("lin", "geo") for e in ("Auto", "Flat", "Disabled")))
    xs, ys = [0.0, 1.0, 2.0], [1.0, 2.0, 8.0]
    interps = [
        Interpolator(xs, ys, method, extrap)
        for method in (InterpType.Linear, InterpType.Geometric)
        for extrap in (ExtrapType.Auto, ExtrapType.Flat, ExtrapType.Disabled)
    ]
    for x in (-1.0, 0.0, 0.5, 1.0, 1.5, 2.0, 3.0):
        print(f"{x:>5}" + "".join(f"  {i.interpolate(x):>12.6f}" for i in interps))


if __name__ == "__main__":
    show()
