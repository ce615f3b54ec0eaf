// src/instruments/legs.hpp: coupon periods of fixed and floating legs and their values off curves
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "datetime/date.hpp"
#include "mkt_data/yield_curve.hpp"

namespace vantorel {

// A fixed coupon: accrues `accrual` (its year fraction) on `notional` from
// start to end and pays on `pay`.
struct FixedPeriod {
    Date start;
    Date end;
    Date pay;
    double accrual;
    double notional;
};

// A floating coupon on an index forecast over [start, end]:
//   rate   = (P(start) / P(end) - 1) / fixing_accrual + spread
//   amount = notional * rate * accrual
// on the projection curve P. A term (IBOR) coupon fixes over its own accrual
// period; an overnight coupon compounded daily over [start, end] telescopes
// to the same ratio of discount factors, so both are this one formula.
struct FloatPeriod {
    Date start;
    Date end;
    Date pay;
    double fixing_accrual;
    double accrual;
    double notional;
};

// The legs as users hold them: periods built from parallel lists of dates and
// accruals, checked once (equal sizes, at least one period, each ending after
// it starts and paid no earlier than it starts, accruals positive and finite,
// a finite notional).
struct FixedLeg {
    std::vector<FixedPeriod> periods;
    static std::expected<FixedLeg, std::string> make(std::vector<Date> start_dates, std::vector<Date> end_dates,
                                                     std::vector<Date> pay_dates, std::vector<double> accruals,
                                                     double notional);
};

struct FloatLeg {
    std::vector<FloatPeriod> periods;
    // `fixing_accruals`: the index's year fractions of the periods (for a
    // term index over its own accrual period, usually the accruals themselves).
    static std::expected<FloatLeg, std::string> make(std::vector<Date> start_dates, std::vector<Date> end_dates,
                                                     std::vector<Date> pay_dates, std::vector<double> accruals,
                                                     std::vector<double> fixing_accruals, double notional);
};

// The forward rate of the period on the projection curve, without spread.
// The leg functions are templates over the curve so that a book's cached
// curve (a final class) is called directly; YieldCurve is the usual argument.
template <class Curve = YieldCurve>
[[nodiscard]] double forward_rate(const FloatPeriod& p, const Curve& projection) {
    return (projection.get_df(p.start) / projection.get_df(p.end) - 1.0) / p.fixing_accrual;
}

template <class Curve>
[[nodiscard]] double annuity_on(const std::vector<FixedPeriod>& leg, const Curve& discount) {
    const std::int32_t today = discount.get_curve_date().serial();
    double sum = 0.0;
    for (const FixedPeriod& p : leg)
        if (p.pay.serial() > today) sum += p.notional * p.accrual * discount.get_df(p.pay);
    return sum;
}

template <class P, class D>
[[nodiscard]] double float_leg_value_on(const std::vector<FloatPeriod>& leg, double spread, const P& projection,
                                        const D& discount) {
    const std::int32_t today = discount.get_curve_date().serial();
    double sum = 0.0;
    for (const FloatPeriod& p : leg)
        if (p.pay.serial() > today)
            sum += p.notional * (forward_rate(p, projection) + spread) * p.accrual * discount.get_df(p.pay);
    return sum;
}

// Sum of notional * accrual * P(pay) over the periods paying after the
// discount curve's date: the value of a fixed leg at rate 1.
[[nodiscard]] double annuity(const std::vector<FixedPeriod>& leg, const YieldCurve& discount);

// Value of the floating leg with the given spread, on the discount curve's date.
[[nodiscard]] double float_leg_value(const std::vector<FloatPeriod>& leg, double spread,
                                     const YieldCurve& projection, const YieldCurve& discount);

// The latest date a leg needs from a curve.
[[nodiscard]] Date last_date(const std::vector<FixedPeriod>& leg, Date from) noexcept;
[[nodiscard]] Date last_date(const std::vector<FloatPeriod>& leg, Date from) noexcept;

}  // namespace vantorel
