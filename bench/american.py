"""American options: speed and accuracy beside QuantLib, measured side by side in one run.

The book: spot 100, strike log-uniform on [50, 200], rate uniform on [0, 20 %] and
yield on [-5 %, 20 %] (QuantLib's fixed-point engine has one boundary, so no negative
rates for the exercised side), vol log-uniform on [1 %, 200 %], tau whole days
log-uniform from 1 day to 30 years, put or call with equal odds (seed 20261209).

Rows (microseconds of CPU time per option, the best of --repeats runs, one thread unless
said; ratio = vantorel / peer):
- american_npv over the whole book, against QuantLib's QdFpAmericanEngine with its
  fast, accurate and high-precision schemes in a Python loop over the first
  --peers-sample options (the loop's Python overhead is part of QuantLib's time);
  errors of every scheme and of vantorel against the high-precision one, as a
  share of the strike;
- cash_dividend_npv (American, two dividends of 1.5 at 0.3 and 0.8 years within
  expiry) against FdBlackScholesVanillaEngine at the grid given by --ql-grid, both
  against vantorel at space_steps=800 as the reference;
- american_metrics and american_implied_vol against american_npv (first --greeks-sample);
- american_npv on two threads (halves of the book) against one thread (wall time).

Usage: python bench/american.py [--book N] [--peers-sample N] [--ql-grid N] [--repeats N]
                                [--greeks-sample N]
"""

from __future__ import annotations

import argparse
import concurrent.futures
import time

import numpy as np
import QuantLib as ql

import vantorel_np as vn

TODAY = ql.Date(1, 1, 2020)


def book(n: int, seed: int = 20261209) -> tuple[np.ndarray, ...]:
    rng = np.random.default_rng(seed)
    strike = np.exp(rng.uniform(np.log(50), np.log(200), n))
    rate, q = rng.uniform(0.0, 0.2, n), rng.uniform(-0.05, 0.2, n)
    flag = rng.integers(0, 2, n)
    # A call is the put with rate and yield swapped: keep the exercised side's rate >= 0.
    rate, q = np.where(flag == 1, q, rate), np.where(flag == 1, rate, q)
    vol = np.exp(rng.uniform(np.log(0.01), np.log(2.0), n))
    days = np.floor(np.exp(rng.uniform(0, np.log(30 * 365), n)))
    return np.full(n, 100.0), strike, rate, q, days / 365, flag, vol


def ql_pricer(engine_of):
    """A function pricing one option with QuantLib, reusing quotes and curves."""
    ql.Settings.instance().evaluationDate = TODAY
    dc = ql.Actual365Fixed()
    spot, rate, q, vol = (ql.SimpleQuote(0.0) for _ in range(4))
    process = ql.BlackScholesMertonProcess(
        ql.QuoteHandle(spot),
        ql.YieldTermStructureHandle(ql.FlatForward(TODAY, ql.QuoteHandle(q), dc)),
        ql.YieldTermStructureHandle(ql.FlatForward(TODAY, ql.QuoteHandle(rate), dc)),
        ql.BlackVolTermStructureHandle(ql.BlackConstantVol(TODAY, ql.NullCalendar(), ql.QuoteHandle(vol), dc)),
    )
    engine = engine_of(process)

    def price(s, k, r, y, tau, flag, v):
        spot.setValue(float(s)), rate.setValue(float(r)), q.setValue(float(y)), vol.setValue(float(v))
        payoff = ql.PlainVanillaPayoff(ql.Option.Call if flag else ql.Option.Put, float(k))
        option = ql.VanillaOption(payoff, ql.AmericanExercise(TODAY, TODAY + int(round(tau * 365))))
        option.setPricingEngine(engine)
        return option.NPV()

    return price


def timed(fn, *args, repeats=1):
    """fn(*args) and its best CPU time (process time: one thread runs it) over repeats."""
    best = float("inf")
    for _ in range(repeats):
        t = time.process_time()
        out = fn(*args)
        best = min(best, time.process_time() - t)
    return out, best


def wall(fn, *args):
    t = time.perf_counter()
    out = fn(*args)
    return out, time.perf_counter() - t


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("--book", type=int, default=100_000)
    ap.add_argument("--peers-sample", type=int, default=300)
    ap.add_argument("--ql-grid", type=int, default=400)
    ap.add_argument("--repeats", type=int, default=3)
    ap.add_argument("--greeks-sample", type=int, default=2000)
    a = ap.parse_args()
    args = book(a.book)
    n, m = a.book, min(a.peers_sample, a.book)
    mine, t_mine = timed(vn.american_npv, *args, repeats=a.repeats)
    per_mine = t_mine / n * 1e6
    sample = [tuple(x[i] for x in args) for i in range(m)]
    schemes = {
        "fast": ql.QdFpAmericanEngine.fastScheme(),
        "accurate": ql.QdFpAmericanEngine.accurateScheme(),
        "high precision": ql.QdFpAmericanEngine.highPrecisionScheme(),
    }
    values = {}
    print(f"american_npv: {n} options, {per_mine:.1f} us each; QuantLib on the first {m}")
    print(f"{'peer':32} {'us/option':>10} {'ratio':>8} {'max err/K vs high':>18}")
    for name, scheme in schemes.items():
        price = ql_pricer(lambda p, s=scheme: ql.QdFpAmericanEngine(p, s))
        vals, t = timed(lambda: np.array([price(*o) for o in sample]), repeats=a.repeats)
        values[name] = vals
        per = t / m * 1e6
        print(f"{'QdFpAmericanEngine ' + name:32} {per:10.1f} {per_mine / per:8.3f}", end="")
        print(f" {np.max(np.abs(vals - values.get('high precision', vals)) / args[1][:m]):18.2e}" if name == "high precision" else "")
    high = values["high precision"]
    for name in ("fast", "accurate"):
        print(f"  {name} scheme: max err/K vs high precision {np.max(np.abs(values[name] - high) / args[1][:m]):.2e}")
    err = np.abs(mine[:m] - high) / args[1][:m]
    print(f"  vantorel: max err/K vs high precision {np.nanmax(err):.2e}, median {np.nanmedian(err):.2e}, NaN {int(np.isnan(mine).sum())}")

    # Greeks and implied vol over the same kernel, on the first --greeks-sample options.
    g = min(a.greeks_sample, n)
    sub = [x[:g] for x in args]
    _, t_npv = timed(vn.american_npv, *sub, repeats=a.repeats)
    metrics, t_metrics = timed(vn.american_metrics, *sub, repeats=a.repeats)
    _, t_iv = timed(vn.american_implied_vol, metrics.npv, *sub[:6], repeats=a.repeats)
    print(f"\nover the first {g}: american_npv {t_npv / g * 1e6:.1f} us, american_metrics {t_metrics / g * 1e6:.1f} us "
          f"({t_metrics / t_npv:.1f}x), american_implied_vol {t_iv / g * 1e6:.1f} us ({t_iv / t_npv:.1f}x)")

    # Cash dividends, American.
    k = min(m, 200)
    sub = [x[:k] for x in args]
    sub[4] = np.maximum(sub[4], 1.0)  # at least a year, so that both dividends fall before expiry
    sub[6] = np.minimum(sub[6], 0.6)
    times, amounts = [0.3, 0.8], [1.5, 1.5]
    ref = vn.cash_dividend_npv(*sub, times, amounts, space_steps=800)
    ours, t_ours = timed(vn.cash_dividend_npv, *sub, times, amounts)
    divs = ql.DividendVector([TODAY + int(round(t * 365)) for t in times], amounts)
    g = a.ql_grid
    price = ql_pricer(lambda p: ql.FdBlackScholesVanillaEngine(p, divs, g, g, 0))
    theirs, t_theirs = timed(lambda: np.array([price(*(x[i] for x in sub)) for i in range(k)]))
    rel = lambda v: np.nanmax(np.abs(v - ref) / np.maximum(ref, 1e-3 * sub[1]))  # noqa: E731
    print(f"\ncash_dividend_npv (American, 2 dividends): {k} options")
    print(f"  vantorel space_steps=200: {t_ours / k * 1e6:9.1f} us, max rel err vs space_steps=800 {rel(ours):.2e}")
    print(f"  FdBlackScholesVanillaEngine {g}x{g}: {t_theirs / k * 1e6:9.1f} us, max rel err {rel(theirs):.2e}")
    print(f"  ratio {t_ours / t_theirs:.3f}")

    # Two threads against one.
    half = n // 2
    parts = [tuple(x[:half] for x in args), tuple(x[half:] for x in args)]
    _, t_one = wall(lambda: [vn.american_npv(*p) for p in parts])
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        _, t_two = wall(lambda: list(pool.map(lambda p: vn.american_npv(*p), parts)))
    print(f"\ntwo threads against one: {t_one / t_two:.2f}x ({t_one:.2f} s, {t_two:.2f} s)")


if __name__ == "__main__":
    main()
