// src/instruments/bootstrap.cpp: pillar-by-pillar solution of a curve's discount factors
#include "instruments/bootstrap.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "core/number_format.hpp"
#include "instruments/curve_cache.hpp"
#include "maths/root_find.hpp"

namespace vantorel {

namespace {

// The curve as far as it is solved, plus the pillar being tried: nodes in tau
// from the curve date, interpolated with the very operations YieldCurveNoded's
// interpolator uses, so the finished curve gives the same factors bit for bit.
//
// Factors up to the last solved node are final: each day's is remembered
// once asked (over the curve date to `last`), so that solving a pillar
// recomputes only the days in its own segment.
class PartialCurve final : public YieldCurve {
public:
    PartialCurve(const Date& curve_date, DayCounter dc, InterpType interp, std::int32_t last)
        : xs_{0.0},
          ys_{1.0},
          frozen_(static_cast<std::size_t>(std::max(last - curve_date.serial(), 0)) + 1,
                  std::numeric_limits<double>::quiet_NaN()),
          frozen_until_(curve_date.serial()),
          curve_date_(curve_date),
          dc_(dc),
          interp_(interp) {}

    [[nodiscard]] Date get_curve_date() const override { return curve_date_; }
    [[nodiscard]] DayCounter get_dc() const override { return dc_; }
    [[nodiscard]] double get_df(const Date& date) const override {
        if (date.serial() <= frozen_until_) {
            const auto i = static_cast<std::size_t>(static_cast<std::uint32_t>(date.serial() - curve_date_.serial()));
            if (i < frozen_.size()) {
                double& f = frozen_[i];
                if (std::isnan(f)) f = value(get_dcf(dc_, curve_date_, date));
                return f;
            }
        }
        return value(get_dcf(dc_, curve_date_, date));
    }

    // Adds the node being solved after the node on `solved`, now final.
    void push(double x, double y, const Date& solved) {
        xs_.push_back(x);
        ys_.push_back(y);
        frozen_until_ = solved.serial();
    }
    void set_last(double y) noexcept { ys_.back() = y; }
    [[nodiscard]] double last_x() const noexcept { return xs_.back(); }
    [[nodiscard]] double last_y() const noexcept { return ys_.back(); }
    [[nodiscard]] const std::vector<double>& factors() const noexcept { return ys_; }

private:
    // Pillars are the latest dates their instruments need and no date is
    // before the curve date, so x lies in [x0, xl]: only the interior rule
    // and the exact end hits are needed.
    [[nodiscard]] double value(double x) const {
        const std::size_t n = xs_.size();
        if (x == xs_[0]) return ys_[0];
        if (x == xs_[n - 1]) return ys_[n - 1];
        std::size_t i = n - 2;  // the pillar being solved is usually the interval asked for
        while (i > 0 && !(xs_[i] < x)) --i;
        const double dx = xs_[i + 1] - xs_[i];
        if (interp_ == InterpType::Linear) return (x - xs_[i]) * ((ys_[i + 1] - ys_[i]) / dx) + ys_[i];
        return ys_[i] * std::pow(ys_[i + 1] / ys_[i], (x - xs_[i]) / dx);
    }

    std::vector<double> xs_;
    std::vector<double> ys_;
    mutable std::vector<double> frozen_;
    std::int32_t frozen_until_;
    Date curve_date_;
    DayCounter dc_;
    InterpType interp_;
};

std::string quote_text(const CurveQuote& q) { return q.name.empty() ? std::string("(unnamed)") : q.name; }

// The first fault of the instrument's own data, or "".
std::string check_quote(const CurveQuote& q, const Date& curve_date, const Date& previous_pillar) {
    const std::string who = "Instrument " + quote_text(q);
    if (!std::isfinite(q.quote)) return who + ": quote (" + format_plain(q.quote) + ") must be finite";
    const Date pillar = pillar_date(q);
    if (pillar.serial() <= curve_date.serial())
        return who + " matures (" + pillar.to_str() + ") on or before the curve date (" + curve_date.to_str() + ")";
    auto bad_period = [&](const Date& start, const Date& end, double accrual) -> std::string {
        if (start.serial() < curve_date.serial())
            return who + " starts (" + start.to_str() + ") before the curve date (" + curve_date.to_str() + ")";
        if (end.serial() <= start.serial() || !(accrual > 0.0) || !std::isfinite(accrual))
            return who + ": period " + start.to_str() + " to " + end.to_str() + " must have a positive accrual (" +
                   format_plain(accrual) + ")";
        return {};
    };
    if (q.kind == CurveQuote::Kind::ForwardRate) {
        if (auto e = bad_period(q.period.start, q.period.end, q.period.fixing_accrual); !e.empty()) return e;
    } else {
        if (q.fixed.empty() || q.floating.empty()) return who + ": a swap needs a fixed and a floating leg";
        for (const FloatPeriod& p : q.floating)
            if (auto e = bad_period(p.start, p.end, p.fixing_accrual); !e.empty()) return e;
        for (const FixedPeriod& p : q.fixed)
            if (p.pay.serial() < curve_date.serial())
                return who + " pays (" + p.pay.to_str() + ") before the curve date (" + curve_date.to_str() + ")";
    }
    if (pillar.serial() <= previous_pillar.serial())
        return who + ": pillar (" + pillar.to_str() + ") must come after the previous pillar (" +
               previous_pillar.to_str() + "); give instruments in increasing order of their last dates, once each";
    return {};
}

// Secant steps on f from x and a point one part in 1e7 away, while they stay
// positive and finite, until f is 0 or a step is below four doubles' spacing;
// at most 30 evaluations. On success (the residual within 1e-12) sets root
// and its residual and returns true; false leaves the work to the bracket.
template <class F>
bool secant(F&& f, double x, double& root, double& miss) {
    constexpr double eps = std::numeric_limits<double>::epsilon();
    double a = x, fa = f(a);
    double b = x * (1.0 - 1e-7), fb = f(b);
    for (int iter = 0; iter < 28 && std::isfinite(fa) && std::isfinite(fb); ++iter) {
        if (std::fabs(fa) < std::fabs(fb)) {
            std::swap(a, b);
            std::swap(fa, fb);
        }
        if (fb == 0.0 || std::fabs(b - a) <= 4.0 * eps * std::fabs(b)) {
            if (!(std::fabs(fb) <= 1e-12)) return false;
            root = b;
            miss = fb;
            return true;
        }
        if (fb == fa) return false;
        const double c = b - fb * ((b - a) / (fb - fa));
        if (!(c > 0.0) || !std::isfinite(c)) return false;
        a = b;
        fa = fb;
        b = c;
        fb = f(b);
    }
    return false;
}

// A swap's two leg values split at the solved part of the curve: the terms
// whose dates all lie on or before the last solved node (every fixed term
// when the discount curve is another one) are summed once per pillar, and
// only the others are recomputed for each trial factor.
class SplitSwap {
public:
    SplitSwap(const CurveQuote& q, const YieldCurve& projection, const YieldCurve& discount, bool own_discount,
              std::int32_t solved) {
        const std::int32_t today = discount.get_curve_date().serial();
        for (const FixedPeriod& p : q.fixed) {
            if (p.pay.serial() <= today) continue;
            if (own_discount && p.pay.serial() > solved)
                fixed_live_.push_back(&p);
            else
                annuity_ += p.notional * p.accrual * discount.get_df(p.pay);
        }
        for (const FloatPeriod& p : q.floating) {
            if (p.pay.serial() <= today) continue;
            if (p.end.serial() > solved || p.start.serial() > solved || (own_discount && p.pay.serial() > solved))
                float_live_.push_back(&p);
            else
                floating_ += p.notional * forward_rate(p, projection) * p.accrual * discount.get_df(p.pay);
        }
    }

    [[nodiscard]] double rate(const YieldCurve& projection, const YieldCurve& discount) const {
        double a = annuity_, f = floating_;
        for (const FixedPeriod* p : fixed_live_) a += p->notional * p->accrual * discount.get_df(p->pay);
        for (const FloatPeriod* p : float_live_)
            f += p->notional * forward_rate(*p, projection) * p->accrual * discount.get_df(p->pay);
        return f / a;
    }

private:
    double annuity_ = 0.0, floating_ = 0.0;
    std::vector<const FixedPeriod*> fixed_live_;
    std::vector<const FloatPeriod*> float_live_;
};

}  // namespace

double implied_quote(const CurveQuote& q, const YieldCurve& projection, const YieldCurve& discount) {
    if (q.kind == CurveQuote::Kind::ForwardRate) return forward_rate(q.period, projection);
    return float_leg_value(q.floating, 0.0, projection, discount) / annuity(q.fixed, discount);
}

Date pillar_date(const CurveQuote& q) noexcept {
    if (q.kind == CurveQuote::Kind::ForwardRate) return q.period.end;
    return last_date(q.floating, last_date(q.fixed, q.floating.front().end));
}

std::expected<YieldCurveNoded, std::string> bootstrap(const Date& curve_date, DayCounter dc, InterpType interp,
                                                      const std::vector<CurveQuote>& quotes,
                                                      const YieldCurve* discount) {
    // 1. Checks of the set-up; each instrument is checked before its pillar is solved.
    if (quotes.empty()) return std::unexpected(std::string("A curve needs at least one instrument"));
    if (interp != InterpType::Linear && interp != InterpType::Geometric)
        return std::unexpected("Curve interpolation (" + std::string(EnumInfo<InterpType>::members[code_of(interp)]) +
                               ") must be Linear or Geometric");
    if (dc == DayCounter::Thirty360)
        return std::unexpected(std::string("Curve day counter (Thirty360) is not implemented; use Act365 or Act360"));
    if (discount != nullptr && discount->get_curve_date().serial() != curve_date.serial())
        return std::unexpected("Discount curve date (" + discount->get_curve_date().to_str() +
                               ") must be the curve date (" + curve_date.to_str() + ")");
    std::int32_t last = curve_date.serial();
    for (const CurveQuote& q : quotes) last = std::max(last, pillar_date(q).serial());
    PartialCurve curve(curve_date, dc, interp, last);
    // A discount curve's factors are fixed for the whole build: each day's is read once.
    std::optional<CachedCurve> cached_discount;
    if (discount != nullptr) cached_discount.emplace(*discount, curve_date.serial(), last);
    std::vector<Date> dates{curve_date};
    dates.reserve(quotes.size() + 1);
    for (const CurveQuote& q : quotes) {
        if (std::string fault = check_quote(q, curve_date, dates.back()); !fault.empty())
            return std::unexpected(std::move(fault));
        const Date pillar = pillar_date(q);
        const double x = get_dcf(dc, curve_date, pillar);
        const double x0 = curve.last_x(), y0 = curve.last_y();
        curve.push(x, y0, dates.back());
        const YieldCurve& disc = cached_discount ? static_cast<const YieldCurve&>(*cached_discount) : curve;
        std::optional<SplitSwap> split;
        if (q.kind == CurveQuote::Kind::Swap)
            split.emplace(q, curve, disc, discount == nullptr, dates.back().serial());
        auto residual = [&](double y) {
            curve.set_last(y);
            return (split ? split->rate(curve, disc) : forward_rate(q.period, curve)) - q.quote;
        };
        // 2. Secant steps from the factor of a flat forward at the quote: the
        // implied rate is nearly linear in the pillar's factor, so a handful
        // of steps reach the last bit.
        double y = 0.0, miss = std::numeric_limits<double>::quiet_NaN();
        if (!secant(residual, y0 * std::exp(-q.quote * (x - x0)), y, miss)) {
            // 3. Otherwise bracket the factor between forwards of -100% and
            // +300% (continuously compounded) from the previous node, widening
            // four times, and solve by Brent's method.
            root_find::Bracket br{};
            bool found = false;
            for (double widen = 1.0; widen <= 8.0 && !found; widen *= 2.0) {
                br.lo = y0 * std::exp(-3.0 * widen * (x - x0));
                br.hi = y0 * std::exp(1.0 * widen * (x - x0));
                br.f_lo = residual(br.lo);
                br.f_hi = residual(br.hi);
                found = (br.f_lo <= 0.0 && br.f_hi >= 0.0) || (br.f_lo >= 0.0 && br.f_hi <= 0.0);
            }
            const std::string state = " at pillar " + pillar.to_str() + ", discount factor in [" +
                                      format_plain(br.lo) + ", " + format_plain(br.hi) + "] (residuals " +
                                      format_plain(br.f_lo) + ", " + format_plain(br.f_hi) + ")";
            if (!found)
                return std::unexpected("Instrument " + quote_text(q) + ": no discount factor reprices the quote (" +
                                       format_plain(q.quote) + ")" + state);
            constexpr root_find::Tolerance two_doubles{2.0 * std::numeric_limits<double>::epsilon()};
            y = root_find::brent(residual, br, two_doubles, 200, root_find::OnNan::Continue).x;
            miss = residual(y);
            if (!(std::fabs(miss) <= 1e-12))
                return std::unexpected("Instrument " + quote_text(q) + ": the bootstrap did not converge (miss " +
                                       format_plain(miss) + ")" + state);
        }
        curve.set_last(y);
        dates.push_back(pillar);
    }
    return YieldCurveNoded::make(curve_date, dc, std::move(dates), curve.factors(), interp);
}

}  // namespace vantorel
