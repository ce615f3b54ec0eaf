"""Interpolation and discount factors against numpy, pure Python and QuantLib.

The "10 nodes" peer of the 1,000-node cases is vantorel itself: its ratio is the
cost on 1,000 nodes over the cost on 10 (goal: within 2x).
"""

from harness import Case, Peer

TITLE = "curves"


def _interp_setup(n: int) -> str:
    # Nodes 0, 1, ..., n-1 with a smooth ordinate; the query lies between two
    # nodes in the upper half, so a linear scan would pay for most of the list.
    return f"""
import math
from bisect import bisect_left
import numpy as np
from vantorel import ExtrapType, Interpolator, InterpType
xs = [float(i) for i in range({n})]
ys = [math.exp(-0.03 * x) for x in xs]
slopes = [(ys[i + 1] - ys[i]) / (xs[i + 1] - xs[i]) for i in range({n} - 1)]
lin = Interpolator(xs, ys, InterpType.Linear, ExtrapType.Flat)
geo = Interpolator(xs, ys, InterpType.Geometric, ExtrapType.Flat)
axs, ays = np.array(xs), np.array(ys)
x = {n} * 0.7 + 0.25
def py_interp(x, xs=xs, ys=ys, slopes=slopes, hi=len(xs) - 1):
    i = bisect_left(xs, x, 1, hi) - 1
    return (x - xs[i]) * slopes[i] + ys[i]
"""


def _interp_case(n: int) -> list[Case]:
    setup = _interp_setup(n)
    peers = [
        Peer("numpy.interp (scalar)", "np.interp(x, axs, ays)", setup, goal=1.0),
        Peer("pure Python bisect", "py_interp(x)", setup, goal=1.0),
    ]
    if n > 10:
        peers.append(Peer("vantorel, 10 nodes", "lin.interpolate(x)", _interp_setup(10), goal=2.0))
    cases = [Case(f"Interpolator.interpolate linear, {n} nodes", "lin.interpolate(x)", setup, peers)]
    geo_peers = [Peer("vantorel, 10 nodes", "geo.interpolate(x)", _interp_setup(10), goal=2.0)] if n > 10 else []
    cases.append(Case(f"Interpolator.interpolate geometric, {n} nodes", "geo.interpolate(x)", setup, geo_peers))
    return cases


_CURVE_SETUP = """
import math
from vantorel import Date, DayCounter, InterpType, YieldCurve
d0 = Date(2024, 1, 5)
days = [0] + [30 * 2**(k / 3) // 1 for k in range(29)]
days = sorted(set(int(n) for n in days))[:30]
dfs = [math.exp(-0.03 * n / 365.0) for n in days]
flat = YieldCurve.create_flat(d0, DayCounter.Act365, 0.03)
noded = YieldCurve.create_noded(d0, DayCounter.Act365, [d0 + n for n in days], dfs, InterpType.Geometric)
q = d0 + 400
"""
_QL_SETUP = _CURVE_SETUP + """
import QuantLib as ql
t0 = ql.Date(5, 1, 2024)
ql.Settings.instance().evaluationDate = t0
ql_flat = ql.FlatForward(t0, 0.03, ql.Actual365Fixed(), ql.Continuous)
ql_noded = ql.DiscountCurve([t0 + n for n in days], dfs, ql.Actual365Fixed())
ql_q = t0 + 400
"""

CASES = [
    *_interp_case(10),
    *_interp_case(1000),
    Case(
        "YieldCurve.get_df, flat",
        "flat.get_df(q)",
        _CURVE_SETUP,
        [Peer("QuantLib FlatForward.discount", "ql_flat.discount(ql_q)", _QL_SETUP, needs="QuantLib", goal=1.0)],
    ),
    Case(
        "YieldCurve.get_df, 30 nodes geometric",
        "noded.get_df(q)",
        _CURVE_SETUP,
        [Peer("QuantLib DiscountCurve.discount", "ql_noded.discount(ql_q)", _QL_SETUP, needs="QuantLib", goal=1.0)],
    ),
]
