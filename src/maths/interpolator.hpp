// src/maths/interpolator.hpp: one-dimensional interpolation over fixed nodes
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include "enums/extrap_type.hpp"
#include "enums/interp_type.hpp"

namespace vantorel {

// Nodes (x, y) with strictly increasing x, interpolated by `interp_type` and
// continued outside [x0, xl] by `extrap_type`. Immutable once made; Linear
// keeps the slope of every segment so an evaluation is one subtraction, one
// multiplication and one addition. CubicSpline and LogCubicSpline are stored
// but not computed: asking them for a value between nodes is a Failure.
class Interpolator {
public:
    // Checks, in this order: at least one x-node, at least one y-node, equal
    // sizes, strictly increasing x. Returns the first failing check's text.
    static std::expected<Interpolator, std::string> make(std::vector<double> nodes_x,
                                                         std::vector<double> nodes_y,
                                                         InterpType interp_type,
                                                         ExtrapType extrap_type);

    // The ordinate at x: y[0] for one node, the stored ordinate at either end,
    // then extrapolation, then the interval x[i] < x <= x[i+1]. A NaN x with
    // two or more nodes and an unsupported method are Failures.
    [[nodiscard]] double interpolate(double x) const;

    [[nodiscard]] const std::vector<double>& get_nodes_x() const noexcept { return nodes_x_; }
    [[nodiscard]] const std::vector<double>& get_nodes_y() const noexcept { return nodes_y_; }
    // Linear only: (y[i+1] - y[i]) / (x[i+1] - x[i]); empty for the other methods.
    [[nodiscard]] const std::vector<double>& get_slopes() const noexcept { return slopes_; }
    [[nodiscard]] InterpType get_interp_type() const noexcept { return interp_type_; }
    [[nodiscard]] ExtrapType get_extrap_type() const noexcept { return extrap_type_; }

private:
    enum class Side : std::uint8_t { Interior, Left, Right };

    Interpolator(std::vector<double> nodes_x, std::vector<double> nodes_y, std::vector<double> slopes,
                 InterpType interp_type, ExtrapType extrap_type) noexcept;

    // Index i of the interval x[i] < x <= x[i+1], for x0 < x <= xl.
    [[nodiscard]] std::size_t find_interval(double x) const noexcept;

    [[nodiscard]] double interpolate_linear(Side side, double x) const;
    [[nodiscard]] double interpolate_geometric(Side side, double x) const;

    std::vector<double> nodes_x_;
    std::vector<double> nodes_y_;
    std::vector<double> slopes_;  // Linear only: (y[i+1] - y[i]) / (x[i+1] - x[i])
    InterpType interp_type_;
    ExtrapType extrap_type_;
};

}  // namespace vantorel
