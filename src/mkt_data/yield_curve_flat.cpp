// src/mkt_data/yield_curve_flat.cpp: discount factors of a flat curve
#include "mkt_data/yield_curve_flat.hpp"

#include <cmath>

namespace vantorel {

double YieldCurveFlat::get_df(const Date& date) const {
    return std::exp(get_dcf(dc_, curve_date_, date) * -flat_rate_);
}

}  // namespace vantorel
