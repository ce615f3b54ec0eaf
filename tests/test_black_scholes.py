"""BlackScholes: closed-form value and sensitivities, their special cases and the Python surface."""

import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from support import assert_type_error, same

from vantorel import BlackScholes as BS
from vantorel import Date, PutCallFlag

CALL, PUT = PutCallFlag.Call, PutCallFlag.Put
GREEKS = ["npv", "delta", "gamma", "vega", "theta", "rho_r", "rho_q"]
BASE = (100.0, 100.0, 0.05, 0.02, 1.0)  # spot, strike, rate, div_yield, tau; vol 0.2


def compute(name, spot, strike, rate, q, tau, flag, vol):
    return getattr(BS, name)(spot, strike, rate, q, tau, flag, vol)


# The standard case (S = K = 100, r 5 %, q 2 %, one year, 20 % vol) to six decimals.
@pytest.mark.parametrize(
    "flag, expected",
    [
        (CALL, [9.227006, 0.586851, 0.0189506, 37.901158, -5.089319, 49.458109, -58.685115]),
        (PUT, [6.330081, -0.393348, 0.0189506, 37.901158, -2.293569, -45.664833, 39.334753]),
    ],
)
def test_standard_case(flag, expected):
    assert [compute(name, *BASE, flag, 0.2) for name in GREEKS] == pytest.approx(expected, abs=1.5e-6)


valid_inputs = st.tuples(
    st.floats(50, 150), st.floats(50, 150), st.floats(-0.02, 0.1), st.floats(0, 0.08),
    st.floats(0.25, 3), st.sampled_from([CALL, PUT]), st.floats(0.05, 0.6),
)


def textbook_npv(spot, strike, rate, q, tau, flag, vol):
    """Black-Scholes-Merton on math.erf (correctly rounded, unlike the ten-digit pieces of vantorel.erf)."""
    chi = 1.0 if flag == CALL else -1.0
    d1 = (math.log(spot / strike) + (rate - q + vol * vol / 2) * tau) / (vol * math.sqrt(tau))
    d2 = d1 - vol * math.sqrt(tau)
    n = lambda x: (1 + math.erf(x / math.sqrt(2))) / 2  # noqa: E731
    return chi * (spot * math.exp(-q * tau) * n(chi * d1) - strike * math.exp(-rate * tau) * n(chi * d2))


@settings(max_examples=200)
@given(valid_inputs)
def test_greeks_are_derivatives_of_npv(args):
    spot, strike, rate, q, tau, flag, vol = args
    # Each normal probability carries the ~1e-10 error of erf.
    assert BS.npv(*args) == pytest.approx(textbook_npv(*args), rel=1e-9, abs=2e-10 * (spot + strike))

    kw = dict(spot=spot, strike=strike, rate=rate, div_yield=q, tau=tau, pc_flag=flag, vol=vol)

    def p(**bump):
        return BS.npv(**(kw | bump))

    def central(name, x, h, f=p):  # Richardson-extrapolated: truncation error O(h^4)
        def d(h):
            return (f(**{name: x + h}) - f(**{name: x - h})) / (2 * h)

        return (4 * d(h / 2) - d(h)) / 3

    # The bumps are wide enough that the 1e-10 steps of erf between its pieces
    # stay below the tolerances, narrow enough for the truncation errors.
    h_s = 0.05 * spot * vol * math.sqrt(tau)  # a twentieth of a standard deviation
    assert compute("delta", *args) == pytest.approx(central("spot", spot, h_s), rel=1e-6, abs=1e-6)
    delta = lambda spot: BS.delta(spot, *args[1:])  # noqa: E731
    assert compute("gamma", *args) == pytest.approx(central("spot", spot, h_s, delta), rel=1e-5, abs=1e-6)
    assert compute("vega", *args) == pytest.approx(central("vol", vol, 1e-3), rel=1e-5, abs=1e-5)
    assert compute("theta", *args) == pytest.approx(-central("tau", tau, 1e-3), rel=1e-4, abs=1e-4)
    assert compute("rho_r", *args) == pytest.approx(central("rate", rate, 1e-3), rel=1e-5, abs=1e-5)
    assert compute("rho_q", *args) == pytest.approx(central("div_yield", q, 1e-3), rel=1e-5, abs=1e-5)
    parity = p(pc_flag=CALL) - p(pc_flag=PUT)
    assert parity == pytest.approx(spot * math.exp(-q * tau) - strike * math.exp(-rate * tau), abs=1e-10)


@pytest.mark.parametrize("name", GREEKS)
@pytest.mark.parametrize("spot, strike, vol", [(-1, 100, 0.2), (100, -1, 0.2), (100, 100, -0.1)])
def test_negative_spot_strike_or_vol_gives_none(name, spot, strike, vol):
    assert getattr(BS, name)(spot, strike, 0.05, 0.02, 1.0, CALL, vol) is None
    d = Date(2024, 1, 5)
    assert getattr(BS, name + "_with_dates")(spot, strike, 0.05, 0.02, d, d + 365, PUT, vol) is None


@pytest.mark.parametrize("name", GREEKS)
def test_nan_flows_through_and_zero_is_accepted(name):
    assert math.isnan(compute(name, 100, 100, 0.05, 0.02, math.nan, CALL, 0.2))
    assert math.isnan(compute(name, math.nan, 100, 0.05, 0.02, 1.0, PUT, 0.2))
    assert math.isnan(compute(name, 0.0, 0.0, 0.05, 0.02, 1.0, CALL, 0.2))  # ln 0 - ln 0
    for spot, strike, vol in [(0.0, 100, 0.2), (100, 0.0, 0.2), (100, 100, 0.0)]:
        assert compute(name, spot, strike, 0.05, 0.02, 1.0, CALL, vol) is not None
    assert BS.npv(100, 0.0, 0.05, 0.02, 1.0, CALL, 0.2) == 100 * math.exp(-0.02)  # d1 = +inf


# At expiry (tau = 0) and expired (tau < 0): (spot, flag, tau) -> seven results.
@pytest.mark.parametrize(
    "spot, flag, tau, expected",
    [
        (110, CALL, 0.0, [10.0, 1.0, 0.0, 0.0, 0.0, 0.0, -0.0]),
        (90, CALL, 0.0, [0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -0.0]),
        (100, CALL, 0.0, [0.0, 0.5, math.inf, 0.0, 0.0, 0.0, -0.0]),
        (90, PUT, 0.0, [10.0, -1.0, 0.0, 0.0, 0.0, -0.0, 0.0]),
        (110, PUT, 0.0, [-0.0, -0.0, 0.0, 0.0, 0.0, -0.0, 0.0]),
        (100, PUT, 0.0, [-0.0, -0.5, math.inf, 0.0, 0.0, -0.0, 0.0]),
        (110, CALL, -0.5, [0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -0.0]),
        (90, PUT, -0.5, [-0.0, -0.0, 0.0, 0.0, 0.0, -0.0, 0.0]),
    ],
)
def test_at_expiry_and_expired(spot, flag, tau, expected):
    got = [compute(name, spot, 100, 0.05, 0.02, tau, flag, 0.2) for name in GREEKS]
    assert all(map(same, got, expected)), got


def test_zero_vol_is_the_discounted_intrinsic_value_on_the_forward():
    got = [compute(name, *BASE, CALL, 0.0) for name in GREEKS]
    assert got[0] == 100 * math.exp(-0.02) - 100 * math.exp(-0.05)
    assert got[1:4] == [math.exp(-0.02), 0.0, 0.0]
    assert got[4] == pytest.approx(-2.795750, abs=1e-6)
    # Forward exactly at the strike: d1 = d2 = 0.
    assert BS.delta(100, 100, 0.0, 0.0, 1.0, CALL, 0.0) == 0.5
    assert BS.gamma(100, 100, 0.0, 0.0, 1.0, PUT, 0.0) == math.inf


def test_kernels_validate_nothing_and_keep_their_grouping():
    assert BS.npv_impl(-1.0, -2.0, 1.0, 0.9, 0.8, 0.7, 0.6) == 1.0 * ((-1.0 * 0.8) * 0.7 - (-2.0 * 0.9) * 0.6)
    assert BS.delta_impl(-1.0, 0.3, 0.7) == (-1.0 * 0.3) * 0.7
    assert BS.gamma_impl(3.0, 0.2, 0.5, 0.9, 0.1) == (0.9 * 0.1) / ((3.0 * 0.2) * 0.5)
    assert [BS.gamma_impl(3.0, v, s, 0.9, pdf) for v, s, pdf in [(0, 1, 0.1), (0.2, 0, 0.1), (0, 0, 0.0)]] == [
        math.inf, math.inf, 0.0]
    assert BS.gamma_impl(3.0, 0.0, 1.0, 0.9, math.nan) == 0.0
    assert BS.vega_impl(3.0, 0.5, 0.9, 0.1) == 0.5 * (3.0 * (0.9 * 0.1))
    args = (100.0, 90.0, 0.03, 0.01, 0.3, -1.0, 0.7, 0.97, 0.99, 0.35, 0.6, 0.55)
    s, k, r, q, vol, chi, st_, dfr, dfq, pdf, c1, c2 = args
    expected = (c2 * (k * (r * (-chi * dfr))) - (vol * ((dfq * s) * pdf)) / (st_ * 2)) + c1 * (s * (q * (dfq * chi)))
    assert BS.theta_impl(*args) == expected
    assert BS.theta_impl(*args[:6], 0.0, *args[7:]) == 0.0
    assert BS.rho_r_impl(90.0, -1.0, 0.7, 0.97, 0.55) == 90.0 * -1.0 * 0.7 * 0.97 * 0.55
    assert BS.rho_q_impl(100.0, -1.0, 0.7, 0.99, 0.6) == 100.0 * 1.0 * 0.7 * 0.99 * 0.6


@pytest.mark.parametrize("name", GREEKS)
@pytest.mark.parametrize("days, tau", [(365, 1.0), (366, 366 / 365.0), (30, 30 / 365.0), (0, 0.0), (-3, -3 / 365.0)])
def test_dates_give_calendar_days_over_365(name, days, tau):
    eval_date = Date(2024, 2, 28)
    dated = getattr(BS, name + "_with_dates")(100, 95, 0.05, 0.02, eval_date, eval_date + days, PUT, 0.2)
    assert same(dated, compute(name, 100, 95, 0.05, 0.02, tau, PUT, 0.2))


def test_class_surface():
    methods = [n for n in vars(BS) if not n.startswith("__")]
    expected = ["get_metrics_with_dates", "get_metrics", "get_metrics_fd_with_dates", "get_metrics_fd"]
    for name in GREEKS:
        expected += [name + "_with_dates", name, name + "_impl"]
    assert methods == expected
    assert BS.npv.__text_signature__ == "(spot, strike, rate, div_yield, tau, pc_flag, vol)"
    assert BS.theta_with_dates.__text_signature__ == (
        "(spot, strike, rate, div_yield, eval_date, expiry_date, pc_flag, vol)")
    assert BS.rho_q_impl.__text_signature__ == "(spot, chi, tau, df_q, cdf_d1)"
    assert all(getattr(BS, n).__doc__ is None for n in methods)
    kw = BS.npv(spot=100, strike=100, rate=0.05, div_yield=0.02, tau=1, pc_flag=PUT, vol=0.2)
    assert kw == BS.npv(100.0, 100.0, 0.05, 0.02, 1.0, PUT, 0.2) == pytest.approx(6.330081, abs=1e-6)


@pytest.mark.parametrize(
    "call, message",
    [(lambda: BS.npv(100, 100, 0.05, 0.02, 1, 1, 0.2), "argument 'pc_flag': expected PutCallFlag, got int"),
     # The first failing parameter is reported.
     (lambda: BS.delta("100", 100, 0.05, 0.02, 1, 1, 0.2), "argument 'spot': must be real number, not str"),
     (lambda: BS.vega_with_dates(100, 100, 0.05, 0.02, Date(2024, 1, 5), "2025-01-05", CALL, 0.2),
      "argument 'expiry_date': expected Date, got str"),
     (lambda: BS.gamma_impl(1, 1, 1, 1, 1, tau=1), "BlackScholes.gamma_impl() got an unexpected keyword argument 'tau'")],
)  # fmt: skip
def test_argument_errors(call, message):
    assert_type_error(call, message)
