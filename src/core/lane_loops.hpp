// src/core/lane_loops.hpp: array loops of the core kernels in SIMD lanes, one table per instruction set, chosen once
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantorel::lanes {

// A loop over n elements of strided columns: data holds the operands' first
// elements, inputs then outputs, steps their strides in bytes. It returns how
// many leading elements it computed: n, or the index of the first element it
// leaves to the scalar kernel (one the scalar kernel must report).
using Loop = std::ptrdiff_t (*)(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept;

// The kernels that have lanes. The pricer's take (spot, strike, rate,
// div_yield, tau, pc_flag, vol), pc_flag an int64 code (non-zero: call) or a
// bool, and give NaN where spot, strike or vol is negative.
enum class Kernel : unsigned char {
    npv, delta, gamma, vega, theta, rho_r, rho_q, metrics, metrics_fd,  // pc_flag int64
    npv_b, delta_b, gamma_b, vega_b, theta_b, rho_r_b, rho_q_b, metrics_b, metrics_fd_b,  // pc_flag bool
    erf, erfc, erf_inv, erfc_inv,
    implied_vol, implied_vol_b,  // (price, spot, strike, rate, div_yield, tau, pc_flag): int64 or bool flag
    count
};
inline constexpr std::size_t kernel_count = static_cast<std::size_t>(Kernel::count);
// The bool-flag twin of a pricer kernel.
constexpr Kernel with_bool_flag(Kernel k) noexcept {
    if (k == Kernel::implied_vol) return Kernel::implied_vol_b;
    return static_cast<Kernel>(static_cast<unsigned>(k) + static_cast<unsigned>(Kernel::npv_b));
}

// Loops over columns of days since 1970-01-01 (datetime64[D], NaT the
// smallest int64): one column in, one out, each with its stride in bytes.
// Elements with a NaT operand are missing (NaN, NaT or False). Each returns
// how many leading elements it computed: it stops before a block of elements
// that holds a day outside the date range, in or out, which the scalar kernel
// then reports.
struct DateLoops {
    // Weekday codes as doubles, Monday 0 to Sunday 6.
    std::ptrdiff_t (*weekday)(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                              std::ptrdiff_t n) noexcept;
    // bool: bit (weekday code) of weekend is set (or clear, when business).
    std::ptrdiff_t (*weekend)(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                              std::ptrdiff_t n, unsigned weekend, bool business) noexcept;
    // The day k days later.
    std::ptrdiff_t (*add_days)(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                               std::ptrdiff_t n, std::int64_t k) noexcept;
    // The same day k months later, clamped to the end of a shorter month.
    std::ptrdiff_t (*add_months)(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                                 std::ptrdiff_t n, std::int64_t k) noexcept;
    // (end - start) / divisor: Act/365 and Act/360.
    std::ptrdiff_t (*day_fraction)(const char* start, std::ptrdiff_t start_step, const char* end,
                                   std::ptrdiff_t end_step, char* out, std::ptrdiff_t out_step, std::ptrdiff_t n,
                                   double divisor) noexcept;
};

// The nodes of an interpolator: n >= 2 strictly increasing x, their y, and
// for linear interpolation the n - 1 slopes.
struct Nodes {
    const double* x;
    const double* y;
    const double* slopes;
    std::size_t n;
};
// Interpolation inside the nodes, linear ([0]) or log-linear ([1]): out[j]
// for each of the n contiguous xs[j]; exact where x[0] < xs[j] < x[n-1], any
// value elsewhere (the caller answers the ends, outside and NaN).
using InsideLoop = void (*)(const Nodes& nodes, const double* xs, double* out, std::ptrdiff_t n) noexcept;

// The curve's formulas (mkt_data/curve_kernels.hpp) over n contiguous
// elements of their columns: discount factors, year fractions.
struct CurveLoops {
    void (*flat_df)(const double* tau, double rate, double* out, std::ptrdiff_t n) noexcept;
    void (*fwd_df)(const double* df_start, const double* df_end, double* out, std::ptrdiff_t n) noexcept;
    void (*simple_rate)(const double* df_start, const double* df_end, const double* tau, double* out,
                        std::ptrdiff_t n) noexcept;
    void (*zero_rate)(const double* df, const double* tau, double* out, std::ptrdiff_t n) noexcept;
};

// The American pricer's loops (pricers/american_lanes.hpp).
struct AmericanLoops;

struct Table {
    const char* target;  // "avx512", "avx2" or "baseline"
    int width;           // doubles per pack
    Loop loops[kernel_count];
    DateLoops dates;
    InsideLoop inside[2];
    CurveLoops curve;
    const AmericanLoops* american;
};

// The tables compiled for each instruction set (those of this build).
extern const Table table_baseline;
#if defined(VANTOREL_LANES_X86)
extern const Table table_avx2;
extern const Table table_avx512;
#endif

// The table of the widest instruction set this CPU runs, or of a narrower one
// that the environment variable VANTOREL_SIMD names ("avx512", "avx2",
// "baseline"; a wider one than the CPU runs falls back to the widest it runs).
// Chosen on the first call, kept for the process. Returns nullptr for a value
// of VANTOREL_SIMD it does not know.
const Table* active() noexcept;

}  // namespace vantorel::lanes
