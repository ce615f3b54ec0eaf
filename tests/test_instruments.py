"""Bootstrapped curves, fixed-rate bonds and swaps against QuantLib on random quotes.

QuantLib makes the schedules and accruals (its conventions are the input here)
and is the reference for the discount factors, prices, yields, risk and swap
values, which must agree within 1e-12 relative.
"""

import functools
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
_built = functools.cache(market)


@pytest.fixture(params=MARKETS, ids=lambda p: f"{p[0]}-{p[1]}-{p[2]}")
def mkt(request):
    return _built(*request.param)


# QuantLib's Python build has log-linear discount curves only.
@pytest.fixture(params=[m for m in MARKETS if m[1] == "Geometric"], ids=lambda p: f"{p[0]}-{p[2]}")
def geo(request):
    return _built(*request.param)


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


DAY_COUNTS = [(ql.Actual365Fixed(), vr.DayCount.Act365), (ql.Actual360(), vr.DayCount.Act360),
              (ql.Thirty360(ql.Thirty360.BondBasis), vr.DayCount.Thirty360), (None, vr.DayCount.ActActIcma)]
COMPOUNDING = [(ql.Compounded, vr.Compounding.Compounded), (ql.Continuous, vr.Compounding.Continuous)]


def random_bond(rng):
    freq = rng.choice([ql.Annual, ql.Semiannual, ql.Quarterly])
    issue = TODAY - rng.randrange(0, 800)
    sched = ql.Schedule(issue, issue + ql.Period(rng.randrange(3, 31), ql.Years), ql.Period(freq), ql.TARGET(),
                        ql.Unadjusted, ql.Unadjusted, ql.DateGeneration.Backward, False)
    qdc, dc = rng.choice(DAY_COUNTS)
    qdc = qdc or ql.ActualActual(ql.ActualActual.ISMA)
    coupon = rng.uniform(0.0, 0.09)
    qb = ql.FixedRateBond(2, 100.0, sched, [coupon], qdc, ql.Following, 100.0)
    cs = [ql.as_fixed_rate_coupon(c) for c in qb.cashflows()][:-1]
    mine = vr.FixedRateBond(fixed_leg(qb.cashflows(), 100.0), coupon, dc, 100.0, 100.0,
                            [vd(c.referencePeriodStart()) for c in cs], [vd(c.referencePeriodEnd()) for c in cs])
    return qb, mine, qdc, dc, freq


def test02_bonds_match(geo):
    qp, mp, _, _, _, _ = geo
    rng = random.Random(int(qp.discount(TODAY + 900) * 1e9))
    qb_engine = ql.DiscountingBondEngine(ql.YieldTermStructureHandle(qp))
    for _ in range(12):
        qb, b, qdc, dc, freq = random_bond(rng)
        qb.setPricingEngine(qb_engine)
        settle = qb.settlementDate()
        s = vd(settle)
        assert close(b.accrued(s), qb.accruedAmount(settle), abs_=1e-13)
        assert close(b.dirty_price(mp, s), qb.dirtyPrice())
        assert close(b.clean_price(mp, s), qb.cleanPrice())
        clean = qb.cleanPrice()
        for qcomp, comp in COMPOUNDING:
            y = ql.BondFunctions.bondYield(qb, ql.BondPrice(clean, ql.BondPrice.Clean), qdc, qcomp, freq, settle,
                                           1e-16, 200)
            mine_y = b.yield_from_price(clean, dc, comp, freq, s)
            assert abs(mine_y - y) <= 1e-13
            # Exact to 1e-14: the mine's price at its yield is the price given.
            assert close(b.clean_price_at_yield(mine_y, dc, comp, freq, s), clean, abs_=1e-12)
            rate = ql.InterestRate(y, qdc, qcomp, freq)
            assert close(b.clean_price_at_yield(y, dc, comp, freq, s), ql.BondFunctions.cleanPrice(qb, rate, settle))
            kinds = [(ql.Duration.Modified, "modified_duration"), (ql.Duration.Macaulay, "macaulay_duration")]
            for kind, name in kinds[: 2 if qcomp == ql.Compounded else 1]:  # QuantLib's Macaulay needs Compounded
                assert close(getattr(b, name)(y, dc, comp, freq, s), ql.BondFunctions.duration(qb, rate, kind, settle))
            conv = ql.BondFunctions.convexity(qb, rate, settle)
            assert close(b.convexity(y, dc, comp, freq, s), conv)
            # QuantLib's basis-point value adds the second-order term; DV01 is the first-order fall.
            dirty = b.dirty_price_at_yield(y, dc, comp, freq, s)
            bpv = ql.BondFunctions.basisPointValue(qb, rate, settle)
            assert close(-b.dv01(y, dc, comp, freq, s) + 0.5 * conv * dirty * 1e-8, bpv, rel=1e-11)
        z = ql.BondFunctions.zSpread(qb, ql.BondPrice(clean - 1.5, ql.BondPrice.Clean), qp, ql.Actual365Fixed(),
                                     ql.Continuous, ql.NoFrequency, settle, 1e-16, 200)
        assert abs(b.z_spread(clean - 1.5, mp, s) - z) <= 1e-12


def test03_swaps_match(geo):
    qp, mp, qd, md, _, _ = geo
    rng = random.Random(int(qp.discount(TODAY + 700) * 1e9))
    dual = qp is not qd
    disc = ql.YieldTermStructureHandle(qd)
    engine = ql.DiscountingSwapEngine(disc)
    for _ in range(8):
        tenor, rate, nominal = ql.Period(rng.randrange(1, 31), ql.Years), rng.uniform(-0.01, 0.07), rng.uniform(1, 1e8)
        qtype, flag = rng.choice([(ql.Swap.Payer, vt.PayerReceiverFlag.Payer),
                                  (ql.Swap.Receiver, vt.PayerReceiverFlag.Receiver)])
        spread = rng.uniform(-0.002, 0.002)
        if dual:
            qs = ql.MakeVanillaSwap(tenor, ql.Euribor6M(ql.YieldTermStructureHandle(qp)), rate, swapType=qtype,
                                    nominal=nominal, floatingLegSpread=spread, pricingEngine=engine)
            fl = float_leg(qs.floatingLeg(), False, nominal)
        else:
            qs = ql.MakeOIS(tenor, ql.Sofr(disc), rate, swapType=qtype, nominal=nominal, paymentLag=2,
                            overnightLegSpread=spread, pricingEngine=engine)
            fl = float_leg(qs.overnightLeg(), True, nominal)
        s = vr.Swap(flag, fixed_leg(qs.fixedLeg(), nominal), fl, rate, spread)
        assert close(s.npv(mp, md), qs.NPV(), abs_=1e-12 * nominal)
        assert close(s.fair_rate(mp, md), qs.fairRate(), abs_=1e-15)
        assert close(s.pv01(md), abs(qs.fixedLegBPS()))
        floating = qs.floatingLeg() if dual else qs.overnightLeg()
        for mine, theirs in ((s.fixed_leg_amounts(), qs.fixedLeg()), (s.float_leg_amounts(mp), floating)):
            assert all(close(a, c.amount(), abs_=1e-9) for a, c in zip(mine, theirs, strict=True))
        npv, fair, annuity = vr.value_swaps([s, s], mp, md)
        assert list(npv) == [s.npv(mp, md)] * 2 and list(fair) == [s.fair_rate(mp, md)] * 2


def test04_errors_name_the_instrument():
    d = vt.Date(2025, 3, 14)

    def dep(name, start, days, rate):
        return vr.CurveInstrument.deposit(name, d + start, d + start + days, days / 360, rate)

    cases = [
        ([dep("6M", 0, 182, 0.03), dep("3M", 0, 91, 0.03)],
         "Instrument 3M: pillar (2025-06-13) must come after the previous pillar (2025-09-12)"),
        ([dep("3M", 0, 91, 0.03), dep("3M bis", 0, 91, 0.03)], "Instrument 3M bis: pillar (2025-06-13)"),
        ([dep("ON", 0, 1, -400.0)], "Instrument ON: no discount factor reprices the quote (-400) at pillar 2025-03-15"),
        ([dep("old", -30, 10, 0.03)], "Instrument old matures (2025-02-22) on or before the curve date (2025-03-14)"),
        ([dep("nan", 0, 30, float("nan"))], "Instrument nan: quote (NaN) must be finite"),
        ([], "A curve needs at least one instrument"),
    ]
    for instruments, message in cases:
        with pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")):
            vr.bootstrap(d, vt.DayCounter.Act365, vt.InterpType.Geometric, instruments)
    with pytest.raises(ValueError, match="must be Linear or Geometric"):
        vr.bootstrap(d, vt.DayCounter.Act365, vt.InterpType.CubicSpline, [dep("3M", 0, 91, 0.03)])
    with pytest.raises(TypeError, match="argument 'discount_curve'"):
        vr.bootstrap(d, vt.DayCounter.Act365, vt.InterpType.Linear, [dep("3M", 0, 91, 0.03)], "curve")
    with pytest.raises(ValueError, match="FixedLeg: the lists of dates and accruals must have one size"):
        vr.FixedLeg([d], [d + 1, d + 2], [d + 1], [0.1], 1.0)
    with pytest.raises(ValueError, match="FloatLeg: period 0 .* must end after it starts"):
        vr.FloatLeg([d], [d], [d], [0.1], [0.1], 1.0)
    leg = vr.FixedLeg([d], [d + 365], [d + 365], [1.0], 100.0)
    with pytest.raises(TypeError, match="argument 'bonds': expected FixedRateBond, got FixedLeg"):
        vr.price_bonds([leg], vt.YieldCurve.create_flat(d, vt.DayCounter.Act365, 0.03), d)
    with pytest.raises(ValueError, match=r"Bond: no yield in \[-0.999, 10\] gives the price \(1000000\)"):
        vr.FixedRateBond(leg, 0.05, vr.DayCount.Act365, 100.0, 100.0).yield_from_price(
            1e6, vr.DayCount.Act365, vr.Compounding.Compounded, 1, d)


def test05_pickles_and_books(geo):
    qp, mp, qd, md, pairs, _ = geo
    rng = random.Random(5)
    bonds = [random_bond(rng)[1] for _ in range(5)]
    instruments = [i for _, i in pairs]
    for obj in [*instruments, *bonds, bonds[0].get_coupon_leg(), instruments[-1].get_float_leg()]:
        back = pickle.loads(pickle.dumps(obj))
        assert type(back) is type(obj) and pickle.dumps(back) == pickle.dumps(obj)
    again = vr.bootstrap(vd(TODAY), vt.DayCounter.Act365, vt.InterpType.Geometric,
                         pickle.loads(pickle.dumps(instruments)), None if qp is qd else md)
    assert again.get_df(vd(TODAY + 4000)) == mp.get_df(vd(TODAY + 4000))
    settle = vd(TODAY + 2)
    dirty, clean, accrued = vr.price_bonds(bonds, mp, settle)
    assert list(dirty) == [b.dirty_price(mp, settle) for b in bonds]
    assert list(clean) == [b.clean_price(mp, settle) for b in bonds]
    assert list(accrued) == [b.accrued(settle) for b in bonds]
