// src/instruments/legs.cpp: leg values off discount and projection curves
#include "instruments/legs.hpp"

namespace vantorel {

double annuity(const std::vector<FixedPeriod>& leg, const YieldCurve& discount) {
    const std::int32_t today = discount.get_curve_date().serial();
    double sum = 0.0;
    for (const FixedPeriod& p : leg)
        if (p.pay.serial() > today) sum += p.notional * p.accrual * discount.get_df(p.pay);
    return sum;
}

double float_leg_value(const std::vector<FloatPeriod>& leg, double spread, const YieldCurve& projection,
                       const YieldCurve& discount) {
    const std::int32_t today = discount.get_curve_date().serial();
    double sum = 0.0;
    for (const FloatPeriod& p : leg)
        if (p.pay.serial() > today)
            sum += p.notional * (forward_rate(p, projection) + spread) * p.accrual * discount.get_df(p.pay);
    return sum;
}

Date last_date(const std::vector<FixedPeriod>& leg, Date from) noexcept {
    for (const FixedPeriod& p : leg) {
        if (p.end.serial() > from.serial()) from = p.end;
        if (p.pay.serial() > from.serial()) from = p.pay;
    }
    return from;
}

Date last_date(const std::vector<FloatPeriod>& leg, Date from) noexcept {
    for (const FloatPeriod& p : leg) {
        if (p.end.serial() > from.serial()) from = p.end;
        if (p.pay.serial() > from.serial()) from = p.pay;
    }
    return from;
}

}  // namespace vantorel
