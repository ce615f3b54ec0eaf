// src/mkt_data/yield_curve_noded.cpp: validation and interpolation of a noded curve
#include "mkt_data/yield_curve_noded.hpp"

#include <utility>

#include "core/number_format.hpp"

namespace vantorel {

YieldCurveNoded::YieldCurveNoded(std::vector<Date> node_dates, Interpolator interpolator, const Date& curve_date,
                                 DayCounter dc) noexcept
    : node_dates_(std::move(node_dates)),
      interpolator_(std::move(interpolator)),
      curve_date_(curve_date),
      dc_(dc) {}

std::expected<YieldCurveNoded, std::string> YieldCurveNoded::make(const Date& curve_date, DayCounter dc,
                                                                  std::vector<Date> node_dates,
                                                                  std::vector<double> discount_factors,
                                                                  InterpType interp_type) {
    // 1.-4. The checks; the factors after the first are not validated.
    if (node_dates.size() != discount_factors.size() || node_dates.size() < 2)
        return std::unexpected("Node dates (" + std::to_string(node_dates.size()) + ") and discount factors (" +
                               std::to_string(discount_factors.size()) +
                               ") must have the same size & must have at least size 2");
    if (node_dates[0].serial() != curve_date.serial())
        return std::unexpected("First node date (" + node_dates[0].to_str() + ") must be equal to the curve date (" +
                               curve_date.to_str() + ")");
    if (!(discount_factors[0] == 1.0))
        return std::unexpected("First discount factor (" + format_plain(discount_factors[0]) +
                               ") must be equal to 1.0");
    for (std::size_t i = 1; i < node_dates.size(); ++i)
        if (node_dates[i].serial() <= node_dates[i - 1].serial())
            return std::unexpected(std::string("Node dates must be sorted in ascending order and be unique"));
    // 5. Interpolate the factors in tau from the curve date (x0 = 0).
    std::vector<double> xs;
    xs.reserve(node_dates.size());
    for (const Date& d : node_dates) xs.push_back(get_dcf(dc, curve_date, d));
    auto interpolator = Interpolator::make(std::move(xs), std::move(discount_factors), interp_type, ExtrapType::Auto);
    if (!interpolator) return std::unexpected(std::move(interpolator.error()));
    return YieldCurveNoded(std::move(node_dates), std::move(*interpolator), curve_date, dc);
}

double YieldCurveNoded::get_df(const Date& date) const {
    return interpolator_.interpolate(get_dcf(dc_, curve_date_, date));
}

}  // namespace vantorel
