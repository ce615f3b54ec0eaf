"""Curves from market quotes, a bond and a swap on them, and a figure of the curve beside its quotes."""

from __future__ import annotations

import pathlib

import demo_plots

import vantorel as vt
import vantorel_rates as vr

CAL, MF = vr.Calendar("TARGET"), vt.BusDayAdj.ModFollowing
TODAY = vt.Date(2025, 3, 14)
SPOT = vr.advance(CAL, TODAY, "2B")
ESTR = {"1W": 0.0265, "1M": 0.0262, "3M": 0.0255, "6M": 0.0245, "1Y": 0.0232, "2Y": 0.0221, "3Y": 0.0222,
        "5Y": 0.0229, "7Y": 0.0237, "10Y": 0.0249, "15Y": 0.0262, "20Y": 0.0264, "30Y": 0.0255}  # fmt: skip


def estr_swap(tenor: str, rate: float) -> vr.CurveInstrument:
    s = vr.schedule(SPOT, vr.advance(CAL, SPOT, tenor, MF), "1Y", CAL, MF)
    legs = [leg(s, vr.DayCount.Act360, payment_lag=1, calendar=CAL) for leg in (vr.fixed_leg, vr.float_leg)]
    return vr.CurveInstrument.swap(f"ESTR {tenor}", legs[0], legs[1], rate)


def build() -> tuple[vt.YieldCurve, list[vr.CurveInstrument]]:
    quotes = [estr_swap(t, r) for t, r in ESTR.items()]
    return vr.bootstrap(TODAY, vt.DayCounter.Act365, vt.InterpType.Geometric, quotes), quotes


def show() -> None:
    curve, quotes = build()
    print(f"ESTR curve from {len(quotes)} overnight swaps on {TODAY}; each reprices its quote:")
    for q in quotes[::3]:
        print(f"  {q.get_name():<9} pillar {q.get_pillar_date()}  quote {q.get_rate():.4%}  "
              f"implied {q.implied_rate(curve, curve):.10%}  df {curve.get_df(q.get_pillar_date()):.8f}")
    five = vr.schedule(SPOT, vr.advance(CAL, SPOT, "5Y", MF), "3M", CAL, MF)
    bond = vr.FixedRateBond(vr.fixed_leg(five, vr.DayCount.Act360, 100.0), 0.03, vr.DayCount.Act360, 100.0, 100.0)
    clean = bond.clean_price(curve, SPOT)
    y = bond.yield_from_price(clean, vr.DayCount.Act360, vr.Compounding.Compounded, 4, SPOT)
    print(f"5Y 3% quarterly bond: clean {clean:.4f}, yield {y:.6%}, "
          f"modified duration {bond.modified_duration(y, vr.DayCount.Act360, vr.Compounding.Compounded, 4, SPOT):.4f}")
    annual = vr.schedule(SPOT, vr.advance(CAL, SPOT, "5Y", MF), "1Y", CAL, MF)
    payer = vr.Swap(vt.PayerReceiverFlag.Payer, vr.fixed_leg(annual, vr.DayCount.Act360, 1e7, 1, CAL),
                    vr.float_leg(annual, vr.DayCount.Act360, 1e7, 1, CAL), 0.0220, 0.0)
    print(f"5Y payer OIS at 2.20% on 10m: NPV {payer.npv(curve, curve):,.2f}, fair rate {payer.fair_rate(curve, curve):.6%}")


def write_figures(out_dir: pathlib.Path) -> list[pathlib.Path]:
    """The bootstrapped curve's zero rates and one-year forwards beside the quotes at their pillars."""
    curve, quotes = build()
    plt = demo_plots._pyplot()
    years = [(q.get_pillar_date() - TODAY) / 365.0 for q in quotes]

    def zero(t: float) -> float:
        d = TODAY + max(1, round(t * 365))
        return -vt.ln(curve.get_df(d)) / ((d - TODAY) / 365.0)

    def forward(t: float) -> float:
        d = TODAY + round(t * 365)
        return curve.get_fwd_rate(d, d + 365)

    vt.plot_function(zero, 0.02, 30.0, show=False, n=300, figsize=(8.0, 5.0), label="zero rate (continuous)")
    vt.plot_function(forward, 0.0, 29.0, show=False, n=300, label="1Y forward (simple)", color="tab:green")
    path = out_dir / "bootstrapped_curve.png"
    try:
        plt.plot(years, [q.get_rate() for q in quotes], "o", color="tab:red", label="ESTR swap quotes")
        plt.title("ESTR curve bootstrapped from its quotes")
        plt.xlabel("years from 2025-03-14")
        plt.ylabel("rate")
        plt.legend(loc="lower right")
        out_dir.mkdir(parents=True, exist_ok=True)
        plt.savefig(path, dpi=100, bbox_inches="tight")
    finally:
        plt.close()
    return [path]
