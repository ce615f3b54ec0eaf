// src/instruments/curve_cache.hpp: a curve's discount factors kept per day over a span, for books
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "mkt_data/yield_curve.hpp"

namespace vantorel {

// The same curve, remembering each day's factor between first and last (both
// serials) once asked: many instruments of a book pay on the same days, and a
// remembered factor is the very value the curve gave. Days outside the span
// go to the curve. Not thread-safe: one per loop.
class CachedCurve final : public YieldCurve {
public:
    CachedCurve(const YieldCurve& curve, std::int32_t first, std::int32_t last)
        : curve_(curve),
          first_(first),
          factors_(last >= first ? static_cast<std::size_t>(last - first) + 1 : 0,
                   std::numeric_limits<double>::quiet_NaN()) {}

    [[nodiscard]] Date get_curve_date() const override { return curve_.get_curve_date(); }
    [[nodiscard]] DayCounter get_dc() const override { return curve_.get_dc(); }
    [[nodiscard]] double get_df(const Date& date) const override {
        const auto i = static_cast<std::size_t>(static_cast<std::uint32_t>(date.serial() - first_));
        if (i >= factors_.size()) return curve_.get_df(date);
        double& f = factors_[i];
        if (std::isnan(f)) f = curve_.get_df(date);  // a NaN factor is asked again: still the curve's value
        return f;
    }

private:
    const YieldCurve& curve_;
    std::int32_t first_;
    mutable std::vector<double> factors_;
};

}  // namespace vantorel
