// src/maths/interpolator.cpp: linear and geometric interpolation with extrapolation rules
#include "maths/interpolator.hpp"

#include <cmath>
#include <limits>
#include <utility>

#include "core/failure.hpp"
#include "maths/interpolator_kernels.hpp"

namespace vantorel {

Interpolator::Interpolator(std::vector<double> nodes_x, std::vector<double> nodes_y,
                           std::vector<double> slopes, InterpType interp_type,
                           ExtrapType extrap_type) noexcept
    : nodes_x_(std::move(nodes_x)),
      nodes_y_(std::move(nodes_y)),
      slopes_(std::move(slopes)),
      interp_type_(interp_type),
      extrap_type_(extrap_type) {}

std::expected<Interpolator, std::string> Interpolator::make(std::vector<double> nodes_x,
                                                            std::vector<double> nodes_y,
                                                            InterpType interp_type,
                                                            ExtrapType extrap_type) {
    if (nodes_x.empty()) return std::unexpected("Need at least 1 x-node to create an Interpolator");
    if (nodes_y.empty()) return std::unexpected("Need at least 1 y-node to create an Interpolator");
    if (nodes_x.size() != nodes_y.size())
        return std::unexpected("Need x-nodes & y-nodes to have the same size");
    // A strict comparison: equal neighbours and NaN (among two or more) fail.
    for (std::size_t i = 1; i < nodes_x.size(); ++i)
        if (!(nodes_x[i] > nodes_x[i - 1]))
            return std::unexpected("Need x-nodes to be sorted in ascending order and be unique");
    std::vector<double> slopes;
    if (interp_type == InterpType::Linear) {
        slopes.reserve(nodes_x.size() - 1);
        for (std::size_t i = 0; i + 1 < nodes_x.size(); ++i)
            slopes.push_back((nodes_y[i + 1] - nodes_y[i]) / (nodes_x[i + 1] - nodes_x[i]));
    }
    return Interpolator(std::move(nodes_x), std::move(nodes_y), std::move(slopes), interp_type,
                        extrap_type);
}

std::size_t Interpolator::find_interval(double x) const noexcept {
    // x0 < x <= xl: the first i with x[i] < x <= x[i+1].
    return static_cast<std::size_t>(interp_kernels::interval(nodes_x_.data(), nodes_x_.size(), x));
}

double Interpolator::interpolate(double x) const {
    const std::size_t n = nodes_x_.size();
    // 1. One node answers everything.
    if (n == 1) return nodes_y_[0];
    // 2. Exact hits at the ends return the stored ordinates, for every method.
    if (x == nodes_x_[0]) return nodes_y_[0];
    if (x == nodes_x_[n - 1]) return nodes_y_[n - 1];
    // 3.-5. Outside the nodes: Flat holds the end value, Disabled gives NaN,
    // Auto continues the method. NaN fails both tests and counts as interior.
    Side side = Side::Interior;
    if (x < nodes_x_[0]) {
        if (extrap_type_ == ExtrapType::Flat) return nodes_y_[0];
        if (extrap_type_ == ExtrapType::Disabled) return std::numeric_limits<double>::quiet_NaN();
        side = Side::Left;
    } else if (x > nodes_x_[n - 1]) {
        if (extrap_type_ == ExtrapType::Flat) return nodes_y_[n - 1];
        if (extrap_type_ == ExtrapType::Disabled) return std::numeric_limits<double>::quiet_NaN();
        side = Side::Right;
    }
    // 6. The method.
    switch (interp_type_) {
        case InterpType::Linear:
            return interpolate_linear(side, x);
        case InterpType::Geometric:
            return interpolate_geometric(side, x);
        case InterpType::CubicSpline:
        case InterpType::LogCubicSpline:
            break;
    }
    fail("Interpolation Type is not supported (yet)");
}

double Interpolator::interpolate_linear(Side side, double x) const {
    const std::vector<double>& xs = nodes_x_;
    const std::vector<double>& ys = nodes_y_;
    const std::size_t n = xs.size();
    switch (side) {
        case Side::Left:
            return (x - xs[0]) * slopes_[0] + ys[0];
        case Side::Right:
            return (x - xs[n - 1]) * slopes_[n - 2] + ys[n - 1];
        case Side::Interior:
            break;
    }
    if (std::isnan(x)) fail("Should never end up here (linear)");
    const auto i = static_cast<std::ptrdiff_t>(find_interval(x));
    return interp_kernels::linear(xs.data(), ys.data(), slopes_.data(), i, x);
}

double Interpolator::interpolate_geometric(Side side, double x) const {
    const std::vector<double>& xs = nodes_x_;
    const std::vector<double>& ys = nodes_y_;
    const std::size_t n = xs.size();
    switch (side) {
        case Side::Left:
            return ys[0] * std::exp((std::log(ys[1] / ys[0]) / (xs[1] - xs[0])) * (x - xs[0]));
        case Side::Right:
            return ys[n - 1] *
                   std::exp((std::log(ys[n - 1] / ys[n - 2]) / (xs[n - 1] - xs[n - 2])) * (x - xs[n - 1]));
        case Side::Interior:
            break;
    }
    if (std::isnan(x)) fail("Should never end up here (geometric)");
    const auto i = static_cast<std::ptrdiff_t>(find_interval(x));
    return interp_kernels::geometric(xs.data(), ys.data(), i, x);
}

}  // namespace vantorel
