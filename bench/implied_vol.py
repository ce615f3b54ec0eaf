"""Implied volatility: accuracy against high-precision prices, and speed beside other solvers.

Three sets of options, each priced once with mpmath (40 digits) from a known vol:

- a random book (default 1,000,000 options, seed 20261208, q = 0): spot 100;
  put or call with equal odds; tau log-uniform from 1 day to 10 years; vol
  log-uniform from 2 % to 200 %; rate uniform on [-1 %, 8 %]; ln(F/K) equal to
  z standard deviations, z normal with standard deviation 1.5;
- a fixed extreme grid: vol 1e-4 .. 10, tau 1 day .. 50 years, ln(F/K) from -10
  to +10 standard deviations, rate and dividend yield -5 %, 0 and 20 %, puts
  and calls; points whose strike would leave the double range (|ln(F/K)| > 700)
  are left out;
- a wide grid over the double range (wide_grid): spot, strike and forward from
  1e-300 to 1e300, subnormal discount factors, spot*df_q beyond the largest
  double, tiny prices within 1e-300 .. 1e-50 of the money, prices from the
  smallest subnormal to 1e300. Its prices are rounded to double and measured
  against the exact vol of that double (Newton's method in mpmath, with the
  working digits raised wherever the formula cancels), and the price at every
  returned vol is checked in mpmath. With an elasticity e, a vol one ulp from
  the exact one moves that price by up to e * 2^-52, which above e ~ 450
  exceeds 1e-13: the report gives the worst price error and the worst beyond
  e * 2^-52.

The reference prices (rounded to double, the solvers' input), the elasticity
vol*vega/price and the rounding of the price are cached under build/ivol-ref/;
the first run takes a few minutes per million options.

Columns: ns per option (CPU time of the calling thread, where every solver
runs: the machine may be shared), vantorel's time over the peer's, then on
the options whose double price lies strictly inside the no-arbitrage bounds:
median and worst |iv/vol - 1| where the option is well conditioned
(elasticity >= 1e-3), the share of NaN (0 and +inf, the limits at the two bounds, count as
answers), and the worst relative error of the price the exact formula gives
at the returned vol. That last one is
elasticity * (iv/vol - 1) less the price's own rounding (first order, exact to
far below the figures reported) where |iv/vol - 1| < 1e-6, and mpmath at the
returned vol for the (at most 300) largest deviations beyond it.

Usage: python bench/implied_vol.py [--book N] [--peers-sample N] [--wide-only] [--show N]
The pure-Python solver and QuantLib run in Python loops; --peers-sample limits
them (and the mpmath checks) to the first N options of the book.
"""

from __future__ import annotations

import argparse
import concurrent.futures
import math
import pathlib
import sys
import time

import numpy as np

DIGITS = 40
CACHE = pathlib.Path(__file__).resolve().parent.parent / "build" / "ivol-ref"


# ---- the two sets of options ----------------------------------------------------------


def random_book(n: int, seed: int = 20261208) -> dict[str, np.ndarray]:
    rng = np.random.default_rng(seed)
    flag = rng.integers(0, 2, n)  # 1 call, 0 put
    tau = np.exp(rng.uniform(math.log(1 / 365), math.log(10.0), n))
    vol = np.exp(rng.uniform(math.log(0.02), math.log(2.0), n))
    rate = rng.uniform(-0.01, 0.08, n)
    z = rng.standard_normal(n) * 1.5
    spot = np.full(n, 100.0)
    strike = spot * np.exp(rate * tau) * np.exp(-z * vol * np.sqrt(tau))
    return dict(spot=spot, strike=strike, rate=rate, q=np.zeros(n), tau=tau, flag=flag, vol=vol)


def extreme_grid() -> dict[str, np.ndarray]:
    vols = [1e-4, 1e-3, 0.01, 0.1, 0.5, 1.0, 3.0, 10.0]
    taus = [1 / 365, 1 / 52, 0.25, 1.0, 5.0, 50.0]
    zs = [-10.0, -5.0, -2.0, -1.0, -0.1, 0.0, 0.1, 1.0, 2.0, 5.0, 10.0]
    rates = [-0.05, 0.0, 0.2]
    rows = []
    for vol in vols:
        for tau in taus:
            for z in zs:
                x = z * vol * math.sqrt(tau)
                if abs(x) > 700:
                    continue
                for r in rates:
                    for q in rates:
                        for flag in (0, 1):
                            strike = 100.0 * math.exp((r - q) * tau) * math.exp(-x)
                            rows.append((100.0, strike, r, q, tau, flag, vol))
    a = np.array(rows)
    return dict(spot=a[:, 0], strike=a[:, 1], rate=a[:, 2], q=a[:, 3], tau=a[:, 4],
                flag=a[:, 5].astype(np.int64), vol=a[:, 6])


def wide_grid() -> dict[str, np.ndarray]:
    """Spot, strike and forward from 1e-300 to 1e300, ln(F/K) from 0 to 690, total
    deviations from 1e-80 to 30, discount factors from subnormal to e^20 (spot*df_q
    overflowing at the top), puts and calls; and near the money, spot = strike with
    ln(F/K) = rate from +-1e-300 to +-1e-50 and deviations from 1e-305 to 0.1. Kept where the
    price is a double from the smallest subnormal to 1e300 (checked against the reference)."""
    spots = [1e-300, 1e-100, 1e-5, 1.0, 1e5, 1e100, 1e300]
    xs = [0.0, 1e-12, 1e-4, 0.1, 1.0, 5.0, 30.0, 200.0, 690.0]
    devs = [1e-80, 1e-30, 1e-8, 1e-3, 0.1, 1.0, 5.0, 30.0]
    carries = [(0.0, 0.0, 1.0), (0.05, 0.02, 2.0), (72.0, 72.0, 10.0), (72.0, 0.0, 10.0), (0.0, -2.0, 10.0)]
    rows = set()
    for spot in spots:
        for r, q, tau in carries:
            ln_fwd = math.log(spot) + (r - q) * tau
            for x in {x * sign for x in xs for sign in (1, -1)}:
                ln_strike = ln_fwd - x
                if not (-690.8 <= ln_strike <= 690.8 and -690.8 <= ln_fwd <= 710.8):
                    continue
                for dev in devs:
                    # ln of the normalised price is about -x^2/(2 dev^2): keep what a double can hold.
                    if 0.5 * (x / dev) ** 2 > 1800:
                        continue
                    rows.update((spot, math.exp(ln_strike), r, q, tau, flag, dev / math.sqrt(tau)) for flag in (0, 1))
        for r in (0.0, 1e-300, -1e-300, 1e-150, -1e-150, 1e-50, -1e-50):
            for dev in (1e-305, 1e-250, 1e-160, 1e-100, 1e-60, 1e-52, 1e-50, 1e-48, 1e-30, 1e-8, 0.1):
                if abs(r) <= 60 * dev:
                    rows.update((spot, spot, r, 0.0, 1.0, flag, dev) for flag in (0, 1))
    a = np.array(sorted(rows))
    return dict(spot=a[:, 0], strike=a[:, 1], rate=a[:, 2], q=a[:, 3], tau=a[:, 4],
                flag=a[:, 5].astype(np.int64), vol=a[:, 6])


# ---- high-precision reference --------------------------------------------------------


def exact_price(spot, strike, rate, q, tau, flag, vol):
    """Price and elasticity vol*vega/price in mpmath; at vol 0 and +inf the two bounds."""
    import mpmath as mp

    S, K, r, q_, t = (mp.mpf(float(a)) for a in (spot, strike, rate, q, tau))
    chi = 1 if flag else -1
    fwd_spot, pv_strike = S * mp.exp(-q_ * t), K * mp.exp(-r * t)
    if vol == 0 or vol == math.inf:
        return (max(chi * (fwd_spot - pv_strike), 0) if vol == 0 else fwd_spot if flag else pv_strike), 0
    v = mp.mpf(float(vol))
    sd = v * mp.sqrt(t)
    d1 = (mp.log(S / K) + (r - q_) * t) / sd + sd / 2
    price = chi * (fwd_spot * mp.ncdf(chi * d1) - pv_strike * mp.ncdf(chi * (d1 - sd)))
    return price, fwd_spot * mp.npdf(d1) * mp.sqrt(t) * v / price


def references(name: str, opts: dict[str, np.ndarray]) -> dict[str, np.ndarray]:
    """Double prices, elasticities and price roundings, cached by name and size."""
    path = CACHE / f"{name}-{len(opts['vol'])}.npz"
    if path.exists():
        return dict(np.load(path))
    import mpmath as mp

    mp.mp.dps = DIGITS
    n = len(opts["vol"])
    price, elasticity, rounding = np.empty(n), np.empty(n), np.empty(n)
    start = time.perf_counter()
    for i in range(n):
        p, e = exact_price(*(opts[k][i] for k in ("spot", "strike", "rate", "q", "tau", "flag", "vol")))
        price[i] = float(p)
        elasticity[i] = float(e)
        rounding[i] = float(mp.mpf(price[i]) / p - 1) if p != 0 else 0.0
        if i and i % 100000 == 0:
            print(f"  {name}: {i} of {n} reference prices, {time.perf_counter() - start:.0f} s", file=sys.stderr)
    CACHE.mkdir(parents=True, exist_ok=True)
    np.savez(path, price=price, elasticity=elasticity, rounding=rounding)
    return dict(price=price, elasticity=elasticity, rounding=rounding)


def _digits(spot, strike, rate, q, tau, vol):
    """Working digits for 40 good ones: ln(F/K) may cancel in ln(S/K) + (r - q) tau and the
    out-of-the-money value in F N(d1) - K N(d2), which loses about log10((1 + |d1|)/sd) digits."""
    import mpmath as mp

    with mp.workdps(30):
        ln_ratio = mp.log(mp.mpf(spot)) - mp.log(mp.mpf(strike))
        x = ln_ratio + (mp.mpf(rate) - mp.mpf(q)) * tau
        sd = mp.mpf(vol) * mp.sqrt(tau)
        extra = 0
        if x != 0 and ln_ratio != 0:
            extra += max(0, int(mp.log10(abs(ln_ratio) / abs(x))))
        extra += max(0, int(mp.log10((1 + abs(x) / sd) / sd)))
        extra += min(700, max(0, int(-mp.log10(abs(x))))) if x else 0  # F - K near the money
    return DIGITS + 10 + extra


def clear_of_bounds(price, spot, strike, rate, q, tau, flag, fwd_spot, pv_strike):
    """Strictly inside the bounds as computed in double where spot*df_q and strike*df_r are
    normal doubles (else inside the exact ones by 1e-14 of the larger), and in the money more
    than 1e-14 of the larger above the exact intrinsic value (a price within the rounding of
    the intrinsic value gives 0)."""
    chi = 1 if flag else -1
    big = max(fwd_spot, pv_strike)
    if chi * (fwd_spot - pv_strike) > 0 and price - chi * (fwd_spot - pv_strike) <= 1e-14 * big:
        return False
    try:
        fs, pk = spot * math.exp(-float(q) * float(tau)), strike * math.exp(-float(rate) * float(tau))
    except OverflowError:
        fs = pk = math.inf
    if all(sys.float_info.min <= f < math.inf for f in (fs, pk)):
        return max(chi * (fs - pk), 0.0) < price < (fs if flag else pk)
    return price - max(chi * (fwd_spot - pv_strike), 0) > 1e-14 * big and (fwd_spot if flag else pv_strike) - price > 1e-14 * big


def wide_reference(spot, strike, rate, q, tau, flag, vol):
    """(double price, exact vol of that double, elasticity, inside): the price made at vol,
    rounded to double; the vol whose exact price is that double (Newton in ln vol); whether
    the double lies inside the bounds by more than 1e-14 of itself and within
    [smallest subnormal, 1e300]."""
    import mpmath as mp

    with mp.workdps(_digits(spot, strike, rate, q, tau, vol)):
        S, K, r, q_, t = (mp.mpf(float(a)) for a in (spot, strike, rate, q, tau))
        chi = 1 if flag else -1
        fwd_spot, pv_strike = S * mp.exp(-q_ * t), K * mp.exp(-r * t)
        ln_fk = mp.log(S / K) + (r - q_) * t

        def value(v):
            sd = v * mp.sqrt(t)
            d1 = ln_fk / sd + sd / 2
            price = chi * (fwd_spot * mp.ncdf(chi * d1) - pv_strike * mp.ncdf(chi * (d1 - sd)))
            return price, fwd_spot * mp.npdf(d1) * sd / price if price > 0 else mp.nan

        exact, _ = value(mp.mpf(float(vol)))
        price = float(exact)
        inside = 2.0**-1074 <= price <= 1e300 and clear_of_bounds(price, float(spot), float(strike), rate, q, tau,
                                                                   flag, fwd_spot, pv_strike)
        if not inside:
            return price, math.nan, math.nan, False
        v, target = mp.mpf(float(vol)), mp.log(price)
        for _ in range(100):
            p, elasticity = value(v)
            if not p > 0:
                break
            step = max(min((target - mp.log(p)) / elasticity, 1), -1)
            v *= mp.exp(step)
            if abs(step) < mp.mpf(10) ** -(DIGITS - 5):
                return price, float(v), float(value(v)[1]), True
    return price, math.nan, math.nan, False


def wide_references(opts):
    path = CACHE / f"wide-{len(opts['vol'])}.npz"
    if path.exists():
        return dict(np.load(path))
    rows = [wide_reference(*(opts[k][i] for k in ("spot", "strike", "rate", "q", "tau", "flag", "vol")))
            for i in range(len(opts["vol"]))]
    ref = {k: np.array(c) for k, c in zip(("price", "ref_vol", "elasticity", "inside"), zip(*rows))}
    CACHE.mkdir(parents=True, exist_ok=True)
    np.savez(path, **ref)
    return ref


def wide_price_error(opts, price, i, iv):
    """|value at iv / price - 1| in mpmath."""
    import mpmath as mp

    args = [opts[k][i] for k in ("spot", "strike", "rate", "q", "tau")]
    with mp.workdps(_digits(*args, iv)):
        S, K, r, q_, t = (mp.mpf(float(a)) for a in args)
        chi = 1 if opts["flag"][i] else -1
        sd = mp.mpf(iv) * mp.sqrt(t)
        d1 = (mp.log(S / K) + (r - q_) * t) / sd + sd / 2
        p = chi * (S * mp.exp(-q_ * t) * mp.ncdf(chi * d1) - K * mp.exp(-r * t) * mp.ncdf(chi * (d1 - sd)))
        return float(abs(p / mp.mpf(float(price)) - 1))


# libm's exp, as the kernel uses: numpy's own may differ in the last bit, and the
# bounds are defined by the double computation.
_libm_exp = np.frompyfunc(math.exp, 1, 1)


def inside_bounds(opts, price):
    """Strictly inside the bounds as the kernel computes them in double, and normal."""
    fwd_spot = opts["spot"] * _libm_exp(-opts["q"] * opts["tau"]).astype(float)
    pv_strike = opts["strike"] * _libm_exp(-opts["rate"] * opts["tau"]).astype(float)
    chi = np.where(opts["flag"] == 1, 1.0, -1.0)
    lower = np.maximum(chi * (fwd_spot - pv_strike), 0.0)
    upper = np.where(opts["flag"] == 1, fwd_spot, pv_strike)
    return (price > lower) & (price < upper) & (price >= np.finfo(float).tiny)


# ---- solvers: (name, function of (opts, price) -> vols) ---------------------------------


def vantorel_solver(opts, price):
    import vantorel_np

    return vantorel_np.implied_vol(price, opts["spot"], opts["strike"], opts["rate"], opts["q"], opts["tau"],
                                   opts["flag"])


def voltic_solver(opts, price):
    import voltic

    args = [opts[k].tolist() for k in ("spot", "strike", "tau", "rate")]
    price_list, flags = price.tolist(), ["c" if f else "p" for f in opts["flag"].tolist()]
    start = time.thread_time()
    vols = voltic.implied_vol(*args, price_list, flags)
    return np.array(vols, dtype=float), time.thread_time() - start


def fast_vollib_solver(opts, price):
    import fast_vollib

    flags = np.where(opts["flag"] == 1, "c", "p")
    return fast_vollib.fast_implied_volatility(price, opts["spot"], opts["strike"], opts["tau"], opts["rate"], flags,
                                               opts["q"], return_as="numpy", backend="numpy", on_error="ignore")


def quantlib_solver(opts, price):
    import QuantLib as ql

    out = np.empty(len(price))
    call, put = ql.Option.Call, ql.Option.Put
    f = ql.blackFormulaImpliedStdDev
    fwd = opts["spot"] * np.exp((opts["rate"] - opts["q"]) * opts["tau"])
    df = np.exp(-opts["rate"] * opts["tau"])
    rows = zip(opts["flag"].tolist(), opts["strike"].tolist(), fwd.tolist(), (price / df).tolist(), df.tolist(),
               np.sqrt(opts["tau"]).tolist())
    for i, (flag, k, fw, undiscounted, d, sqrt_tau) in enumerate(rows):
        try:
            out[i] = f(call if flag else put, k, fw, undiscounted * d, d) / sqrt_tau
        except RuntimeError:
            out[i] = math.nan
    return out


def lets_be_rational_solver(opts, price):
    from py_lets_be_rational import implied_volatility_from_a_transformed_rational_guess as solve

    out = np.empty(len(price))
    fwd = opts["spot"] * np.exp((opts["rate"] - opts["q"]) * opts["tau"])
    undiscounted = price * np.exp(opts["rate"] * opts["tau"])
    rows = zip(undiscounted.tolist(), fwd.tolist(), opts["strike"].tolist(), opts["tau"].tolist(), opts["flag"].tolist())
    for i, (p, fw, k, t, flag) in enumerate(rows):
        try:
            out[i] = solve(p, fw, k, t, 1.0 if flag else -1.0)
        except Exception:  # noqa: BLE001 - a black box: any failure counts as no answer
            out[i] = math.nan
    return out


SOLVERS = [
    ("vantorel_np.implied_vol", vantorel_solver, "vantorel_np", False),
    ("voltic (lists in and out)", voltic_solver, "voltic", False),
    ("fast-vollib (numpy backend)", fast_vollib_solver, "fast_vollib", False),
    ("QuantLib blackFormulaImpliedStdDev loop", quantlib_solver, "QuantLib", True),
    ("py_lets_be_rational loop (pure Python)", lets_be_rational_solver, "py_lets_be_rational", True),
]


def timed(fn, opts, price, repeat):
    best, vols = math.inf, None
    for _ in range(repeat):
        start = time.thread_time()
        result = fn(opts, price)
        elapsed = time.thread_time() - start
        if isinstance(result, tuple):  # the solver timed its own call
            result, elapsed = result
        best, vols = min(best, elapsed), np.asarray(result, dtype=float)
    return best / len(price) * 1e9, vols


# ---- accuracy ---------------------------------------------------------------------------


def accuracy(opts, ref, inside, vols):
    vol = opts["vol"]
    dev = vols / vol - 1
    well = inside & (ref["elasticity"] >= 1e-3)
    fin = well & np.isfinite(vols)
    nan_share = np.count_nonzero(inside & np.isnan(vols)) / max(np.count_nonzero(inside), 1)
    errs = np.abs(dev[fin])
    median = float(np.median(errs)) if errs.size else math.nan
    worst = float(errs.max()) if errs.size else math.nan
    # Price reproduction, first order where the deviation is small.
    small = inside & np.isfinite(vols) & (np.abs(dev) < 1e-6)
    repro = np.abs(ref["elasticity"][small] * dev[small] - ref["rounding"][small])
    worst_price = float(repro.max()) if repro.size else 0.0
    large = np.flatnonzero(inside & ~np.isnan(vols) & ~(np.abs(dev) < 1e-6))
    if large.size:
        import mpmath as mp

        mp.mp.dps = DIGITS
        for i in large[np.argsort(-np.abs(dev[large]))][:300]:
            args = [opts[k][i] for k in ("spot", "strike", "rate", "q", "tau", "flag")]
            p, _ = exact_price(*args, vols[i])
            worst_price = max(worst_price, float(abs(p / mp.mpf(ref["price"][i]) - 1)))
    return median, worst, nan_share, worst_price


def two_threads(opts, price, repeat=3):
    """Throughput of two threads on halves of the book over one thread on all of it."""
    half = len(price) // 2
    parts = [{k: v[:half] for k, v in opts.items()}, {k: v[half:] for k, v in opts.items()}]
    prices = [price[:half], price[half:]]
    one, two = math.inf, math.inf
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for _ in range(repeat):
            start = time.perf_counter()
            vantorel_solver(opts, price)
            one = min(one, time.perf_counter() - start)
            start = time.perf_counter()
            list(pool.map(vantorel_solver, parts, prices))
            two = min(two, time.perf_counter() - start)
    return one / two


def npv_round_trip(opts, n=100_000):
    """Prices from vantorel's own npv back through implied_vol. npv's normal probabilities
    carry an absolute error of about 1e-10 (its error functions), so its price is good to
    about 1e-10 of spot*df_q + strike*df_r: the vol error is shown as the price error it
    stands for, |iv - vol| * vega, relative to the price and to that scale."""
    from vantorel import BlackScholes, PutCallFlag

    flags = [PutCallFlag.Put, PutCallFlag.Call]
    rows = list(zip(*(opts[k][:n].tolist() for k in ("spot", "strike", "rate", "q", "tau", "flag", "vol"))))
    prices = np.array([BlackScholes.npv(s, k, r, q, t, flags[f], v) for s, k, r, q, t, f, v in rows])
    vegas = np.array([BlackScholes.vega(s, k, r, q, t, flags[f], v) for s, k, r, q, t, f, v in rows])
    sub = {k: v[:n] for k, v in opts.items()}
    vols = vantorel_solver(sub, prices)
    ok = (prices > 0) & (vegas > 0)
    moved = np.abs(vols[ok] - sub["vol"][ok]) * vegas[ok]
    scale = (sub["spot"] * np.exp(-sub["q"] * sub["tau"]) + sub["strike"] * np.exp(-sub["rate"] * sub["tau"]))[ok]
    print(f"prices from vantorel's npv, {np.count_nonzero(ok)} options, |iv - vol| * vega: relative to the price "
          f"median {np.median(moved / prices[ok]):.1e}; relative to spot*df_q + strike*df_r median "
          f"{np.median(moved / scale):.1e}, worst {np.nanmax(moved / scale):.1e}; NaN {np.count_nonzero(np.isnan(vols[ok]))}")


def report(title, opts, ref, solvers, repeat, sample):
    inside = inside_bounds(opts, ref["price"])
    n = len(ref["price"])
    print(f"\n{title}: {n} options, {np.count_nonzero(inside)} strictly inside the bounds, "
          f"{np.count_nonzero(inside & (ref['elasticity'] >= 1e-3))} of them well conditioned")
    print(f"{'solver':42} {'ns/option':>10} {'ratio':>7} {'median':>9} {'worst':>9} {'NaN':>8} {'price err':>9}")
    ours = None
    for name, fn, module, slow in solvers:
        try:
            __import__(module)
        except ImportError:
            print(f"{name:42} (not installed)")
            continue
        m = min(sample, n) if slow else n
        sub = {k: v[:m] for k, v in opts.items()}
        sub_ref = {k: v[:m] for k, v in ref.items()}
        ns, vols = timed(fn, sub, sub_ref["price"], repeat)
        median, worst, nan_share, price_err = accuracy(sub, sub_ref, inside[:m], vols)
        if ours is None and fn is vantorel_solver:
            ours = ns
        ratio = f"{ours / ns:7.3f}" if ours is not None and fn is not vantorel_solver else "       "
        label = name if m == n else f"{name} [{m}]"
        print(f"{label:42} {ns:10.0f} {ratio} {median:9.1e} {worst:9.1e} {nan_share:8.2%} {price_err:9.1e}")


def wide_report(opts, ref, repeat, show):
    """The wide grid against the exact vols of its double prices."""
    inside = ref["inside"].astype(bool)
    ns, vols = timed(vantorel_solver, opts, ref["price"], repeat)
    dev = np.abs(vols / ref["ref_vol"] - 1)
    well = inside & (ref["elasticity"] >= 1e-3)
    tiny = ref["price"] < np.finfo(float).tiny
    print(f"\nwide grid: {len(vols)} options, {np.count_nonzero(inside)} inside the bounds "
          f"({np.count_nonzero(inside & tiny)} of them subnormal prices), {np.count_nonzero(well)} well conditioned; "
          f"{ns:.0f} ns/option")
    fin = well & np.isfinite(vols)
    print(f"  vol error where well conditioned: median {np.median(dev[fin]):.1e}, worst {dev[fin].max():.1e}; "
          f"NaN inside the bounds: {np.count_nonzero(inside & np.isnan(vols))}")
    # Price at the returned vol; a vol one ulp off moves it by up to elasticity * 2^-52.
    errs, beyond = [], []
    checked = np.flatnonzero(inside & np.isfinite(vols) & (vols > 0))
    for i in checked:
        e = wide_price_error(opts, ref["price"][i], i, vols[i])
        errs.append(e)
        beyond.append(max(0.0, e - ref["elasticity"][i] * 2.0**-52))
    print(f"  price at the returned vol: worst {max(errs):.1e}; beyond elasticity * 2^-52: worst {max(beyond):.1e}")
    for j in np.argsort(beyond)[::-1][:show]:
        i = checked[j]
        if beyond[j] > 1e-13:
            args = ", ".join(f"{opts[k][i]!r}" for k in ("spot", "strike", "rate", "q", "tau", "flag"))
            print(f"  implied_vol({ref['price'][i]!r}, {args}) = {vols[i]!r}: price error {errs[j]:.1e}, "
                  f"exact vol {ref['ref_vol'][i]!r}, elasticity {ref['elasticity'][i]:.1e}")
    if show:
        bad = np.flatnonzero(inside & ~(dev <= 1e-12) & ((ref["elasticity"] >= 1e-3) | np.isnan(vols)))
        for i in bad[:show]:
            args = ", ".join(f"{opts[k][i]!r}" for k in ("spot", "strike", "rate", "q", "tau", "flag"))
            print(f"  implied_vol({ref['price'][i]!r}, {args}) = {vols[i]!r}, exact {ref['ref_vol'][i]!r}, "
                  f"elasticity {ref['elasticity'][i]:.1e}")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--book", type=int, default=1_000_000)
    parser.add_argument("--peers-sample", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--wide-only", action="store_true", help="only the wide grid")
    parser.add_argument("--show", type=int, default=0, help="list up to N wide-grid options off by over 1e-12")
    args = parser.parse_args(argv)
    if args.wide_only:
        grid = wide_grid()
        wide_report(grid, wide_references(grid), args.repeat, args.show)
        return 0

    try:
        from vantorel_np import simd_target
    except ImportError:
        simd_target = "none"
    print(f"SIMD target of vantorel_np's loops: {simd_target} (VANTOREL_SIMD forces a narrower one)")
    book = random_book(args.book)
    book_ref = references("book", book)
    report("random book (q = 0)", book, book_ref, SOLVERS, args.repeat, args.peers_sample)
    try:
        print(f"two threads on halves of the book: {two_threads(book, book_ref['price']):.2f}x the throughput of one")
        npv_round_trip(book)
    except ImportError:
        pass
    grid = extreme_grid()
    grid_ref = references("grid", grid)
    ours = [s for s in SOLVERS if s[1] is vantorel_solver]
    report("extreme grid", grid, grid_ref, ours, args.repeat, args.peers_sample)
    wide = wide_grid()
    wide_report(wide, wide_references(wide), args.repeat, args.show)
    print("\n(ratio: vantorel's time over the solver's; the machine may be shared: compare within one run)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
