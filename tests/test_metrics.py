"""BlackScholesMetrics: all seven results at once, in closed form and by finite differences."""

import math
from decimal import Decimal

import pytest
from hypothesis import given
from hypothesis import strategies as st
from support import same

from vantorel import BlackScholes as BS
from vantorel import BlackScholesMetrics, Date, PutCallFlag

CALL, PUT = PutCallFlag.Call, PutCallFlag.Put
FIELDS = ["npv", "delta", "gamma", "vega", "theta", "rho_r", "rho_q"]
BASE = (100.0, 100.0, 0.05, 0.02, 1.0)


def fields(m):
    return [getattr(m, f) for f in FIELDS]


any_inputs = st.tuples(
    st.floats(0, 300), st.floats(0, 300), st.floats(-0.1, 0.2), st.floats(-0.05, 0.1),
    st.one_of(st.floats(-1, 5), st.just(0.0)), st.sampled_from([CALL, PUT]),
    st.one_of(st.floats(0, 1), st.just(0.0)),
)


@given(any_inputs)
def test_closed_form_record_equals_the_single_computations(args):
    m = BS.get_metrics(*args)
    assert all(map(same, fields(m), [getattr(BS, f)(*args) for f in FIELDS]))


def fd_by_hand(spot, strike, rate, q, tau, flag, vol):
    """The finite differences written out with BlackScholes.npv."""
    def p(s=spot, r=rate, dq=q, t=tau, v=vol):
        return BS.npv(s, strike, r, dq, t, flag, v)

    base = p()
    if vol <= 0.001:
        vega = (p(v=0.0001 + vol) - base) / 0.0001
    else:
        h = vol * 0.001
        vega = (p(v=h + vol) - p(v=vol - h)) / (h + h)
    day = 0.0027397260273972603
    theta = 0.0 if tau < day else (p(t=-day + tau) - p(t=day + tau)) / 0.005479452054794521
    h_s = 0.0005 * spot
    at_the_money_expiry = strike == spot and tau == 0
    if h_s:
        up, down = p(s=h_s + spot), p(s=spot - h_s)
        delta = (up - down) / (h_s + h_s)
        gamma = math.inf if at_the_money_expiry else (down + (up - (base + base))) / (h_s * h_s)
    else:  # zero spot: the value is linear in spot
        delta = BS.delta(spot, strike, rate, q, tau, flag, vol)
        gamma = math.inf if at_the_money_expiry else base if math.isnan(base) else 0.0
    d_r, d_q = rate * 0.001 or 0.0001, 0.001 * q or 0.0001  # a zero rate takes a fixed bump
    return [base, delta, gamma, vega, theta,
            (p(r=d_r + rate) - p(r=rate - d_r)) / (d_r + d_r),
            (p(dq=d_q + q) - p(dq=q - d_q)) / (d_q + d_q)]


@pytest.mark.parametrize(
    "args",
    [
        (*BASE, CALL, 0.2), (*BASE, PUT, 0.2), (100, 100, 0.05, 0.02, 1.0, CALL, 0.0005),
        (100, 100, 0.05, 0.02, 1.0, PUT, 0.001), (80, 100, -0.01, 0.03, 0.002, CALL, 0.3),
        (120, 100, 0.05, 0.02, 1 / 365, PUT, 0.25), (100, 100, 0.05, 0.02, 0.0, CALL, 0.2),
        (100, 90, 0.05, 0.02, -1.0, PUT, 0.2), (100, 100, 0.05, 0.02, 1.0, CALL, math.nan),
        (0.0, 0.0, 0.05, 0.02, 1.0, CALL, 0.2), (0.0, 0.0, 0.05, 0.02, 0.0, PUT, 0.2),  # NaN npv; inf gamma
    ],
)
def test_finite_differences_bit_for_bit(args):
    # Below one day theta is 0 (tau 0.002); at expiry at the money gamma is +inf.
    assert all(map(same, fields(BS.get_metrics_fd(*args)), fd_by_hand(*args)))


@pytest.mark.parametrize(
    "flag, expected",
    [
        (CALL, [9.227006, 0.5868510, 0.01895057, 37.901157, -5.089323, 49.458109, -58.685115]),
        (PUT, [6.330081, -0.3933477, 0.01895057, 37.901157, -2.293573, -45.664834, 39.334753]),
    ],
)
def test_standard_case_by_finite_differences(flag, expected):
    assert fields(BS.get_metrics_fd(*BASE, flag, 0.2)) == pytest.approx(expected, abs=1e-6)


@pytest.mark.parametrize("name", ["get_metrics", "get_metrics_fd"])
def test_invalid_inputs_and_dates(name):
    d = Date(2024, 1, 5)
    assert getattr(BS, name)(100, -1, 0.05, 0.02, 1.0, CALL, 0.2) is None
    assert getattr(BS, name + "_with_dates")(100, -1, 0.05, 0.02, d, d + 365, CALL, 0.2) is None
    dated = getattr(BS, name + "_with_dates")(100, 95, 0.05, 0.02, d, d + 100, PUT, 0.2)
    assert fields(dated) == fields(getattr(BS, name)(100, 95, 0.05, 0.02, 100 / 365.0, PUT, 0.2))


# Relative bumps vanish at a zero rate, dividend yield or spot: the rates take
# the fixed bump 0.0001; at spot 0 the value is linear in spot, so delta comes
# from the closed form and gamma is 0.
@pytest.mark.parametrize(
    "args",
    [(100, 95, 0.0, 0.02, 1.0, CALL, 0.2), (100, 95, 0.05, 0.0, 1.0, PUT, 0.2),
     (100, 95, 0.0, -0.0, 0.5, PUT, 0.3), (0.0, 95, 0.05, 0.0, 1.0, PUT, 0.2),
     (0.0, 95, 0.05, 0.02, 1.0, CALL, 0.2), (0.0, 95, 0.05, 0.02, 0.0, PUT, 0.2),
     (0.0, 95, 0.05, 0.02, 1.0, PUT, 0.0), (0.0, 95, 0.05, 0.02, -1.0, CALL, 0.2)],
)
def test_zero_inputs_give_sound_finite_differences(args):
    fd, cf = fields(BS.get_metrics_fd(*args)), fields(BS.get_metrics(*args))
    assert all(map(same, fd, fd_by_hand(*args)))
    assert not any(map(math.isnan, fd))
    assert fd[:2] + fd[5:] == pytest.approx(cf[:2] + cf[5:], rel=1e-5, abs=1e-9)


def plain(x):
    return format(Decimal(repr(x)), "f").removesuffix(".0") if math.isfinite(x) else repr(x)


@pytest.mark.parametrize(
    "args, text",
    [
        ((110, 100, 0.05, 0.02, -1.0, CALL, 0.2),
         "BlackScholesMetrics(npv=0, delta=0, gamma=0, vega=0, theta=0, rho_r=0, rho_q=-0)"),
        ((110, 100, 0.05, 0.02, -1.0, PUT, 0.2),
         "BlackScholesMetrics(npv=-0, delta=-0, gamma=0, vega=0, theta=0, rho_r=-0, rho_q=0)"),
        ((100, 100, 0.05, 0.02, 1.0, CALL, math.nan),
         "BlackScholesMetrics(npv=NaN, delta=NaN, gamma=NaN, vega=NaN, theta=NaN, rho_r=NaN, rho_q=NaN)"),
        ((10, 100, 0.05, 0.02, 0.25, CALL, 0.2), None),  # tiny values: positional, no exponent
    ],
)
def test_text_form(args, text):
    m = BS.get_metrics(*args)
    if text is None:
        text = "BlackScholesMetrics(" + ", ".join(f"{f}={plain(v)}" for f, v in zip(FIELDS, fields(m))) + ")"
        assert "e-" not in text
    assert repr(m) == str(m) == text


def test_record_surface():
    m = BS.get_metrics(*BASE, CALL, 0.2)
    assert [n for n in vars(BlackScholesMetrics) if not n.startswith("__")] == FIELDS
    assert all(getattr(BlackScholesMetrics, f).__doc__ is None for f in FIELDS)
    assert type(m.delta) is float
    with pytest.raises(AttributeError, match="^readonly attribute$"):
        m.delta = 1.0
