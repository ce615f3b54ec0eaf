// tests/native/instruments_tests.cpp: checks of bootstrapping, bonds and swaps without Python
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "instruments/bond.hpp"
#include "instruments/bootstrap.hpp"
#include "instruments/swap.hpp"

namespace {

using namespace vantorel;

int failures = 0;

void check(bool ok, const std::string& what, double detail = 0.0) {
    if (!ok && ++failures <= 20) std::fprintf(stderr, "FAILED: %s (%.17g)\n", what.c_str(), detail);
}

Date day(std::int32_t serial) { return from_int(serial); }

// Annual periods of `years` from `start` (365-day years, Act/360 accruals),
// paid `lag` days after each end.
std::vector<FloatPeriod> float_leg(std::int32_t start, int years, int months, int lag) {
    std::vector<FloatPeriod> leg;
    const std::int32_t step = 365 * months / 12;
    for (std::int32_t s = start; s < start + 365 * years; s += step) {
        const double a = static_cast<double>(step) / 360.0;
        leg.push_back({day(s), day(s + step), day(s + step + lag), a, a, 1.0});
    }
    return leg;
}

std::vector<FixedPeriod> fixed_leg(std::int32_t start, int years, int lag) {
    std::vector<FixedPeriod> leg;
    for (std::int32_t s = start; s < start + 365 * years; s += 365)
        leg.push_back({day(s), day(s + 365), day(s + 365 + lag), 365.0 / 360.0, 1.0});
    return leg;
}

CurveQuote deposit(std::int32_t start, std::int32_t days, double rate) {
    const double a = days / 360.0;
    return {CurveQuote::Kind::ForwardRate, "Deposit " + std::to_string(days) + "D", rate,
            {day(start), day(start + days), day(start + days), a, a, 1.0}, {}, {}};
}

CurveQuote swap(std::int32_t start, int years, int months, int lag, double rate) {
    std::vector<FloatPeriod> floating = float_leg(start, years, months, lag);
    const FloatPeriod first = floating.front();  // unused by a Swap
    return {CurveQuote::Kind::Swap, "Swap " + std::to_string(years) + "Y", rate, first, fixed_leg(start, years, lag),
            std::move(floating)};
}

constexpr std::int32_t today = 46000, spot = 46002;

// Both interpolations, single and dual curve, upward and inverted quotes:
// every instrument implies its quote on the finished curve within 1e-12.
void bootstraps_reprice() {
    for (const InterpType interp : {InterpType::Geometric, InterpType::Linear})
        for (const double tilt : {0.004, -0.003}) {
            std::vector<CurveQuote> ois{deposit(today, 1, 0.03), deposit(spot, 91, 0.031)};
            for (int y = 1; y <= 10; ++y) ois.push_back(swap(spot, y, 12, 2, 0.031 + tilt * std::log1p(y)));
            auto disc = bootstrap(day(today), DayCounter::Act365, interp, ois, nullptr);
            check(disc.has_value(), "OIS curve builds");
            if (!disc) continue;
            for (const CurveQuote& q : ois)
                check(std::fabs(implied_quote(q, *disc, *disc) - q.quote) <= 1e-12, "OIS reprices " + q.name);
            std::vector<CurveQuote> ibor{deposit(spot, 182, 0.034)};
            for (int y = 2; y <= 10; ++y) ibor.push_back(swap(spot, y, 6, 0, 0.035 + tilt * std::log1p(y)));
            auto proj = bootstrap(day(today), DayCounter::Act365, interp, ibor, &*disc);
            check(proj.has_value(), "6M curve builds");
            if (!proj) continue;
            for (const CurveQuote& q : ibor)
                check(std::fabs(implied_quote(q, *proj, *disc) - q.quote) <= 1e-12, "6M reprices " + q.name);
        }
}

void bootstrap_errors() {
    auto fails_with = [](std::vector<CurveQuote> qs, const std::string& part) {
        auto c = bootstrap(day(today), DayCounter::Act365, InterpType::Geometric, qs, nullptr);
        check(!c.has_value() && c.error().find(part) != std::string::npos,
              "error mentions '" + part + "': " + (c ? std::string("built") : c.error()));
    };
    fails_with({deposit(today, 91, 0.03), deposit(today, 30, 0.03)}, "Instrument Deposit 30D: pillar");
    fails_with({deposit(today, 91, 0.03), deposit(today, 91, 0.03)}, "must come after the previous pillar");
    fails_with({deposit(today, 91, -5.0)}, "Instrument Deposit 91D: no discount factor reprices");
    fails_with({deposit(today - 10, 5, 0.03)}, "on or before the curve date");
    fails_with({deposit(today, 30, std::nan(""))}, "quote (NaN) must be finite");
}

// Yield from price back to its yield, risk against central differences,
// z-spread back to the spread that priced the bond.
void bond_round_trips() {
    std::vector<FixedPeriod> periods;
    for (std::int32_t s = today - 40; s < today + 365 * 7; s += 182)
        periods.push_back({day(s), day(s + 182), day(s + 182), 182.0 / 365.0, 100.0});
    auto bond = FixedRateBond::make(periods, 0.045, DayCount::Act365, 100.0, 100.0);
    check(bond.has_value(), "bond builds");
    if (!bond) return;
    check(std::fabs(bond->accrued(day(today)) - 4.5 * 40.0 / 365.0) <= 1e-14, "accrued");
    for (const Compounding c : {Compounding::Compounded, Compounding::Continuous, Compounding::Simple,
                                Compounding::SimpleThenCompounded})
        for (const double y : {-0.004, 0.0, 0.01, 0.045, 0.12}) {
            const YieldConvention conv{DayCount::Act365, c, 2};
            const double p = bond->dirty_price(y, conv, day(today));
            const auto back = bond->yield(p, conv, day(today));
            check(back.has_value() && std::fabs(*back - y) <= 1e-14, "yield round trip", back.value_or(-1) - y);
            const double h = 1e-5;
            const double up = bond->dirty_price(y + h, conv, day(today)), dn = bond->dirty_price(y - h, conv, day(today));
            const BondRisk r = bond->risk(y, conv, day(today));
            check(std::fabs(r.modified - (dn - up) / (2 * h) / p) <= 1e-6 * r.modified, "modified duration");
            check(std::fabs(r.convexity - (up - 2 * p + dn) / (h * h) / p) <= 1e-4 * r.convexity, "convexity");
        }
    auto curve = YieldCurveNoded::make(day(today), DayCounter::Act365, {day(today), day(today + 4000)},
                                       {1.0, 0.7}, InterpType::Geometric);
    for (const double z : {-0.01, 0.0, 0.0123}) {
        const double p = bond->dirty_price(*curve, day(spot), z);
        const auto back = bond->z_spread(p, *curve, day(spot));
        check(back.has_value() && std::fabs(*back - z) <= 1e-14, "z-spread round trip", back.value_or(-1) - z);
    }
}

void swap_values() {
    auto curve = YieldCurveNoded::make(day(today), DayCounter::Act365, {day(today), day(today + 4000)},
                                       {1.0, 0.8}, InterpType::Geometric);
    auto payer = Swap::make(PayerReceiverFlag::Payer, 0.02, 0.001, fixed_leg(spot, 5, 2), float_leg(spot, 5, 3, 2));
    const SwapValues v = payer->values(*curve, *curve);
    auto at_par = Swap::make(PayerReceiverFlag::Receiver, v.fair_rate, 0.001, fixed_leg(spot, 5, 2),
                             float_leg(spot, 5, 3, 2));
    check(std::fabs(at_par->values(*curve, *curve).npv) <= 1e-15, "npv 0 at the fair rate");
    check(std::fabs(v.npv - (v.fair_rate - 0.02) * v.annuity) <= 1e-15, "npv from fair rate and annuity");
}

}  // namespace

int main() {
    bootstraps_reprice();
    bootstrap_errors();
    bond_round_trips();
    swap_values();
    if (failures != 0) std::fprintf(stderr, "%d failures\n", failures);
    return failures == 0 ? 0 : 1;
}
