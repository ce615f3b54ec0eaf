"""The pricer and the error function against math, pure Python and QuantLib."""

from harness import Case, Peer

TITLE = "pricer"

_ARGS = "100.0, 105.0, 0.05, 0.02, 0.75, call, 0.2"
_SETUP = (
    "from vantorel import BlackScholes, PutCallFlag; call = PutCallFlag.Call; "
    "npv = BlackScholes.npv; get_metrics = BlackScholes.get_metrics; "
    "get_metrics_fd = BlackScholes.get_metrics_fd"
)

# The same closed form in pure Python on math.erf, for scale.
_PY_NPV = """
from math import erf, exp, log, sqrt
def py_npv(spot, strike, rate, div_yield, tau, is_call, vol):
    chi = 1.0 if is_call else -1.0
    s = sqrt(tau) * vol
    d1 = ((0.5 * vol * vol + (rate - div_yield)) * tau + (log(spot) - log(strike))) / s
    d2 = d1 - s
    n1 = (erf(chi * d1 * 0.7071067811865476) + 1.0) * 0.5
    n2 = (erf(chi * d2 * 0.7071067811865476) + 1.0) * 0.5
    return chi * (spot * exp(-div_yield * tau) * n1 - strike * exp(-rate * tau) * n2)
"""

# QuantLib's Black formula on the forward (the closest QuantLib equivalent of
# one closed-form price from plain numbers); forward, standard deviation and
# discount factor are prepared in the setup, so QuantLib is timed on its call
# and formula alone.
_QL_SETUP = (
    "import QuantLib as ql; from math import exp, sqrt; call = ql.Option.Call; black = ql.blackFormula; "
    "fwd = 100.0 * exp(-0.02 * 0.75) / exp(-0.05 * 0.75); std = 0.2 * sqrt(0.75); disc = exp(-0.05 * 0.75)"
)
_QL_STMT = "black(call, 105.0, fwd, std, disc)"

CASES = [
    Case(
        "npv(7 args)",
        f"npv({_ARGS})",
        _SETUP,
        [
            Peer("math.hypot(7 floats)", "hypot(100.0, 105.0, 0.05, 0.02, 0.75, 1.0, 0.2)",
                 "from math import hypot", goal=1.3),
            Peer("pure Python on math.erf", "py_npv(100.0, 105.0, 0.05, 0.02, 0.75, True, 0.2)", _PY_NPV),
            Peer("QuantLib blackFormula", _QL_STMT, _QL_SETUP, needs="QuantLib"),
        ],
    ),
    Case("get_metrics(7 args)", f"get_metrics({_ARGS})", _SETUP,
         [Peer("npv(7 args)", f"npv({_ARGS})", _SETUP, goal=1.3)]),
    Case("get_metrics_fd(7 args)", f"get_metrics_fd({_ARGS})", _SETUP,
         [Peer("npv(7 args)", f"npv({_ARGS})", _SETUP)]),
    Case("vantorel.erf(x)", "erf(0.3)", "from vantorel import erf",
         [Peer("math.erf(x)", "erf(0.3)", "from math import erf", goal=1.2)]),
    Case("vantorel.erf(x), x in the tail", "erf(2.7)", "from vantorel import erf",
         [Peer("math.erf(x)", "erf(2.7)", "from math import erf", goal=1.2)]),
]
