"""A small book of European options: value and sensitivities in closed form and by finite differences."""

from __future__ import annotations

from vantorel import BlackScholes, BlackScholesMetrics, Date, PutCallFlag, erf, erf_inv, erfc

SPOT, RATE, DIV_YIELD, VOL = 100.0, 0.05, 0.02, 0.2
EVAL_DATE = Date(2024, 1, 5)

# (put/call, strike, expiry)
BOOK = [
    (PutCallFlag.Call, 90.0, Date(2024, 4, 5)),
    (PutCallFlag.Call, 100.0, Date(2024, 7, 5)),
    (PutCallFlag.Call, 110.0, Date(2025, 1, 6)),
    (PutCallFlag.Put, 90.0, Date(2024, 7, 5)),
    (PutCallFlag.Put, 100.0, Date(2025, 1, 6)),
    (PutCallFlag.Put, 110.0, Date(2024, 2, 2)),
]

FIELDS = ["npv", "delta", "gamma", "vega", "theta", "rho_r", "rho_q"]


def _row(label: str, m: BlackScholesMetrics) -> str:
    return f"  {label:<14}" + "".join(f"{getattr(m, f):>12.6f}" for f in FIELDS)


def show() -> None:
    print(f"European options on spot {SPOT:g}, rate {RATE:.0%}, dividend yield {DIV_YIELD:.0%}, "
          f"vol {VOL:.0%}, valued on {EVAL_DATE.to_str()}")
    print("(vega and rho per 1.0 of vol and rate, theta per year; tau = calendar days / 365)\n")
    print(f"  {'':<14}" + "".join(f"{f:>12}" for f in FIELDS))
    book_closed = dict.fromkeys(FIELDS, 0.0)
    for flag, strike, expiry in BOOK:
        closed = BlackScholes.get_metrics_with_dates(SPOT, strike, RATE, DIV_YIELD, EVAL_DATE, expiry, flag, VOL)
        bumped = BlackScholes.get_metrics_fd_with_dates(SPOT, strike, RATE, DIV_YIELD, EVAL_DATE, expiry, flag, VOL)
        assert closed is not None and bumped is not None
        kind = "call" if flag == PutCallFlag.Call else "put"
        print(f"{kind} K={strike:g} expiring {expiry.to_str()} ({expiry - EVAL_DATE} days)")
        print(_row("closed form", closed))
        print(_row("finite diff.", bumped))
        for f in FIELDS:
            book_closed[f] += getattr(closed, f)
    print("\n  book total    " + "".join(f"{book_closed[f]:>12.6f}" for f in FIELDS))

    print("\nThe normal distribution behind the prices, from the module's own error function:")
    print(f"  {'x':>6} {'erf(x)':>20} {'erfc(x)':>24} {'erf_inv(erf(x))':>18}")
    for x in (0.1, 0.5, 1.0, 2.0, 3.0):
        print(f"  {x:>6g} {erf(x):>20.17f} {erfc(x):>24.17g} {erf_inv(erf(x)):>18.15f}")


if __name__ == "__main__":
    show()
