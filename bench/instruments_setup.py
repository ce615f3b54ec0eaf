"""Shared set-up of the instrument benchmarks: one EUR market (ESTR discount,
6M Euribor projection, 20 instruments) as QuantLib helpers and as
vantorel_rates instruments on the same dates and accruals, and books of bonds
and swaps made on both sides from the same QuantLib schedules."""

from __future__ import annotations

import random

import QuantLib as ql

import vantorel as vt
import vantorel_rates as vr

TODAY = ql.Date(14, 3, 2025)
ql.Settings.instance().evaluationDate = TODAY
DAY = vt.Date(2025, 3, 14)


def vd(d: ql.Date) -> vt.Date:
    return vt.Date(d.year(), d.month(), d.dayOfMonth())


def fixed_leg(coupons, notional=1.0):
    cs = [c for c in map(ql.as_fixed_rate_coupon, coupons) if c is not None]
    return vr.FixedLeg([vd(c.accrualStartDate()) for c in cs], [vd(c.accrualEndDate()) for c in cs],
                       [vd(c.date()) for c in cs], [c.accrualPeriod() for c in cs], notional)


def float_leg(coupons, overnight, notional=1.0):
    cs = [ql.as_floating_rate_coupon(c) for c in coupons]
    starts = [c.accrualStartDate() if overnight else c.index().valueDate(c.fixingDate()) for c in cs]
    return vr.FloatLeg([vd(s) for s in starts], [vd(c.accrualEndDate()) for c in cs], [vd(c.date()) for c in cs],
                       [c.accrualPeriod() for c in cs],
                       [c.index().dayCounter().yearFraction(s, c.accrualEndDate()) for s, c in zip(starts, cs)],
                       notional)


ESTR_TENORS = ["1M", "3M", "6M", "1Y", "2Y", "3Y", "5Y", "7Y", "10Y", "15Y"]
ESTR_HELPERS, ESTR = [], []
for k, t in enumerate(ESTR_TENORS):
    q = 0.025 + 0.0004 * k
    h = ql.OISRateHelper(2, ql.Period(t), ql.QuoteHandle(ql.SimpleQuote(q)), ql.Estr(), paymentLag=1,
                         paymentCalendar=ql.TARGET())
    s = h.swap()
    ESTR_HELPERS.append(h)
    ESTR.append(vr.CurveInstrument.swap(f"ESTR {t}", fixed_leg(s.fixedLeg()), float_leg(s.overnightLeg(), True), q))

DISC = ql.RelinkableYieldTermStructureHandle()
EUR6M = ql.Euribor6M()
dep = ql.DepositRateHelper(ql.QuoteHandle(ql.SimpleQuote(0.027)), EUR6M)
fra = ql.FraRateHelper(ql.QuoteHandle(ql.SimpleQuote(0.0275)), 6, EUR6M)
IBOR_HELPERS = [dep, fra]
IBOR = [vr.CurveInstrument.deposit("Deposit 6M", vd(dep.earliestDate()), vd(dep.maturityDate()),
                                   EUR6M.dayCounter().yearFraction(dep.earliestDate(), dep.maturityDate()), 0.027),
        vr.CurveInstrument.fra("FRA 6x12", vd(fra.earliestDate()), vd(fra.maturityDate()),
                               EUR6M.dayCounter().yearFraction(fra.earliestDate(), fra.maturityDate()), 0.0275)]
for y in (2, 3, 4, 5, 7, 10, 15, 20):
    q = 0.028 + 0.0003 * y
    h = ql.SwapRateHelper(ql.QuoteHandle(ql.SimpleQuote(q)), ql.Period(y, ql.Years), ql.TARGET(), ql.Annual,
                          ql.ModifiedFollowing, ql.Thirty360(ql.Thirty360.BondBasis), EUR6M, ql.QuoteHandle(),
                          ql.Period(0, ql.Days), DISC)
    s = h.swap()
    IBOR_HELPERS.append(h)
    IBOR.append(vr.CurveInstrument.swap(f"IRS {y}Y", fixed_leg(s.fixedLeg()), float_leg(s.floatingLeg(), False), q))


def ql_curves():
    """Both curves bootstrapped afresh (the last call forces the work)."""
    disc = ql.PiecewiseLogLinearDiscount(TODAY, ESTR_HELPERS, ql.Actual365Fixed())
    disc.enableExtrapolation()  # the 20Y swap is discounted beyond the 15Y pillar, as vantorel's curves continue
    DISC.linkTo(disc)
    proj = ql.PiecewiseLogLinearDiscount(TODAY, IBOR_HELPERS, ql.Actual365Fixed())
    proj.discount(TODAY + 365 * 20)
    proj.enableExtrapolation()
    return disc, proj


def vr_curves():
    disc = vr.bootstrap(DAY, vt.DayCounter.Act365, vt.InterpType.Geometric, ESTR)
    return disc, vr.bootstrap(DAY, vt.DayCounter.Act365, vt.InterpType.Geometric, IBOR, disc)


QL_DISC, QL_PROJ = ql_curves()
VR_DISC, VR_PROJ = vr_curves()
# Curves the QuantLib books are relinked to between rounds, so that every
# instrument is valued afresh (QuantLib caches an instrument's results).
BOOK_CURVES = [QL_DISC, ql.PiecewiseLogLinearDiscount(TODAY, ESTR_HELPERS, ql.Actual365Fixed())]
BOOK_CURVES[1].enableExtrapolation()
BOOK_CURVE = ql.RelinkableYieldTermStructureHandle(QL_DISC)
PROJ_CURVE = ql.RelinkableYieldTermStructureHandle(QL_PROJ)
DISTINCT, ROUNDS = 1000, 100  # books of DISTINCT instruments valued ROUNDS times: 100,000 valuations

_rng = random.Random(11)
QL_BONDS, VR_BONDS = [], []
_bond_engine = ql.DiscountingBondEngine(BOOK_CURVE)
for _ in range(DISTINCT):
    issue = TODAY - _rng.randrange(0, 700)
    sched = ql.Schedule(issue, issue + ql.Period(_rng.randrange(3, 16), ql.Years), ql.Period(ql.Semiannual),
                        ql.TARGET(), ql.Unadjusted, ql.Unadjusted, ql.DateGeneration.Backward, False)
    coupon = _rng.uniform(0.0, 0.08)
    b = ql.FixedRateBond(2, 100.0, sched, [coupon], ql.Actual365Fixed(), ql.Following, 100.0)
    b.setPricingEngine(_bond_engine)
    QL_BONDS.append(b)
    VR_BONDS.append(vr.FixedRateBond(fixed_leg(b.cashflows(), 100.0), coupon, vr.DayCount.Act365, 100.0, 100.0))
VR_BOND_BOOK = VR_BONDS * ROUNDS
SETTLE = vd(QL_BONDS[0].settlementDate())

QL_SWAPS, VR_SWAPS = [], []
_swap_engine = ql.DiscountingSwapEngine(BOOK_CURVE)
_index = ql.Euribor6M(PROJ_CURVE)
for _ in range(DISTINCT):
    rate, tenor = _rng.uniform(0.0, 0.05), ql.Period(_rng.randrange(1, 16), ql.Years)
    s = ql.MakeVanillaSwap(tenor, _index, rate, pricingEngine=_swap_engine, nominal=1e6)
    QL_SWAPS.append(s)
    VR_SWAPS.append(vr.Swap(vt.PayerReceiverFlag.Payer, fixed_leg(s.fixedLeg(), 1e6),
                            float_leg(s.floatingLeg(), False, 1e6), rate, 0.0))
VR_SWAP_BOOK = VR_SWAPS * ROUNDS


def ql_bond_book():
    out = []
    for k in range(ROUNDS):
        BOOK_CURVE.linkTo(BOOK_CURVES[k % 2])
        out.extend(b.dirtyPrice() for b in QL_BONDS)
    return out


def ql_swap_book():
    out = []
    for k in range(ROUNDS):
        BOOK_CURVE.linkTo(BOOK_CURVES[k % 2])
        out.extend((s.NPV(), s.fairRate()) for s in QL_SWAPS)
    return out
