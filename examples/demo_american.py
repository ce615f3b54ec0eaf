"""American puts: value beside the European one, the early-exercise boundary, cash dividends."""

from __future__ import annotations

import pathlib

import numpy as np

import demo_plots

STRIKE, RATE, DIV_YIELD, TAU, VOL, PUT = 100.0, 0.05, 0.02, 1.0, 0.2, 0


def show() -> None:
    import vantorel_np as vn

    spots = np.array([80.0, 90.0, 100.0, 110.0, 120.0])
    american = vn.american_npv(spots, STRIKE, RATE, DIV_YIELD, TAU, PUT, VOL)
    european = vn.npv(spots, STRIKE, RATE, DIV_YIELD, TAU, PUT, VOL)
    cash = vn.cash_dividend_npv(spots, STRIKE, RATE, 0.0, TAU, PUT, VOL, [0.25, 0.75], [1.0, 1.0])
    print(f"One-year puts, strike {STRIKE:g}, rate {RATE:.0%}, vol {VOL:.0%}")
    print(f"  {'spot':>6} {'European':>10} {'American':>10} {'premium':>9} {'2 x 1.00 cash':>14}")
    for s, e, a, c in zip(spots, european, american, cash):
        print(f"  {s:6.1f} {e:10.4f} {a:10.4f} {a - e:9.4f} {c:14.4f}")
    times, boundary = vn.exercise_boundary(STRIKE, RATE, DIV_YIELD, TAU, PUT, VOL, points=5)
    print("  exercise at or below: " + ", ".join(f"{b:.2f} ({t:.2f}y)" for t, b in zip(times, boundary)))


def write_figure(out_dir: pathlib.Path) -> pathlib.Path:
    """European and American put values against spot, and the exercise boundary."""
    import vantorel_np as vn

    plt = demo_plots._pyplot()
    spots = np.linspace(50.0, 150.0, 201)
    fig, (left, right) = plt.subplots(1, 2, figsize=(11, 4))
    left.plot(spots, vn.npv(spots, STRIKE, RATE, DIV_YIELD, TAU, PUT, VOL), label="European")
    left.plot(spots, vn.american_npv(spots, STRIKE, RATE, DIV_YIELD, TAU, PUT, VOL), label="American")
    left.plot(spots, np.maximum(STRIKE - spots, 0.0), ":", color="grey", label="intrinsic")
    left.set(title="Put value (K=100, T=1y, r=5%, q=2%, vol 20%)", xlabel="spot", ylabel="value")
    left.legend()
    times, boundary = vn.exercise_boundary(STRIKE, RATE, DIV_YIELD, TAU, PUT, VOL, points=201)
    right.plot(times, boundary, color="tab:red")
    right.fill_between(times, 0.9 * boundary.min(), boundary, color="tab:red", alpha=0.15, label="exercise")
    right.set(title="Early-exercise boundary", xlabel="time to expiry (years)", ylabel="spot")
    right.legend()
    path = out_dir / "american_put.png"
    try:
        fig.savefig(path, dpi=100, bbox_inches="tight")
    finally:
        plt.close(fig)
    return path
