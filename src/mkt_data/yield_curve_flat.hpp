// src/mkt_data/yield_curve_flat.hpp: a curve of one continuously compounded rate
#pragma once

#include "mkt_data/yield_curve.hpp"

namespace vantorel {

// df(date) = exp(tau(curve_date, date) * -flat_rate). Any rate is accepted,
// NaN included; dates before the curve date give factors above 1 for a
// positive rate.
class YieldCurveFlat final : public YieldCurve {
public:
    YieldCurveFlat(const Date& curve_date, double flat_rate, DayCounter dc) noexcept
        : curve_date_(curve_date), flat_rate_(flat_rate), dc_(dc) {}

    [[nodiscard]] Date get_curve_date() const override { return curve_date_; }
    [[nodiscard]] DayCounter get_dc() const override { return dc_; }
    [[nodiscard]] double get_df(const Date& date) const override;

    [[nodiscard]] double get_flat_rate() const noexcept { return flat_rate_; }

private:
    Date curve_date_;
    double flat_rate_;
    DayCounter dc_;
};

}  // namespace vantorel
