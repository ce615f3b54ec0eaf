"""vantorel_np over a book of 1,000,000 random options and 1,000,000 dates, against
numpy/scipy formulas, the scalar API, fast-vollib, QuantLib, pandas and itself in two
threads. The title names the SIMD target the loops run on (VANTOREL_SIMD forces a
narrower one) and the machine's load average."""

import os

from harness import Case, Peer

try:
    from vantorel_np import simd_target
except ImportError:  # pragma: no cover - the module without its array package
    simd_target = "none"

# The load average at the start: the two-thread figure needs two free cores.
TITLE = (
    f"arrays (N = 1,000,000; SIMD target {simd_target}, one thread unless said; "
    f"load average {os.getloadavg()[0]:.2f} at start, {os.cpu_count()} cores)"
)

_BOOK = """
import numpy as np
import vantorel_np as vn
rng = np.random.default_rng(7)
n = 1_000_000
spot = rng.uniform(50.0, 150.0, n); strike = rng.uniform(50.0, 150.0, n)
rate = rng.uniform(0.0, 0.08, n); div = rng.uniform(0.0, 0.04, n)
tau = rng.uniform(0.02, 3.0, n); vol = rng.uniform(0.05, 0.8, n)
is_call = rng.random(n) < 0.5
book = (spot, strike, rate, div, tau, is_call, vol)
"""

# The textbook formula in numpy with scipy.special.ndtr.
_NUMPY = (
    _BOOK
    + """
from scipy.special import ndtr
def np_npv(spot, strike, rate, div, tau, is_call, vol):
    chi = np.where(is_call, 1.0, -1.0)
    s = np.sqrt(tau) * vol
    d1 = ((0.5 * vol * vol + (rate - div)) * tau + (np.log(spot) - np.log(strike))) / s
    d2 = d1 - s
    df_r, df_q = np.exp(-rate * tau), np.exp(-div * tau)
    return chi * (spot * df_q * ndtr(chi * d1) - strike * df_r * ndtr(chi * d2))
def np_metrics(spot, strike, rate, div, tau, is_call, vol):
    chi = np.where(is_call, 1.0, -1.0)
    sq = np.sqrt(tau); s = sq * vol
    d1 = ((0.5 * vol * vol + (rate - div)) * tau + (np.log(spot) - np.log(strike))) / s
    d2 = d1 - s
    df_r, df_q = np.exp(-rate * tau), np.exp(-div * tau)
    n1, n2 = ndtr(chi * d1), ndtr(chi * d2)
    pdf = np.exp(-0.5 * d1 * d1) * 0.3989422804014327
    npv = chi * (spot * df_q * n1 - strike * df_r * n2)
    delta = chi * df_q * n1
    gamma = df_q * pdf / (spot * s)
    vega = sq * spot * df_q * pdf
    theta = -chi * rate * strike * df_r * n2 - vol * df_q * spot * pdf / (2 * sq) + chi * div * spot * df_q * n1
    rho_r = strike * chi * tau * df_r * n2
    rho_q = -spot * chi * tau * df_q * n1
    return npv, delta, gamma, vega, theta, rho_r, rho_q
"""
)

# The C library's calls that the closed form and the finite differences make per
# option, on the arguments they take, in a loop of just those calls
# (bench/floor.c): exp(-rate*tau), exp(-div*tau), ln(spot), ln(strike), the
# density's exp, and the exp(-z*z) of each normal distribution value whose
# |z| >= 0.5 (0.55 and 0.53 of d1 and d2 in this book); the finite differences
# add eight exp and two ln of bumped inputs, and eleven prices' 22 distribution
# values. fd_floor is those calls beside the 22 values as erf in lanes: the
# floor of any kernel that keeps the scalar bits.
from cases_binding import _FLOOR  # noqa: E402

_LIBM = (
    _BOOK
    + f"""
from {_FLOOR} import libm_calls
sq = np.sqrt(tau); chi = np.where(is_call, 1.0, -1.0)
d1 = ((0.5 * vol * vol + (rate - div)) * tau + (np.log(spot) - np.log(strike))) / (sq * vol)
z1, z2 = np.abs(d1) * 0.7071067811865476, np.abs(d1 - sq * vol) * 0.7071067811865476
erf_exps = np.concatenate([-z1[z1 >= 0.5] ** 2, -z2[z2 >= 0.5] ** 2])
day = 1 / 365
own_exps = np.concatenate([-rate * tau, -div * tau])
m_exps = np.concatenate([own_exps, -0.5 * d1 * d1, erf_exps])
m_logs = np.concatenate([spot, strike])
fd_own_exps = np.concatenate([own_exps, -rate * (tau - day), -div * (tau - day), -rate * (tau + day),
                              -div * (tau + day), -1.001 * rate * tau, -0.999 * rate * tau, -1.001 * div * tau,
                              -0.999 * div * tau])
fd_exps = np.concatenate([fd_own_exps] + [erf_exps] * 11)
fd_logs = np.concatenate([spot, strike, 1.0005 * spot, 0.9995 * spot])
erf_args = chi * d1 * 0.7071067811865476
erf_out = np.empty_like(erf_args)
def fd_floor():
    libm_calls(fd_own_exps, fd_logs)
    for _ in range(22):
        vn.erf(erf_args, out=erf_out)
"""
)

_SCALAR = (
    _BOOK
    + """
from vantorel import BlackScholes, PutCallFlag
scalar_npv = BlackScholes.npv
rows = list(zip(spot.tolist(), strike.tolist(), rate.tolist(), div.tolist(), tau.tolist(),
                [PutCallFlag.Call if c else PutCallFlag.Put for c in is_call], vol.tolist()))
"""
)

_FAST_VOLLIB = (
    _BOOK
    + """
from fast_vollib import fast_black_scholes_merton
flags = np.where(is_call, "c", "p")
"""
)

_QUANTLIB = (
    _BOOK
    + """
import QuantLib as ql
black = ql.blackFormula
types = [ql.Option.Call if c else ql.Option.Put for c in is_call]
fwd = (spot * np.exp((rate - div) * tau)).tolist()
std = (vol * np.sqrt(tau)).tolist()
disc = np.exp(-rate * tau).tolist()
ql_rows = list(zip(types, strike.tolist(), fwd, std, disc))
"""
)

_THREADS = (
    _BOOK
    + """
from concurrent.futures import ThreadPoolExecutor
pool = ThreadPoolExecutor(2)
halves = [tuple(a[:n // 2] for a in book), tuple(a[n // 2:] for a in book)]
def two_threads():
    list(pool.map(lambda h: vn.npv(*h), halves))
"""
)

_CURVE = """
import math
import numpy as np
import vantorel as vt
import vantorel_np as vn
rng = np.random.default_rng(7)
start = vt.Date(2024, 1, 2)
nodes = [start + round(365.25 * 30 * (1.14 ** k - 1) / (1.14 ** 29 - 1)) for k in range(30)]
dfs = [math.exp(-0.035 * (d - start) / 365.0) for d in nodes]
curve = vt.YieldCurve.create_noded(start, vt.DayCounter.Act365, nodes, dfs, vt.InterpType.Geometric)
epoch = start - vt.Date(1970, 1, 1)
offsets = rng.integers(0, nodes[-1] - start, 1_000_000)
dates = (offsets + epoch).astype("M8[D]")
node_x = np.array([float(d - start) for d in nodes]); node_df = np.array(dfs); node_log = np.log(node_df)
x = offsets.astype(float)
later = offsets + rng.integers(1, 400, 1_000_000)
ends = (later + epoch).astype("M8[D]")
x2 = later.astype(float)
def log_df(x):  # log-linear interpolation of the factors in days from the curve date
    return np.interp(x, node_x, node_log)
linear = vt.Interpolator(node_x.tolist(), dfs, vt.InterpType.Linear, vt.ExtrapType.Auto)
# The log-linear factor's pow(df1 / df0, (x - x0) / (x1 - x0)) per date, for the C library's pow alone.
k = np.clip(np.searchsorted(node_x, x) - 1, 0, len(node_x) - 2)
pow_base = node_df[k + 1] / node_df[k]; pow_exp = (x - node_x[k]) / (node_x[k + 1] - node_x[k])
no_calls = np.empty(0)
"""

# 1,000,000 days of 1997-2052 and as many later ones, as datetime64[D] and as the
# int64 day counts the numpy expressions take.
_DATES = """
import numpy as np
import vantorel as vt
import vantorel_np as vn
rng = np.random.default_rng(7)
days = rng.integers(10000, 30000, 1_000_000).astype("M8[D]")
ends = days + rng.integers(0, 3000, 1_000_000).astype("m8[D]")
d1, d2 = days.astype(np.int64), ends.astype(np.int64)
week = vt.Calendar("VT_WEEK")
act360, act365 = vt.DayCounter.Act360, vt.DayCounter.Act365
two_weeks = np.timedelta64(14, "D")
"""
_PANDAS_DATES = _DATES + """
import pandas as pd
index = pd.DatetimeIndex(days)
three_months, one_year = pd.DateOffset(months=3), pd.DateOffset(years=1)
"""

# implied_vol's book (bench/implied_vol.py: 1,000,000 options, q = 0), priced by
# vantorel_np.npv rather than the 40-digit prices of that script, which takes
# minutes to compute them: the same problems, within about 1e-10 of the price.
_IV = """
import numpy as np
import vantorel_np as vn
from implied_vol import quantlib_solver, random_book
iv_book = random_book(1_000_000)
iv_price = vn.npv(*(iv_book[k] for k in ("spot", "strike", "rate", "q", "tau", "flag", "vol")))
iv_args = (iv_price, *(iv_book[k] for k in ("spot", "strike", "rate", "q", "tau", "flag")))
"""
# voltic takes lists in and gives a list out; the lists are built beforehand.
_VOLTIC = (
    _IV
    + """
import voltic
v_args = [iv_book[k].tolist() for k in ("spot", "strike", "tau", "rate")]
v_args += [iv_price.tolist(), ["c" if f else "p" for f in iv_book["flag"].tolist()]]
"""
)

_ERF = """
import numpy as np
import vantorel_np as vn
from scipy.special import erf
xs = np.random.default_rng(7).uniform(-4.0, 4.0, 1_000_000)
"""

CASES = [
    Case(
        "npv(book)",
        "vn.npv(*book)",
        _BOOK,
        [
            Peer("numpy + ndtr formula", "np_npv(*book)", _NUMPY, needs="scipy", goal=0.70),
            Peer("scalar list comprehension", "[scalar_npv(*r) for r in rows]", _SCALAR),
            Peer(
                "fast-vollib (numpy)",
                "fast_black_scholes_merton(flags, spot, strike, tau, rate, vol, div, return_as='numpy', backend='numpy')",
                _FAST_VOLLIB,
                needs="fast_vollib",
            ),
            Peer("QuantLib blackFormula loop", "[black(*r) for r in ql_rows]", _QUANTLIB, needs="QuantLib"),
        ],
    ),
    Case(
        "metrics(book), all seven",
        "vn.metrics(*book)",
        _NUMPY,
        [
            Peer("numpy seven-output formula", "np_metrics(*book)", _NUMPY, needs="scipy", goal=0.60),
            Peer("vantorel_np.npv(book)", "vn.npv(*book)", _BOOK, goal=1.6),
            Peer("its libm: 4.1 exp, 2 log", "libm_calls(m_exps, m_logs)", _LIBM, needs=_FLOOR, bound=True),
        ],
    ),
    Case(
        "metrics_fd(book), eleven prices",
        "vn.metrics_fd(*book)",
        _BOOK,
        [
            Peer("vantorel_np.metrics(book)", "vn.metrics(*book)", _BOOK, goal=1.5),
            Peer("its libm: 22 exp, 4 log", "libm_calls(fd_exps, fd_logs)", _LIBM, needs=_FLOOR, bound=True),
            Peer("10 exp, 4 log, 22 erf (lanes)", "fd_floor()", _LIBM, needs=_FLOOR, bound=True),
        ],
    ),
    Case(
        "implied_vol(book)",
        "vn.implied_vol(*iv_args)",
        _IV,
        [
            Peer("voltic (lists in and out)", "voltic.implied_vol(*v_args)", _VOLTIC, needs="voltic", goal=0.45),
            Peer("QuantLib blackFormulaImpliedStdDev loop", "quantlib_solver(iv_book, iv_price)", _IV,
                 needs="QuantLib", goal=0.05),
        ],
        goal_ns=150.0,
        items=1_000_000,
    ),
    # Time of two threads each pricing half the book over one thread pricing it all:
    # at most 1/1.8 means at least 1.8x the throughput.
    Case("npv(book), two threads of half", "two_threads()", _THREADS,
         [Peer("npv(book), one thread", "vn.npv(*book)", _BOOK, goal=1 / 1.8)]),
    Case("weekday(1e6 dates)", "vn.weekday(days)", _DATES, [Peer("(days - 4) % 7", "(d1 - 4) % 7", _DATES, goal=1.0)]),
    Case(
        'add_tenor(1e6 dates, "2W")',
        'vn.add_tenor(days, "2W")',
        _DATES,
        [Peer("days + timedelta64(14, 'D')", "days + two_weeks", _DATES, goal=1.0)],
    ),
    Case(
        "year_fraction(Act360, 1e6 pairs)",
        "vn.year_fraction(days, ends, act360)",
        _DATES,
        [Peer("(d2 - d1) / 360.0", "(d2 - d1) / 360.0", _DATES, goal=1.0)],
    ),
    Case(
        "year_fraction(Act365, 1e6 pairs)",
        "vn.year_fraction(days, ends, act365)",
        _DATES,
        [Peer("(d2 - d1) / 365.0", "(d2 - d1) / 365.0", _DATES, goal=1.0)],
    ),
    Case(
        "is_business_day(1e6 dates, VT_WEEK)",
        "vn.is_business_day(days, week)",
        _DATES,
        [Peer("numpy.is_busday(days)", "np.is_busday(days)", _DATES, goal=1.0)],
    ),
    Case(
        'add_tenor(1e6 dates, "3M")',
        'vn.add_tenor(days, "3M")',
        _DATES,
        [Peer("DatetimeIndex + DateOffset(months=3)", "index + three_months", _PANDAS_DATES, needs="pandas", goal=0.5)],
    ),
    Case(
        'add_tenor(1e6 dates, "1Y")',
        'vn.add_tenor(days, "1Y")',
        _DATES,
        [Peer("DatetimeIndex + DateOffset(years=1)", "index + one_year", _PANDAS_DATES, needs="pandas", goal=0.5)],
    ),
    Case("erf(1e6 floats)", "vn.erf(xs)", _ERF, [Peer("scipy.special.erf", "erf(xs)", _ERF, needs="scipy", goal=1.0)]),
    Case(
        "discount_factor(30-node curve, 1e6 dates)",
        "vn.discount_factor(curve, dates)",
        _CURVE,
        [
            Peer("np.exp(np.interp(log df))", "np.exp(log_df(x))", _CURVE, goal=0.5),
            Peer("its libm: 1 pow", "libm_calls(no_calls, no_calls, pow_base, pow_exp)",
                 _CURVE + f"from {_FLOOR} import libm_calls\n", needs=_FLOOR, bound=True),
        ],
    ),
    Case(
        "interpolate(30 linear nodes, 1e6 floats)",
        "vn.interpolate(linear, x)",
        _CURVE,
        [Peer("np.interp", "np.interp(x, node_x, node_df)", _CURVE, goal=1.0)],
    ),
    Case(
        "zero_rate(30-node curve, 1e6 dates)",
        "vn.zero_rate(curve, dates)",
        _CURVE,
        [
            Peer("-np.interp(log df) / tau", "-log_df(x) / (x / 365.0)", _CURVE, goal=1.0),
            Peer("its libm: 1 pow, 1 log", "libm_calls(no_calls, x_dfs, pow_base, pow_exp)",
                 _CURVE + f"from {_FLOOR} import libm_calls\nx_dfs = np.exp(log_df(x))\n", needs=_FLOOR, bound=True),
        ],
    ),
    Case(
        "overnight_rate(30-node curve, 1e6 dates)",
        "vn.overnight_rate(curve, dates)",
        _CURVE,
        [Peer("(exp(interp - interp) - 1) / tau", "(np.exp(log_df(x) - log_df(x + 1.0)) - 1.0) / (1.0 / 365.0)",
              _CURVE, goal=1.0)],
    ),
    Case(
        "fwd_df(30-node curve, 1e6 pairs)",
        "vn.fwd_df(curve, dates, ends)",
        _CURVE,
        [Peer("np.exp(interp - interp)", "np.exp(log_df(x2) - log_df(x))", _CURVE, goal=1.0)],
    ),
    Case(
        "fwd_rate(30-node curve, 1e6 pairs)",
        "vn.fwd_rate(curve, dates, ends)",
        _CURVE,
        [Peer("(exp(interp - interp) - 1) / tau", "(np.exp(log_df(x) - log_df(x2)) - 1.0) / ((x2 - x) / 365.0)",
              _CURVE, goal=1.0)],
    ),
]


def report() -> None:
    """Peak memory traced while pricing the book, beside the output's own size."""
    import tracemalloc

    namespace: dict[str, object] = {}
    exec(_NUMPY, namespace)  # noqa: S102
    print(f"\n{'peak traced memory over the book':<44} {'MB':>7} {'x output':>9}")
    for name, stmt in [("vantorel_np.npv", "vn.npv(*book)"), ("numpy + ndtr formula", "np_npv(*book)")]:
        tracemalloc.start()
        exec(stmt, namespace)  # noqa: S102
        peak = tracemalloc.get_traced_memory()[1]
        tracemalloc.stop()
        print(f"{name:<44} {peak / 1e6:>7.1f} {peak / 8e6:>9.2f}" + ("  (goal 1.10)" if "vantorel" in name else ""))
