// src/instruments/bond.cpp: cash flows, prices, yields, risk and z-spread of fixed-rate bonds
#include "instruments/bond.hpp"

#include <cmath>
#include <utility>

#include "core/number_format.hpp"

namespace vantorel {

double bond_year_fraction(DayCount dc, const Date& d1, const Date& d2, const Date& ref_start, const Date& ref_end) {
    const std::int32_t a = d1.serial(), b = d2.serial();
    switch (dc) {
        case DayCount::Thirty360: return dcf_30360_us(a, b);
        case DayCount::Thirty360E: return dcf_30e360(a, b);
        case DayCount::Thirty360EIsda: return dcf_30e360_isda(a, b, INT32_MIN);
        case DayCount::ActActIsda: return dcf_act_act_isda(a, b);
        case DayCount::ActActIcma: return dcf_act_act_icma(a, b, ref_start.serial(), ref_end.serial());
        case DayCount::Act365: return dcf_act365_serial(a, b);
        case DayCount::Act360: return dcf_act360_serial(a, b);
        case DayCount::Bus252: break;
    }
    return std::nan("");
}

YieldDiscount yield_discount(double y, double t, const YieldConvention& conv) noexcept {
    const double f = conv.frequency;
    Compounding c = conv.compounding;
    if (c == Compounding::SimpleThenCompounded) c = t <= 1.0 / f ? Compounding::Simple : Compounding::Compounded;
    switch (c) {
        case Compounding::Simple: {
            const double b = 1.0 / (1.0 + y * t);
            return {b, -t * b * b, 2.0 * t * t * b * b * b};
        }
        case Compounding::Continuous: {
            const double b = 1.0 / std::exp(y * t);
            return {b, -t * b, t * t * b};
        }
        default: {
            const double g = 1.0 + y / f;
            const double b = 1.0 / std::pow(g, f * t);
            return {b, -t * b / g, b * t * (f * t + 1.0) / (f * g * g)};
        }
    }
}

FixedRateBond::FixedRateBond(std::vector<FixedPeriod> periods, std::vector<BondFlow> flows,
                             std::vector<std::pair<Date, Date>> reference, double coupon_rate, DayCount dc, double face,
                             double redemption) noexcept
    : periods_(std::move(periods)),
      flows_(std::move(flows)),
      reference_(std::move(reference)),
      coupon_rate_(coupon_rate),
      dc_(dc),
      face_(face),
      redemption_(redemption) {}

std::expected<FixedRateBond, std::string> FixedRateBond::make(std::vector<FixedPeriod> periods, double coupon_rate,
                                                              DayCount dc, double face, double redemption,
                                                              std::vector<std::pair<Date, Date>> reference) {
    if (periods.empty()) return std::unexpected(std::string("Bond: needs at least one coupon period"));
    if (!std::isfinite(coupon_rate))
        return std::unexpected("Bond: coupon rate (" + format_plain(coupon_rate) + ") must be finite");
    if (!(face > 0.0) || !std::isfinite(face))
        return std::unexpected("Bond: face (" + format_plain(face) + ") must be positive");
    if (!(redemption > 0.0) || !std::isfinite(redemption))
        return std::unexpected("Bond: redemption (" + format_plain(redemption) + ") must be positive");
    if (dc == DayCount::Bus252)
        return std::unexpected(std::string("Bond: day count (Bus252) needs a calendar; give another day count"));
    if (!reference.empty() && reference.size() != periods.size())
        return std::unexpected("Bond: reference periods (" + std::to_string(reference.size()) +
                               ") must be one per coupon period (" + std::to_string(periods.size()) + ")");
    if (reference.empty())
        for (const FixedPeriod& p : periods) reference.emplace_back(p.start, p.end);
    for (const auto& [rs, re] : reference)
        if (re.serial() <= rs.serial())
            return std::unexpected("Bond: reference period " + rs.to_str() + " to " + re.to_str() + " is empty");
    std::vector<BondFlow> flows;
    flows.reserve(periods.size() + 1);
    for (std::size_t i = 0; i < periods.size(); ++i) {
        FixedPeriod& p = periods[i];
        if (p.end.serial() <= p.start.serial() || p.pay.serial() < p.start.serial())
            return std::unexpected("Bond: period " + p.start.to_str() + " to " + p.end.to_str() + " paid on " +
                                   p.pay.to_str() + " is not in order");
        if (i > 0 && p.pay.serial() <= periods[i - 1].pay.serial())
            return std::unexpected("Bond: payment dates must increase (" + periods[i - 1].pay.to_str() + ", " +
                                   p.pay.to_str() + ")");
        if (!(p.accrual >= 0.0) || !std::isfinite(p.accrual))
            return std::unexpected("Bond: accrual (" + format_plain(p.accrual) + ") must be finite and >= 0");
        p.notional = face;
        flows.push_back({p.pay, face * coupon_rate * p.accrual});
    }
    // The redemption is paid with the last coupon but kept as a flow of its own.
    flows.push_back({periods.back().pay, face * redemption / 100.0});
    return FixedRateBond(std::move(periods), std::move(flows), std::move(reference), coupon_rate, dc, face,
                         redemption);
}

double FixedRateBond::accrued(const Date& settlement) const {
    for (std::size_t i = 0; i < periods_.size(); ++i) {
        const FixedPeriod& p = periods_[i];
        if (p.pay.serial() <= settlement.serial()) continue;
        if (settlement.serial() <= p.start.serial()) return 0.0;
        const Date to = settlement.serial() < p.end.serial() ? settlement : p.end;
        return 100.0 * coupon_rate_ * bond_year_fraction(dc_, p.start, to, reference_[i].first, reference_[i].second);
    }
    return 0.0;
}

double FixedRateBond::dirty_price(const YieldCurve& curve, const Date& settlement, double z_spread) const {
    if (z_spread == 0.0) return dirty_price_on(curve, settlement);
    const DayCounter cdc = curve.get_dc();
    const Date today = curve.get_curve_date();
    const double ts = get_dcf(cdc, today, settlement);
    const double ds = curve.get_df(settlement);
    double sum = 0.0;
    for (const BondFlow& f : flows_) {
        if (f.pay.serial() <= settlement.serial()) continue;
        sum += f.amount * ((curve.get_df(f.pay) / ds) * std::exp(-z_spread * (get_dcf(cdc, today, f.pay) - ts)));
    }
    return sum * 100.0 / face_;
}

std::vector<std::pair<double, double>> FixedRateBond::timed_flows(const YieldConvention& conv,
                                                                   const Date& settlement) const {
    std::vector<std::pair<double, double>> out;
    out.reserve(flows_.size());
    double t = 0.0;
    Date last = settlement;
    for (std::size_t i = 0; i < periods_.size(); ++i) {
        const FixedPeriod& p = periods_[i];
        if (p.pay.serial() <= settlement.serial()) continue;
        // A step that does not start on the coupon's accrual start (the
        // settlement date, or a payment date moved off the accrual date) is
        // measured from the accrual start, so that non-additive day counts
        // (30/360) give the coupon's own fractions.
        const auto& [rs, re] = reference_[i];
        if (last.serial() != p.start.serial())
            t += bond_year_fraction(conv.dc, p.start, p.pay, rs, re) - bond_year_fraction(conv.dc, p.start, last, rs, re);
        else
            t += bond_year_fraction(conv.dc, last, p.pay, rs, re);
        last = p.pay;
        out.emplace_back(t, flows_[i].amount);
    }
    if (!out.empty()) out.emplace_back(t, flows_.back().amount);  // the redemption, with the last coupon
    return out;
}

double FixedRateBond::dirty_price(double yield, const YieldConvention& conv, const Date& settlement) const {
    double sum = 0.0;
    for (const auto& [t, a] : timed_flows(conv, settlement)) sum += a * yield_discount(yield, t, conv).df;
    return sum * 100.0 / face_;
}

BondRisk FixedRateBond::risk(double yield, const YieldConvention& conv, const Date& settlement) const {
    double p = 0.0, tp = 0.0, d1 = 0.0, d2 = 0.0;
    for (const auto& [t, a] : timed_flows(conv, settlement)) {
        const YieldDiscount b = yield_discount(yield, t, conv);
        p += a * b.df;
        tp += t * a * b.df;
        d1 += a * b.d1;
        d2 += a * b.d2;
    }
    const double modified = -d1 / p;
    return {tp / p, modified, d2 / p, modified * (p * 100.0 / face_) * 1e-4};
}

namespace {

// Newton's method on a decreasing convex price function g(x) = target with
// derivative dg, kept inside the bracket [lo, hi] where it changes sign
// (bisection whenever a step leaves it), until a step is below the spacing of
// doubles at x; at most 200 steps. Returns x, or NaN when the bracket holds no
// root. From price functions of positive flows the root is unique.
template <class G>
double solve_price(G&& g, double target, double x, double lo, double hi) {
    double f_lo = g(lo).first - target, f_hi = g(hi).first - target;
    if (f_lo < 0.0 || f_hi > 0.0 || std::isnan(f_lo) || std::isnan(f_hi)) return std::nan("");
    for (int iter = 0; iter < 200; ++iter) {
        const auto [v, dv] = g(x);
        const double f = v - target;
        if (f == 0.0) return x;
        if (f > 0.0) lo = x; else hi = x;
        double next = x - f / dv;
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (std::fabs(next - x) <= 2.0 * std::numeric_limits<double>::epsilon() * std::fabs(x) ||
            next == lo || next == hi)
            return next;
        x = next;
    }
    return x;
}

}  // namespace

std::expected<double, std::string> FixedRateBond::yield(double dirty_price, const YieldConvention& conv,
                                                        const Date& settlement) const {
    if (!(dirty_price > 0.0) || !std::isfinite(dirty_price))
        return std::unexpected("Bond: price (" + format_plain(dirty_price) + ") must be positive and finite");
    if (conv.compounding != Compounding::Continuous && conv.compounding != Compounding::Simple &&
        !(conv.frequency > 0))
        return std::unexpected("Bond: compounding frequency (" + std::to_string(conv.frequency) + ") must be > 0");
    if (conv.dc == DayCount::Bus252)
        return std::unexpected(std::string("Bond: yield day count (Bus252) needs a calendar; give another day count"));
    const std::vector<std::pair<double, double>> tf = timed_flows(conv, settlement);  // (time, amount)
    if (tf.empty()) return std::unexpected("Bond: no flows after the settlement date (" + settlement.to_str() + ")");
    auto g = [&](double y) {
        double v = 0.0, dv = 0.0;
        for (const auto& [t, a] : tf) {
            const YieldDiscount b = yield_discount(y, t, conv);
            v += a * b.df;
            dv += a * b.d1;
        }
        return std::pair{v, dv};
    };
    // The yield lies where every factor stays positive: above -f (Compounded)
    // or -1 / t_max (Simple); -1 for Continuous is far below any market.
    const double f = conv.frequency;
    double lo = -1.0;
    if (conv.compounding == Compounding::Compounded || conv.compounding == Compounding::SimpleThenCompounded)
        lo = -0.999 * f;
    if (conv.compounding == Compounding::Simple) lo = -0.999 / tf.back().first;
    const double y = solve_price(g, dirty_price * face_ / 100.0, coupon_rate_, lo, 10.0);
    if (std::isnan(y))
        return std::unexpected("Bond: no yield in [" + format_plain(lo) + ", 10] gives the price (" +
                               format_plain(dirty_price) + ")");
    return y;
}

std::expected<double, std::string> FixedRateBond::z_spread(double dirty_price, const YieldCurve& curve,
                                                           const Date& settlement) const {
    if (!(dirty_price > 0.0) || !std::isfinite(dirty_price))
        return std::unexpected("Bond: price (" + format_plain(dirty_price) + ") must be positive and finite");
    const DayCounter cdc = curve.get_dc();
    const Date today = curve.get_curve_date();
    const double ts = get_dcf(cdc, today, settlement);
    const double ds = curve.get_df(settlement);
    std::vector<std::pair<double, double>> tf;  // (time from settlement, discounted amount)
    for (const BondFlow& fl : flows_)
        if (fl.pay.serial() > settlement.serial())
            tf.emplace_back(get_dcf(cdc, today, fl.pay) - ts, fl.amount * (curve.get_df(fl.pay) / ds));
    if (tf.empty()) return std::unexpected("Bond: no flows after the settlement date (" + settlement.to_str() + ")");
    auto g = [&](double z) {
        double v = 0.0, dv = 0.0;
        for (const auto& [t, a] : tf) {
            const double e = std::exp(-z * t);
            v += a * e;
            dv -= t * a * e;
        }
        return std::pair{v, dv};
    };
    const double z = solve_price(g, dirty_price * face_ / 100.0, 0.0, -1.0, 10.0);
    if (std::isnan(z))
        return std::unexpected("Bond: no z-spread in [-1, 10] gives the price (" + format_plain(dirty_price) + ")");
    return z;
}

}  // namespace vantorel
