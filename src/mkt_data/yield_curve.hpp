// src/mkt_data/yield_curve.hpp: the yield curve interface, discount factors and the rates built on them
#pragma once

#include "datetime/date.hpp"
#include "datetime/day_counter.hpp"

namespace vantorel {

// A curve turns dates into discount factors. Implementations give the curve
// date, the day counter and the discount factor; forward discount factors and
// rates are derived here once, the same way for every curve, from the
// formulas of curve_kernels.hpp that the array loops run in lanes too. Curves are
// immutable and shared through std::shared_ptr<const YieldCurve>.
class YieldCurve {
public:
    virtual ~YieldCurve() = default;

    [[nodiscard]] virtual Date get_curve_date() const = 0;
    [[nodiscard]] virtual DayCounter get_dc() const = 0;
    [[nodiscard]] virtual double get_df(const Date& date) const = 0;

    // df(end_date) / df(start_date).
    [[nodiscard]] double get_fwd_df(const Date& start_date, const Date& end_date) const;
    // Simple rate over the next calendar day: (df(date) / df(date + 1) - 1) / tau.
    [[nodiscard]] double get_overnight_rate(const Date& date) const;
    // Simple rate between the dates: (df(start) / df(end) - 1) / tau(start, end).
    [[nodiscard]] double get_fwd_rate(const Date& start_date, const Date& end_date) const;
    // Continuously compounded rate from the curve date: -ln(df(date)) / tau.
    [[nodiscard]] double zero_rate(const Date& date) const;

protected:
    YieldCurve() = default;
    YieldCurve(const YieldCurve&) = default;
    YieldCurve(YieldCurve&&) = default;
    YieldCurve& operator=(const YieldCurve&) = default;
    YieldCurve& operator=(YieldCurve&&) = default;
};

}  // namespace vantorel
