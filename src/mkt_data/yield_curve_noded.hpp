// src/mkt_data/yield_curve_noded.hpp: a curve of discount factors on dated nodes
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "maths/interpolator.hpp"
#include "mkt_data/yield_curve.hpp"

namespace vantorel {

// Discount factors given on node dates, the first node on the curve date with
// factor 1.0, interpolated directly in tau = dcf(curve_date, date): Linear is
// linear in the factors, Geometric log-linear (a constant continuously
// compounded forward rate between nodes). Outside the nodes the curve always
// continues with its own method.
class YieldCurveNoded final : public YieldCurve {
public:
    // Checks, in this order: equal sizes of at least 2, first node on the
    // curve date, first factor exactly 1.0, strictly increasing dates. Returns
    // the first failing check's text. A Thirty360 day counter is a Failure
    // ("not implemented") once the checks pass.
    static std::expected<YieldCurveNoded, std::string> make(const Date& curve_date, DayCounter dc,
                                                            std::vector<Date> node_dates,
                                                            std::vector<double> discount_factors,
                                                            InterpType interp_type);

    [[nodiscard]] Date get_curve_date() const override { return curve_date_; }
    [[nodiscard]] DayCounter get_dc() const override { return dc_; }
    [[nodiscard]] double get_df(const Date& date) const override;

    // The nodes as given (the factors are the interpolator's values).
    [[nodiscard]] const std::vector<Date>& get_node_dates() const noexcept { return node_dates_; }
    [[nodiscard]] const std::vector<double>& get_discount_factors() const noexcept {
        return interpolator_.get_nodes_y();
    }
    [[nodiscard]] const Interpolator& get_interpolator() const noexcept { return interpolator_; }

private:
    YieldCurveNoded(std::vector<Date> node_dates, Interpolator interpolator, const Date& curve_date,
                    DayCounter dc) noexcept;

    std::vector<Date> node_dates_;
    // The factors in tau from the curve date.
    Interpolator interpolator_;
    Date curve_date_;
    DayCounter dc_;
};

}  // namespace vantorel
