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
- cash_dividend_npv (American, one to three dividends, see dividend_book) at tol
  1e-4, 1e-6 (the default) and 1e-8 against FdBlackScholesVanillaEngine at grids of
  100 to 800 time and space steps, all against vantorel's own finer grids (see
  cash_dividends), and QuantLib extrapolated to the same accuracy;
- american_metrics and american_implied_vol against american_npv (first --greeks-sample);
- american_npv on two threads (halves of the book) against one thread (wall time).

Usage: python bench/american.py [--book N] [--peers-sample N] [--repeats N] [--greeks-sample N]
                                [--dividends N] [--dividends-only]
"""

from __future__ import annotations

import argparse
import concurrent.futures
import time
import warnings

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


def dividend_book(n: int, seed: int = 20261210) -> tuple[list[tuple[float, ...]], list[list[float]], list[list[float]]]:
    """n American options with one to three cash dividends of 1 % to 5 % of the spot at
    whole days before expiry: strike log-uniform on [50, 200], rate and yield on
    [-5 %, 20 %], vol log-uniform on [5 %, 100 %], tau whole days from 30 days to 5 years."""
    rng = np.random.default_rng(seed)
    options, times, amounts = [], [], []
    for _ in range(n):
        days = int(np.floor(np.exp(rng.uniform(np.log(30), np.log(5 * 365)))))
        k = int(rng.integers(1, 4))
        ex = np.sort(rng.choice(np.arange(1, days), size=min(k, days - 1), replace=False))
        options.append((100.0, float(np.exp(rng.uniform(np.log(50), np.log(200)))), *map(float, rng.uniform(-0.05, 0.2, 2)),
                        days / 365, int(rng.integers(0, 2)), float(np.exp(rng.uniform(np.log(0.05), np.log(1.0))))))
        times.append([d / 365 for d in ex])
        amounts.append([float(a) for a in rng.uniform(1.0, 5.0, len(ex))])
    return options, times, amounts


def cash_dividends(k: int) -> None:
    """cash_dividend_npv at tol 1e-4, 1e-6 and its default 1e-8 beside FdBlackScholesVanillaEngine
    at growing grids (as many time as space steps), against vantorel's Richardson values
    at 800 and 1600 space steps extrapolated once more at the American's order 2: errors
    relative to the value (at least 1e-4 of the strike), CPU time per option, the best of
    three runs (ours; ratios use the tol=1e-8 row) or one (QuantLib, its Python loop
    included)."""
    options, times, amounts = dividend_book(k)
    cols = [np.array(c) for c in zip(*options)]
    width = max(map(len, times))
    pad = lambda lists: np.array([x + [np.nan] * (width - len(x)) for x in lists])  # noqa: E731
    t_div, a_div = pad(times), pad(amounts)
    r800, r1600 = (vn.cash_dividend_npv(*cols, t_div, a_div, tol=0, space_steps=n) for n in (800, 1600))
    ref = r1600 + (r1600 - r800) / 3  # the American's order 2
    scale = np.maximum(np.abs(ref), 1e-4 * cols[1])
    print(f"\ncash_dividend_npv (American, 1-3 dividends): {k} options; reference: tol=0 at 800 and 1600 "
          f"space steps extrapolated (they differ by {np.max(np.abs(r1600 - r800) / scale):.1e} at most)")
    print(f"{'':34} {'us/option':>10} {'max rel err':>12} {'median':>10} {'ratio':>8}")
    for tol in (1e-4, 1e-6, 1e-8):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", RuntimeWarning)
            ours, t_ours = timed(lambda: vn.cash_dividend_npv(*cols, t_div, a_div, tol=tol), repeats=3)
        missed = np.isnan(ours)
        err = np.abs(ours - ref) / scale
        per_ours = t_ours / k * 1e6
        print(f"{f'vantorel tol={tol:g}':34} {per_ours:10.0f} {np.nanmax(err):12.2e} {np.nanmedian(err):10.2e}"
              f"   ({int(missed.sum())} NaN: tolerance not met within 3200 space steps)")
    rows = []
    for g in (100, 200, 400, 800):
        def price_one(i: int, g: int = g) -> float:
            divs = ql.DividendVector([TODAY + int(round(t * 365)) for t in times[i]], amounts[i])
            return ql_pricer(lambda p: ql.FdBlackScholesVanillaEngine(p, divs, g, g, 0))(*options[i])
        theirs, t_theirs = timed(lambda: np.array([price_one(i) for i in range(k)]))
        e = np.abs(theirs - ref) / scale
        per = t_theirs / k * 1e6
        print(f"{f'FdBlackScholesVanillaEngine {g}x{g}':34} {per:10.0f} {np.max(e):12.2e} {np.median(e):10.2e} {per_ours / per:8.3f}")
        rows.append((g, per, np.max(e)))
    # QuantLib's American error falls as the first power of its time steps (its
    # exercise is applied after each step): the grid and time that reach our
    # largest error, extrapolated from its two finest grids (cost as steps^2).
    (g1, _, e1), (g2, per2, e2) = rows[-2:]
    order = max(np.log2(e1 / e2), 0.5)
    steps = g2 * (e2 / max(np.nanmax(err), 1e-12)) ** (1 / order)
    per_same = per2 * (steps / g2) ** 2
    print(f"  QuantLib at the same accuracy (extrapolated, error order {order:.2f}): {steps:.0f}x{steps:.0f} steps, "
          f"{per_same / 1e6:.3g} s/option; ratio {per_ours / per_same:.2g}")


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("--book", type=int, default=100_000)
    ap.add_argument("--peers-sample", type=int, default=300)
    ap.add_argument("--repeats", type=int, default=3)
    ap.add_argument("--greeks-sample", type=int, default=2000)
    ap.add_argument("--dividends", type=int, default=40)
    ap.add_argument("--dividends-only", action="store_true")
    a = ap.parse_args()
    if a.dividends_only:
        cash_dividends(a.dividends)
        return
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

    cash_dividends(a.dividends)

    # Two threads against one.
    half = n // 2
    parts = [tuple(x[:half] for x in args), tuple(x[half:] for x in args)]
    _, t_one = wall(lambda: [vn.american_npv(*p) for p in parts])
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        _, t_two = wall(lambda: list(pool.map(lambda p: vn.american_npv(*p), parts)))
    print(f"\ntwo threads against one: {t_one / t_two:.2f}x ({t_one:.2f} s, {t_two:.2f} s)")


if __name__ == "__main__":
    main()
