"""vantorel_np.implied_vol: round trips against prices made in high precision, the bounds, the array machinery."""

import math

import mpmath as mp
import numpy as np
import pytest
from hypothesis import assume, given, settings
from hypothesis import strategies as st

vn = pytest.importorskip("vantorel_np")

CALL, PUT = 1, 0


def exact(spot, strike, rate, q, tau, flag, vol):
    """Price and elasticity vol*vega/price of the Black-Scholes-Merton formula to 40 digits: more
    working digits where ln(S/K) and (r - q) tau cancel, and where F N(d1) - K N(d2) does (about
    log10((1 + |d1|)/sd) digits)."""
    with mp.workdps(30):
        ln_ratio = mp.log(mp.mpf(spot)) - mp.log(mp.mpf(strike))
        x, sd = ln_ratio + (mp.mpf(rate) - q) * tau, mp.mpf(vol) * mp.sqrt(tau)
        lost = mp.log10(abs(ln_ratio / x)) if x and ln_ratio else 0
        lost += mp.log10((1 + abs(x) / sd) / sd) if sd else 0
    with mp.workdps(50 + int(max(lost, 0))):
        S, K, r, q_, t, v = (mp.mpf(a) for a in (spot, strike, rate, q, tau, vol))
        chi = 1 if flag else -1
        if v == 0:
            return max(chi * (S * mp.exp(-q_ * t) - K * mp.exp(-r * t)), 0), 0
        sd = v * mp.sqrt(t)
        d1 = (mp.log(S / K) + (r - q_) * t) / sd + sd / 2
        fwd_spot, pv_strike = S * mp.exp(-q_ * t), K * mp.exp(-r * t)
        price = chi * (fwd_spot * mp.ncdf(chi * d1) - pv_strike * mp.ncdf(chi * (d1 - sd)))
        return +price, fwd_spot * mp.npdf(d1) * sd / price if price else mp.nan


def check_price(price, spot, strike, rate, q, tau, flag):
    """The accuracy rule on a price's own terms: the exact price at the returned vol is the price
    within 1e-13 beyond what the vol's rounding moves it by (elasticity * 2^-52), and within
    1e-12 * elasticity (the vol within 1e-12) where the elasticity is at least 1e-3."""
    iv = float(vn.implied_vol(price, spot, strike, rate, q, tau, flag))
    assert 0 < iv < math.inf
    back, elasticity = exact(spot, strike, rate, q, tau, flag, iv)
    err = float(abs(back / price - 1))
    assert err <= 1e-13 + float(elasticity) * 2**-52
    assert err <= 1e-12 * float(elasticity) or elasticity < 1e-3


def check_round_trip(spot, strike, rate, q, tau, flag, vol):
    """The accuracy rule, ten times looser than the benchmark's: where vega*vol >= 1e-3*price
    the vol comes back within 1e-11; everywhere the exact price at the returned vol is the
    price within 1e-11."""
    price, elasticity = exact(spot, strike, rate, q, tau, flag, vol)
    p = float(price)
    fwd_spot, pv_strike = spot * math.exp(-q * tau), strike * math.exp(-rate * tau)
    lower = max((1 if flag else -1) * (fwd_spot - pv_strike), 0.0)
    # A price within a few roundings of a bound (each bound is made of spot*df_q and strike*df_r)
    # has no time value left to invert: the vol is then 0, +inf or NaN by which side of its own
    # rounding of the bound the solver lands.
    upper, clear = (fwd_spot if flag else pv_strike), 8 * 2**-52 * max(fwd_spot, pv_strike)
    if not (lower + clear < p < upper - clear):
        return
    if p < 2.3e-308:
        return
    iv = float(vn.implied_vol(p, spot, strike, rate, q, tau, flag))
    assert not math.isnan(iv)
    if elasticity >= 1e-3:
        assert iv == pytest.approx(vol, rel=1e-11)
    if iv != math.inf:  # +inf: the price is the upper bound to within its rounding
        back, _ = exact(spot, strike, rate, q, tau, flag, iv)
        assert abs(float(back) / p - 1) <= 1e-11


@settings(max_examples=300, deadline=None)
@given(
    vol=st.floats(1e-4, 10.0),
    tau=st.floats(1 / 365, 50.0),
    z=st.floats(-10.0, 10.0),
    rate=st.floats(-0.05, 0.2),
    q=st.floats(-0.05, 0.2),
    flag=st.sampled_from([CALL, PUT]),
)
def test_round_trip(vol, tau, z, rate, q, flag):
    # ln(F/K) is z standard deviations.
    x = z * vol * math.sqrt(tau)
    strike = 100.0 * math.exp((rate - q) * tau - x)
    check_round_trip(100.0, strike, rate, q, tau, flag, vol)


# Extremes: tiny and huge vols, one day and fifty years, deep in and out of the money,
# a price near the smallest normal double.
@pytest.mark.parametrize(
    "spot, strike, rate, q, tau, flag, vol",
    [
        (100.0, 100.0, 0.0, 0.0, 1 / 365, CALL, 1e-4),
        (100.0, 100.0001, 0.05, 0.0, 1 / 365, PUT, 1e-4),
        (100.0, 60.0, 0.2, -0.05, 50.0, PUT, 1e-4),
        (100.0, 250.0, 0.01, 0.0, 1 / 365, CALL, 0.5),
        (100.0, 3000.0, -0.05, 0.2, 1.0, CALL, 0.7),
        (100.0, 40.0, 0.05, 0.02, 0.25, CALL, 0.02),
        (100.0, 100.0, 0.05, 0.0, 50.0, CALL, 10.0),
        (1e-3, 1e5, 0.0, 0.0, 2.0, CALL, 1.3),
    ],
)
def test_extreme_cases(spot, strike, rate, q, tau, flag, vol):
    check_round_trip(spot, strike, rate, q, tau, flag, vol)


# The edges of the double range: price / sqrt(F K) below the smallest double (down to a
# subnormal price), tiny prices within 1e-50 of the money, spot*df_q above the largest double,
# subnormal discount factors and forwards.
@pytest.mark.parametrize(
    "price, spot, strike, rate, q, tau, flag",
    [
        (1e-250, 1e100, 1e200, 0.0, 0.0, 1.0, CALL),
        (1e-250, 1e200, 1e100, 0.0, 0.0, 1.0, PUT),
        (1e-320, 1e10, 1e30, 0.0, 0.0, 1.0, CALL),
        (1e-60, 1.0, 1.0, 1e-50, 0.0, 1.0, PUT),
        (3.5e-50, 1.0, 1.0, 1e-50, 0.0, 1.0, PUT),
        (1e-200, 1.0, 1.0, -1e-300, 0.0, 1.0, CALL),
        (1e200, 1e300, 1e300, 0.0, -2.0, 10.0, PUT),
        (1e-320, 1.0, 1.0, 72.0, 0.0, 10.0, PUT),
        (1e-315, 1.0, 1.0, 72.0, 72.0, 10.0, CALL),
        (1e-316, 1e-300, 9.4e-314, 0.0, 30.0, 1.0, CALL),
    ],
)
def test_edges_of_the_double_range(price, spot, strike, rate, q, tau, flag):
    check_price(price, spot, strike, rate, q, tau, flag)


# No answer where the bounds have no meaning in double: a discount factor beyond the double
# range, or e^(ln(F/K)/2) below the normal range.
@pytest.mark.parametrize("price, spot, strike, rate, q", [(100.0, 100.0, 100.0, 800.0, 0.0),
                                                          (1e-322, 1e-300, 1e300, 0.0, 50.0)])
def test_bounds_without_meaning_in_double(price, spot, strike, rate, q):
    assert math.isnan(vn.implied_vol(price, spot, strike, rate, q, 1.0, CALL))


@settings(max_examples=150, deadline=None)
@given(
    ln_spot=st.floats(-690.0, 690.0),
    x=st.one_of(st.floats(-700.0, 700.0), st.sampled_from([0.0, 1e-300, -1e-300, 1e-50, -1e-50, 1e-12, -1e-12])),
    ln_dev=st.floats(math.log(1e-300), math.log(30.0)),
    carry=st.sampled_from([(0.05, 0.02, 2.0), (72.0, 72.0, 10.0), (72.0, 0.0, 10.0), (0.0, -2.0, 10.0), None]),
    flag=st.sampled_from([CALL, PUT]),
)
def test_round_trip_over_the_double_range(ln_spot, x, ln_dev, carry, flag):
    # ln(F/K) = x (from the carry alone when there is none: spot = strike, rate = x), total
    # deviation e^ln_dev; the price made from them in high precision, kept where it is a double
    # clear of the bounds by more than their rounding.
    rate, q, tau = carry or (x, 0.0, 1.0)
    ln_strike = ln_spot + (rate - q) * tau - x if carry else ln_spot
    assume(-690.8 < ln_strike < 690.8)
    spot, strike = math.exp(ln_spot), math.exp(ln_strike)
    with mp.workdps(30):
        x_exact, dev = mp.log(mp.mpf(spot) / strike) + (mp.mpf(rate) - q) * tau, mp.exp(ln_dev)
        assume(abs(x_exact) < 54 * dev)
        # Where ln(S/K) and the carry cancel, ln(F/K) is known to about 1e-29 |ln(S/K)|, which
        # moves ln b by that times (1 + |x|/dev)/dev.
        assume(abs(ln_spot - ln_strike) * 1e-29 * (1 + abs(x_exact) / dev) / dev < 1e-14)
    price = float(exact(spot, strike, rate, q, tau, flag, math.exp(ln_dev) / math.sqrt(tau))[0])
    with mp.workdps(700):  # F - K to its last digit however close to the money
        fwd_spot, pv_strike = spot * mp.exp(-mp.mpf(q) * tau), strike * mp.exp(-mp.mpf(rate) * tau)
        chi, big = (1 if flag else -1), max(fwd_spot, pv_strike)
        intrinsic, upper = max(chi * (fwd_spot - pv_strike), 0), fwd_spot if flag else pv_strike
        assume(2.0**-1074 <= price <= 1e300 and upper - price > 1e-14 * big)
        # A price within rounding of the intrinsic value gives 0; out of the money the lower bound is 0.
        assume(price - intrinsic > 1e-14 * big if intrinsic else float(fwd_spot - pv_strike) * chi <= 0)
    check_price(price, spot, strike, rate, q, tau, flag)


NAN = math.nan
FWD_SPOT, PV_STRIKE = 100 * math.exp(-0.02 * 0.5), 90 * math.exp(-0.05 * 0.5)
INTRINSIC = FWD_SPOT - PV_STRIKE


@pytest.mark.parametrize(
    "price, flag, tau, spot, expected",
    [
        (INTRINSIC, CALL, 0.5, 100.0, 0.0),
        (0.0, PUT, 0.5, 100.0, 0.0),
        (math.nextafter(INTRINSIC, 0), CALL, 0.5, 100.0, NAN),
        (-1e-300, PUT, 0.5, 100.0, NAN),
        (FWD_SPOT, CALL, 0.5, 100.0, math.inf),
        (PV_STRIKE, PUT, 0.5, 100.0, math.inf),
        (math.nextafter(FWD_SPOT, 1e9), CALL, 0.5, 100.0, NAN),
        (math.nextafter(PV_STRIKE, 1e9), PUT, 0.5, 100.0, NAN),
        (12.0, CALL, 0.0, 100.0, NAN),
        (12.0, CALL, -1.0, 100.0, NAN),
        (12.0, CALL, 0.5, -100.0, NAN),
        (NAN, CALL, 0.5, 100.0, NAN),
        (12.0, CALL, NAN, 100.0, NAN),
    ],
)
def test_bounds(price, flag, tau, spot, expected):
    iv = vn.implied_vol(price, spot, 90.0, 0.05, 0.02, tau, flag)
    assert iv == expected or (math.isnan(iv) and math.isnan(expected))


def test_just_inside_the_bounds_is_an_answer():
    for price in (math.nextafter(INTRINSIC, 1e9), math.nextafter(FWD_SPOT, 0)):
        assert not math.isnan(vn.implied_vol(price, 100.0, 90.0, 0.05, 0.02, 0.5, CALL))


def test_prices_from_npv_come_back_within_its_accuracy():
    rng = np.random.default_rng(7)
    n = 2000
    spot, strike = 100.0, rng.uniform(60, 160, n)
    rate, q, tau, vol = rng.uniform(-0.01, 0.08, n), rng.uniform(0, 0.05, n), rng.uniform(0.05, 5, n), rng.uniform(0.05, 1, n)
    flag = rng.integers(0, 2, n)
    price = vn.npv(spot, strike, rate, q, tau, flag, vol)
    vega = vn.vega(spot, strike, rate, q, tau, flag, vol)
    iv = vn.implied_vol(price, spot, strike, rate, q, tau, flag)
    # npv's normal probabilities carry about 1e-10 absolute, so its price about 1e-10 of
    # spot*df_q + strike*df_r (the benchmark measures 2.2e-11 at worst); ten times that.
    libm_exp = np.frompyfunc(math.exp, 1, 1)  # the bounds as the kernel computes them
    fwd_spot = spot * libm_exp(-q * tau).astype(float)
    pv_strike = strike * libm_exp(-rate * tau).astype(float)
    # npv's own error can put a price a hair outside the bounds (deep in the money): NaN there.
    lower = np.maximum(np.where(flag == 1, 1, -1) * (fwd_spot - pv_strike), 0)
    inside = (price > lower) & (price < np.where(flag == 1, fwd_spot, pv_strike))
    assert np.count_nonzero(~inside) < 10 and np.all(np.isnan(iv[price < lower]))
    assert np.all(np.abs(iv - vol)[inside] * vega[inside] <= 2e-10 * (fwd_spot + pv_strike)[inside])


def test_mixed_packs_of_lanes_hold_the_accuracy():
    """Arrays solve packs of options in lockstep, grouped by branch: options of every moneyness
    side by side (and enough of them for several blocks of packs) against 40-digit prices."""
    rng = np.random.default_rng(21)
    n = 1100
    vol, tau = 10.0 ** rng.uniform(-3, 0.7, n), 10.0 ** rng.uniform(-2.5, 1.5, n)
    rate, q, flag = rng.uniform(-0.05, 0.2, n), rng.uniform(-0.05, 0.2, n), rng.integers(0, 2, n)
    strike = 100 * np.exp((rate - q) * tau + rng.uniform(-8, 8, n) * vol * np.sqrt(tau))
    exact_prices = [exact(100.0, *(a[i] for a in (strike, rate, q, tau)), flag[i], vol[i]) for i in range(n)]
    price = np.array([float(p) for p, _ in exact_prices])
    iv = vn.implied_vol(price, 100.0, strike, rate, q, tau, flag)
    well = np.array([float(e) >= 1e-3 for _, e in exact_prices]) & (price > 1e-300)
    assert well.sum() > n // 2 and not np.isnan(iv[well]).any()
    assert np.all(np.abs(iv[well] / vol[well] - 1) <= 1e-11)


def test_ufunc_machinery():
    prices = np.array([[5.0, 8.0, 12.0], [6.0, 9.0, 13.0]])
    strikes = np.array([100.0, 95.0, 90.0])
    flags = np.array([True, True, True])
    out = np.empty((2, 3))
    result = vn.implied_vol(prices, 100.0, strikes, 0.03, 0.0, 1.0, flags, out=out)
    assert result is out
    elementwise = [[vn.implied_vol(p, 100.0, k, 0.03, 0.0, 1.0, CALL) for p, k in zip(row, strikes)] for row in prices]
    np.testing.assert_array_equal(out, elementwise)
    assert isinstance(vn.implied_vol(5.0, 100.0, 100.0, 0.03, 0.0, 1.0, CALL), float)


def test_dask_arrays():
    da = pytest.importorskip("dask.array")
    prices = np.linspace(2.0, 20.0, 40)
    lazy = vn.implied_vol(da.from_array(prices, chunks=10), 100.0, 100.0, 0.03, 0.0, 1.0, CALL)
    assert hasattr(lazy, "__dask_graph__")
    np.testing.assert_array_equal(lazy.compute(), vn.implied_vol(prices, 100.0, 100.0, 0.03, 0.0, 1.0, CALL))
