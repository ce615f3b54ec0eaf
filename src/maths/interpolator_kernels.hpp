// src/maths/interpolator_kernels.hpp: the interval search and the interior formulas, over a double or a pack of lanes
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/lanes.hpp"

namespace vantorel::interp_kernels {

using lanes::count;
using lanes::gather_at;
using lanes::IndexOf;
using lanes::pow;

// The interval of x among n >= 2 strictly increasing nodes xs: for
// xs[0] < x <= xs[n-1], the first i with xs[i] < x <= xs[i+1]; any other x
// (NaN, or beyond either end, as the idle lanes of a pack may be) gives some i
// in [0, n-2], so that i and i + 1 always index the nodes. A branch-free lower
// bound over xs[1..n-2] (the first node >= x, whose predecessor opens the
// interval; none such is the last interval): the halving depends on n only, so
// every lane takes the same steps.
//
// For a pack and a few nodes the bound is the count of the nodes below x,
// the same index: one comparison with each node broadcast costs less than
// the halving's chain of dependent gathers.
template <class T>
IndexOf<T> interval(const double* xs, std::size_t n, T x) noexcept {
    const double* const first = xs + 1;
    IndexOf<T> base{};
    if (n < 3) return base;
    if constexpr (lanes::Lanes<T>) {
        if (n <= 34) {
            for (std::size_t k = 0; k + 2 < n; ++k) base += count(first[k] < x);
            return base;
        }
    }
    std::size_t len = n - 2;
    while (len > 1) {
        const auto half = static_cast<std::int64_t>(len / 2);
        base += count(gather_at(first, base + (half - 1)) < x) * half;
        len -= static_cast<std::size_t>(half);
    }
    return base + count(gather_at(first, base) < x);
}

// Linear inside interval i, from its slope.
template <class T>
T linear(const double* xs, const double* ys, const double* slopes, IndexOf<T> i, T x) noexcept {
    return (x - gather_at(xs, i)) * gather_at(slopes, i) + gather_at(ys, i);
}

// Log-linear (geometric) inside interval i.
template <class T>
T geometric(const double* xs, const double* ys, IndexOf<T> i, T x) noexcept {
    const T x0 = gather_at(xs, i), x1 = gather_at(xs, i + 1), y0 = gather_at(ys, i), y1 = gather_at(ys, i + 1);
    return y0 * pow(y1 / y0, (x - x0) / (x1 - x0));
}

}  // namespace vantorel::interp_kernels
