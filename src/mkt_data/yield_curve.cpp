// src/mkt_data/yield_curve.cpp: forward discount factors and rates, written once over get_df
#include "mkt_data/yield_curve.hpp"

#include "mkt_data/curve_kernels.hpp"

namespace vantorel {

double YieldCurve::get_fwd_df(const Date& start_date, const Date& end_date) const {
    return curve_kernels::fwd_df(get_df(start_date), get_df(end_date));
}

double YieldCurve::get_overnight_rate(const Date& date) const {
    // The next calendar day, not the next business day; the last representable
    // date has none, which is a Failure of from_int.
    const Date next = from_int(static_cast<std::int64_t>(date.serial()) + 1);
    return curve_kernels::simple_rate(get_df(date), get_df(next), get_dcf(get_dc(), date, next));
}

double YieldCurve::get_fwd_rate(const Date& start_date, const Date& end_date) const {
    return curve_kernels::simple_rate(get_df(start_date), get_df(end_date), get_dcf(get_dc(), start_date, end_date));
}

double YieldCurve::zero_rate(const Date& date) const {
    return curve_kernels::zero_rate(get_df(date), get_dcf(get_dc(), get_curve_date(), date));
}

}  // namespace vantorel
