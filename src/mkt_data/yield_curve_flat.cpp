// src/mkt_data/yield_curve_flat.cpp: discount factors of a flat curve
#include "mkt_data/yield_curve_flat.hpp"

#include "mkt_data/curve_kernels.hpp"

namespace vantorel {

double YieldCurveFlat::get_df(const Date& date) const {
    return curve_kernels::flat_df(get_dcf(dc_, curve_date_, date), flat_rate_);
}

}  // namespace vantorel
