"""The vantorel demo: dates and calendars, market conventions, an option book, yield curves, a million options
on a Dask cluster, and figures.

Runs on built-in sample data with no arguments; an optional argument names the
folder for the figures (default: demo-output in the current directory).
"""

from __future__ import annotations

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).parent))

import demo_book  # noqa: E402
import demo_curves  # noqa: E402
import demo_dates  # noqa: E402
import demo_instruments  # noqa: E402
import demo_plots  # noqa: E402
import demo_pricer  # noqa: E402
import demo_rates  # noqa: E402

import vantorel  # noqa: E402
from vantorel import BlackScholes, Date, DayCounter, InterpType, PutCallFlag, YieldCurve  # noqa: E402


def heading(title: str) -> None:
    print()
    print(title)
    print("=" * len(title))


def write_figures(out_dir: pathlib.Path) -> list[pathlib.Path]:
    """Option value and delta against spot, a discount curve, and erf."""
    strike, rate, div_yield, tau, vol = 100.0, 0.05, 0.02, 1.0, 0.2

    def call_value(spot: float) -> float:
        return BlackScholes.npv(spot, strike, rate, div_yield, tau, PutCallFlag.Call, vol)

    def put_value(spot: float) -> float:
        return BlackScholes.npv(spot, strike, rate, div_yield, tau, PutCallFlag.Put, vol)

    def call_delta(spot: float) -> float:
        return BlackScholes.delta(spot, strike, rate, div_yield, tau, PutCallFlag.Call, vol)

    curve_date = Date(2024, 1, 2)
    node_dates = [curve_date + days for days in (0, 91, 182, 365, 730, 1826, 3652)]
    dfs = [1.0, 0.9880, 0.9762, 0.9531, 0.9080, 0.7890, 0.6130]
    curve = YieldCurve.create_noded(curve_date, DayCounter.Act365, node_dates, dfs, InterpType.Geometric)

    def discount(days: float) -> float:
        return curve.get_df(curve_date + int(days))

    out_dir.mkdir(parents=True, exist_ok=True)
    save = demo_plots.save_plot
    return [
        save(call_value, 50.0, 150.0, out_dir / "call_value.png", "Call value against spot (K=100, T=1y)",
             xlabel="spot", ylabel="value", n=200, label="call"),
        save(put_value, 50.0, 150.0, out_dir / "put_value.png", "Put value against spot (K=100, T=1y)",
             xlabel="spot", ylabel="value", n=200, label="put", color="tab:red"),
        save(call_delta, 50.0, 150.0, out_dir / "call_delta.png", "Call delta against spot",
             xlabel="spot", ylabel="delta", n=200, label="delta"),
        save(discount, 0.0, 3653.0, out_dir / "discount_curve.png", "Discount factors (log-linear)",
             xlabel="days from 2024-01-02", ylabel="discount factor", n=365, label="df"),
        *demo_plots.write_figures(out_dir),
        *demo_instruments.write_figures(out_dir),
    ]  # fmt: skip


def main(argv: list[str]) -> int:
    out_dir = pathlib.Path(argv[1]) if len(argv) > 1 else pathlib.Path("demo-output")
    print(f"vantorel {vantorel.__version__}: {len(vantorel.__all__)} names")
    heading("Dates, tenors, calendars and day counters")
    demo_dates.show()
    heading("Market conventions: holiday calendars and schedules (vantorel_rates)")
    demo_rates.show()
    heading("An option book: closed form beside finite differences")
    demo_pricer.show()
    heading("Yield curves")
    demo_curves.show()
    heading("Curves from quotes, a bond and a swap: vantorel_rates")
    demo_instruments.show()
    heading("A million options: vantorel_np, then a Dask cluster")
    demo_book.show()
    heading("Figures")
    paths = write_figures(out_dir)
    print(f"Writing figures into {out_dir.resolve()}")
    for path in paths:
        print(f"  {path.name:<22} {path.stat().st_size:>9,} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
