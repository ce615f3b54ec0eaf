// src/np/lanes.hpp: the ufunc kernels that also run in SIMD lanes, and the lane loop of each
#pragma once

#include "core/lane_loops.hpp"
#include "maths/functions/err_functions.hpp"
#include "pricers/black_scholes.hpp"
#include "pricers/implied_vol.hpp"

namespace vantorel::np {

// The lane loop of a kernel, or nothing: the strided loop then calls the
// kernel element by element. A lane loop gives every element the bits of the
// kernel's own call.
template <auto Fn>
inline constexpr int lane_kernel = -1;

#define VANTOREL_LANES_OF(fn, kernel) \
    template <>                       \
    inline constexpr int lane_kernel<&fn> = static_cast<int>(lanes::Kernel::kernel);
VANTOREL_LANES_OF(vantorel::npv, npv)
VANTOREL_LANES_OF(vantorel::delta, delta)
VANTOREL_LANES_OF(vantorel::gamma, gamma)
VANTOREL_LANES_OF(vantorel::vega, vega)
VANTOREL_LANES_OF(vantorel::theta, theta)
VANTOREL_LANES_OF(vantorel::rho_r, rho_r)
VANTOREL_LANES_OF(vantorel::rho_q, rho_q)
VANTOREL_LANES_OF(vantorel::get_metrics, metrics)
VANTOREL_LANES_OF(vantorel::get_metrics_fd, metrics_fd)
VANTOREL_LANES_OF(vantorel::erf, erf)
VANTOREL_LANES_OF(vantorel::erfc, erfc)
VANTOREL_LANES_OF(vantorel::erf_inv, erf_inv)
VANTOREL_LANES_OF(vantorel::erfc_inv, erfc_inv)
VANTOREL_LANES_OF(vantorel::implied_vol, implied_vol)
#undef VANTOREL_LANES_OF

// A kernel over date columns whose loop the core's DateLoops give:
// DateLanes<Fn>::run(data, steps, n) returns how many leading elements it
// computed (0 where its operands are not the kind it takes, such as a
// calendar with holidays).
template <auto Fn>
struct DateLanes;
// A DateLanes whose run is the function Run (one loop serving several kernels).
template <auto Run>
struct DateLanesBy {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        return Run(data, steps, n);
    }
};

// Runs the lane loop of Fn over the leading elements; returns how many it
// computed (0 without a lane loop).
template <auto Fn, bool FlagAsBool>
std::ptrdiff_t run_lanes(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
    if constexpr (requires { DateLanes<Fn>::run(data, steps, n); }) {
        return DateLanes<Fn>::run(data, steps, n);
    } else if constexpr (lane_kernel<Fn> < 0) {
        return 0;
    } else {
        auto kernel = static_cast<lanes::Kernel>(lane_kernel<Fn>);
        if (FlagAsBool) kernel = lanes::with_bool_flag(kernel);
        return lanes::active()->loops[static_cast<std::size_t>(kernel)](data, steps, n);
    }
}

}  // namespace vantorel::np
