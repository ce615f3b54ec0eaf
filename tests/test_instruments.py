"""Bootstrapped curves, fixed-rate bonds and swaps against QuantLib on random quotes.

QuantLib makes the schedules and accruals (its conventions are the input here)
and is the reference for the discount factors, prices, yields, risk and swap
values, which must agree within 1e-12 relative.
"""

import pickle
import random

import pytest

import vantorel as vt

ql = pytest.importorskip("QuantLib")
vr = pytest.importorskip("vantorel_rates")

TODAY = ql.Date(14, 3, 2025)


def vd(d):
    return vt.Date(d.year(), d.month(), d.dayOfMonth())


def fixed_leg(coupons, notional=1.0):
    cs = [ql.as_fixed_rate_coupon(c) for c in coupons]
    cs = [c for c in cs if c is not None]
    return vr.FixedLeg([vd(c.accrualStartDate()) for c in cs], [vd(c.accrualEndDate()) for c in cs],
                       [vd(c.date()) for c in cs], [c.accrualPeriod() for c in cs], notional)


def float_leg(coupons, overnight, notional=1.0):
    # A term coupon fixes from its index's value date to its accrual end, over
    # the index's year fraction of those dates (QuantLib's par coupons); an
    # overnight one compounds over its accrual period.
    cs = [ql.as_floating_rate_coupon(c) for c in coupons]
    starts = [c.accrualStartDate() if overnight else c.index().valueDate(c.fixingDate()) for c in cs]
    return vr.FloatLeg([vd(s) for s in starts], [vd(c.accrualEndDate()) for c in cs], [vd(c.date()) for c in cs],
                       [c.accrualPeriod() for c in cs],
                       [c.index().dayCounter().yearFraction(s, c.accrualEndDate()) for s, c in zip(starts, cs)],
                       notional)


def ois_helpers(index, cal, lag, settle, quotes):
    tenors = ["1W", "1M", "3M", "6M", "9M", "1Y", "18M", "2Y", "3Y", "5Y", "7Y", "10Y", "15Y", "30Y"]
    out = []
    for t, q in zip(tenors, quotes):
        h = ql.OISRateHelper(settle, ql.Period(t), ql.QuoteHandle(ql.SimpleQuote(q)), index, paymentLag=lag,
                             paymentCalendar=cal)
        s = h.swap()
        out.append((h, vr.CurveInstrument.swap(f"OIS {t}", fixed_leg(s.fixedLeg()), float_leg(s.overnightLeg(), True), q)))
    return out


def euribor_helpers(disc, quotes):
    idx = ql.Euribor6M()
    dep = ql.DepositRateHelper(ql.QuoteHandle(ql.SimpleQuote(quotes[0])), idx)
    s, e = dep.earliestDate(), dep.maturityDate()
    out = [(dep, vr.CurveInstrument.deposit("Deposit 6M", vd(s), vd(e), idx.dayCounter().yearFraction(s, e),
                                            quotes[0]))]
    fra = ql.FraRateHelper(ql.QuoteHandle(ql.SimpleQuote(quotes[1])), 6, idx)
    s, e = fra.earliestDate(), fra.maturityDate()
    out.append((fra, vr.CurveInstrument.fra("FRA 6x12", vd(s), vd(e), idx.dayCounter().yearFraction(s, e),
                                            quotes[1])))
    for y, q in zip(range(2, 31), quotes[2:]):
        h = ql.SwapRateHelper(ql.QuoteHandle(ql.SimpleQuote(q)), ql.Period(y, ql.Years), ql.TARGET(), ql.Annual,
                              ql.ModifiedFollowing, ql.Thirty360(ql.Thirty360.BondBasis), idx, ql.QuoteHandle(),
                              ql.Period(0, ql.Days), disc)
        s = h.swap()
        out.append((h, vr.CurveInstrument.swap(f"IRS {y}Y", fixed_leg(s.fixedLeg()), float_leg(s.floatingLeg(), False), q)))
    return out


# QuantLib's Python build has log-linear discount curves only: linear ones are
# checked by repricing their instruments.
INTERP = {"Geometric": vt.InterpType.Geometric, "Linear": vt.InterpType.Linear}


def build(pairs, interp, disc=None):
    qc = ql.PiecewiseLogLinearDiscount(TODAY, [h for h, _ in pairs], ql.Actual365Fixed(), ql.IterativeBootstrap(1e-15))
    qc.enableExtrapolation()
    mine = vr.bootstrap(vd(TODAY), vt.DayCounter.Act365, INTERP[interp], [i for _, i in pairs], disc)
    return qc, mine


def close(a, b, rel=1e-12, abs_=0.0):
    return abs(a - b) <= rel * abs(b) + abs_


def market(name, interp, seed):
    """(ql projection, mine, ql discount, mine, instruments, interp) on random quotes."""
    rng = random.Random(seed)
    level, slope = rng.uniform(-0.005, 0.06), rng.uniform(-0.01, 0.015)
    quotes = [level + slope * (1 - 0.8 ** (k + 1)) + rng.uniform(-5e-4, 5e-4) for k in range(30)]
    ql.Settings.instance().evaluationDate = TODAY
    if name == "USD SOFR":
        pairs = ois_helpers(ql.Sofr(), ql.UnitedStates(ql.UnitedStates.GovernmentBond), 2, 2, quotes)
    elif name == "GBP SONIA":
        pairs = ois_helpers(ql.Sonia(), ql.UnitedKingdom(), 0, 0, quotes)
    else:
        pairs = ois_helpers(ql.Estr(), ql.TARGET(), 1, 2, quotes)
    qd, md = build(pairs, interp)
    if name != "EUR ESTR + 6M":
        return qd, md, qd, md, pairs, interp
    ipairs = euribor_helpers(ql.YieldTermStructureHandle(qd), [q + 0.002 for q in quotes])
    qp, mp = build(ipairs, interp, md)
    return qp, mp, qd, md, ipairs, interp


MARKETS = [(m, i, s) for m in ("USD SOFR", "EUR ESTR + 6M", "GBP SONIA") for i in INTERP for s in (1, 2)]


@pytest.fixture(scope="module", params=MARKETS, ids=lambda p: f"{p[0]}-{p[1]}-{p[2]}")
def mkt(request):
    return market(*request.param)


def test01_curves_match_and_reprice(mkt):
    qp, mp, qd, md, pairs, interp = mkt
    geometric = interp == "Geometric"
    assert [str(vd(d)) for d in qp.dates()] == [str(vd(TODAY))] + [str(i.get_pillar_date()) for _, i in pairs]
    rng = random.Random(7)
    days = [0, 1, 2, 17, 400] + [rng.randrange(1, 365 * 32) for _ in range(40)]
    for q, m in ((qp, mp), (qd, md)) if geometric else ():
        for n in days:
            assert close(m.get_df(vd(TODAY + n)), q.discount(TODAY + n)), n
    for _, inst in pairs:
        assert abs(inst.implied_rate(mp, md) - inst.get_rate()) <= 1e-12, inst.get_name()
