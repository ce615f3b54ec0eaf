// src/core/lane_loops.cpp: the lane loops of one instruction set; built once per target with that target's flags
#include "core/lane_loops.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/lane_target.hpp"
#include "datetime/date.hpp"
#include "maths/functions/err_kernels.hpp"
#include "maths/interpolator_kernels.hpp"
#include "mkt_data/curve_kernels.hpp"
#include "pricers/black_scholes_kernels.hpp"

#define VANTOREL_STR2(a) #a
#define VANTOREL_STR(a) VANTOREL_STR2(a)

namespace vantorel::lanes {

namespace {

using T = WidestPack;
constexpr int width = Traits<T>::width;

// m lanes (1 <= m <= width) of a column from p; lanes past m repeat the
// first, so that a short pack computes only valid inputs.
T load(const char* p, std::ptrdiff_t step, int m) noexcept {
    T v;
    if (step == sizeof(double) && m == width) {
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    for (int l = 0; l < width; ++l) {
        double x;
        std::memcpy(&x, p + (l < m ? l : 0) * step, sizeof x);
        v[l] = x;
    }
    return v;
}

// chi of a pc_flag column: +1 for a call (code 1, or True), -1 for a put
// (code 0, or False). False where a code is neither 0 nor 1: the scalar
// kernel reports that element.
template <bool AsBool>
bool load_chi(const char* p, std::ptrdiff_t step, int m, T& chi) noexcept {
    if constexpr (AsBool) {
        // A full pack of contiguous bools: one comparison of the bytes widened to lanes.
        if (step == 1 && m == width) {
            T flags;
            for (int l = 0; l < width; ++l) flags[l] = static_cast<double>(static_cast<unsigned char>(p[l]));
            chi = select(flags != 0.0, 1.0, -1.0);
            return true;
        }
    }
    bool known = true;
    for (int l = 0; l < width; ++l) {
        const char* q = p + (l < m ? l : 0) * step;
        bool call;
        if constexpr (AsBool) {
            call = *q != 0;
        } else {
            std::int64_t code;
            std::memcpy(&code, q, sizeof code);
            call = code == 1;
            known &= (code == 0) | (code == 1);
        }
        chi[l] = call ? 1.0 : -1.0;
    }
    return known;
}

void store(char* p, std::ptrdiff_t step, int m, T v) noexcept {
    if (step == sizeof(double) && m == width) {
        std::memcpy(p, &v, sizeof v);
        return;
    }
    for (int l = 0; l < m; ++l) {
        const double x = v[l];
        std::memcpy(p + l * step, &x, sizeof x);
    }
}

// The pricer: seven inputs, one result or the seven metrics; NaN where the
// scalar call gives None.
template <auto Fn, bool AsBool>
std::ptrdiff_t pricer(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
    const T nan = splat<T>(__builtin_nan(""));
    for (std::ptrdiff_t i = 0; i < n; i += width) {
        const int m = n - i < width ? static_cast<int>(n - i) : width;
        const auto in = [&](int k) { return load(data[k] + i * steps[k], steps[k], m); };
        const T spot = in(0), strike = in(1), rate = in(2), div_yield = in(3), tau = in(4), vol = in(6);
        T chi;
        if (!load_chi<AsBool>(data[5] + i * steps[5], steps[5], m, chi)) return i;
        const auto ok = bs_kernels::valid(spot, strike, vol);
        const auto r = Fn(spot, strike, rate, div_yield, tau, chi, vol);
        const auto out = [&](int k, T v) { store(data[k] + i * steps[k], steps[k], m, select(ok, v, nan)); };
        if constexpr (std::is_same_v<std::remove_const_t<decltype(r)>, T>) {
            out(7, r);
        } else {
            out(7, r.npv);
            out(8, r.delta);
            out(9, r.gamma);
            out(10, r.vega);
            out(11, r.theta);
            out(12, r.rho_r);
            out(13, r.rho_q);
        }
    }
    return n;
}

template <auto Fn>
std::ptrdiff_t unary(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
    for (std::ptrdiff_t i = 0; i < n; i += width) {
        const int m = n - i < width ? static_cast<int>(n - i) : width;
        store(data[1] + i * steps[1], steps[1], m, Fn(load(data[0] + i * steps[0], steps[0], m)));
    }
    return n;
}

namespace bs = bs_kernels;

// ---- date columns ------------------------------------------------------------------
//
// Plain loops over integers that the compiler turns into the target's vector
// instructions: no branch per element, only selects. A block of elements is
// computed into a buffer together with a flag for days out of range, and
// copied out only when none is.

constexpr std::int64_t nat = INT64_MIN;
constexpr std::int64_t unix_epoch = 25569;  // serial of 1970-01-01; serial day 0 is 1899-12-30
constexpr std::int64_t day_lo = min_serial - unix_epoch;  // 1899-01-01
constexpr std::int64_t day_hi = max_serial - unix_epoch;  // 65535-12-31
constexpr std::ptrdiff_t block = 256;

template <bool Contig>
inline std::int64_t day_at(const char* p, std::ptrdiff_t step, std::ptrdiff_t i) noexcept {
    std::int64_t d;
    std::memcpy(&d, p + i * (Contig ? std::ptrdiff_t{8} : step), sizeof d);
    return d;
}
template <bool Contig, class V>
inline void put_at(char* p, std::ptrdiff_t step, std::ptrdiff_t i, V v) noexcept {
    std::memcpy(p + i * (Contig ? static_cast<std::ptrdiff_t>(sizeof v) : step), &v, sizeof v);
}

// 1 for a day that is neither NaT nor in the date range (unsigned
// arithmetic: no day overflows).
inline std::uint32_t out_of_range(std::int64_t d) noexcept {
    const std::uint64_t off = static_cast<std::uint64_t>(d) - static_cast<std::uint64_t>(day_lo);
    return static_cast<std::uint32_t>((d != nat) & (off > std::uint64_t(day_hi - day_lo)));
}

// Monday 0 .. Sunday 6 of an in-range day; 1970-01-01 was a Thursday (3) and
// 25935 is a multiple of 7 that keeps every day of the range positive.
inline std::uint32_t weekday_of(std::int64_t d) noexcept {
    // Unsigned: any day, also one out of range whose result is dropped, is defined.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(d) + (25935 + 3)) % 7u;
}

// An element's result and whether it must go to the scalar kernel (1: a day
// out of range, in or out).
template <class V>
struct Element {
    V value;
    std::uint32_t bad;
};

// x, or NaN where missing: integer masks, which the vectoriser takes where it
// leaves a select of doubles as a branch.
inline double nan_where(bool missing, double x) noexcept {
    const std::uint64_t m = 0 - static_cast<std::uint64_t>(missing);
    const auto nan_bits = std::bit_cast<std::uint64_t>(__builtin_nan(""));
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(x) & ~m) | (nan_bits & m));
}

// Runs each block of f(j) into a buffer in one pass and copies the block out
// once none of its elements is bad, so that no element after a failing one
// is written; returns the start of the first block with a bad element.
template <bool Contig, class V, class F>
std::ptrdiff_t by_blocks(char* out, std::ptrdiff_t out_step, std::ptrdiff_t n, F f) noexcept {
    V result[block];
    for (std::ptrdiff_t i = 0; i < n; i += block) {
        const std::ptrdiff_t m = n - i < block ? n - i : block;
        std::uint32_t bad = 0;
        for (std::ptrdiff_t j = 0; j < m; ++j) {
            const Element<V> e = f(i + j);
            bad |= e.bad;
            result[j] = e.value;
        }
        if (bad != 0) return i;
        if (Contig) {
            std::memcpy(out + i * static_cast<std::ptrdiff_t>(sizeof(V)), result, static_cast<std::size_t>(m) * sizeof(V));
        } else {
            for (std::ptrdiff_t j = 0; j < m; ++j) put_at<false>(out, out_step, i + j, result[j]);
        }
    }
    return n;
}

template <bool Contig>
std::ptrdiff_t weekday_loop(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                            std::ptrdiff_t n) noexcept {
    return by_blocks<Contig, double>(out, out_step, n, [&](std::ptrdiff_t j) {
        const std::int64_t d = day_at<Contig>(days, step, j);
        const double w = static_cast<double>(static_cast<std::int32_t>(weekday_of(d)));
        return Element<double>{nan_where(d == nat, w), out_of_range(d)};
    });
}

template <bool Contig>
std::ptrdiff_t weekend_loop(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                            std::ptrdiff_t n, unsigned weekend, bool business) noexcept {
    const std::uint32_t flip = business ? 1 : 0;
    return by_blocks<Contig, std::uint8_t>(out, out_step, n, [&](std::ptrdiff_t j) {
        const std::int64_t d = day_at<Contig>(days, step, j);
        const std::uint32_t bit = ((weekend >> weekday_of(d)) & 1u) ^ flip;
        return Element<std::uint8_t>{static_cast<std::uint8_t>(d == nat ? 0u : bit), out_of_range(d)};
    });
}

template <bool Contig>
std::ptrdiff_t add_days_loop(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                             std::ptrdiff_t n, std::int64_t k) noexcept {
    return by_blocks<Contig, std::int64_t>(out, out_step, n, [&](std::ptrdiff_t j) {
        const std::int64_t d = day_at<Contig>(days, step, j);
        // Unsigned: no overflow; e is NaT only after a wrap from a day already out of range.
        const auto e = static_cast<std::int64_t>(static_cast<std::uint64_t>(d) + static_cast<std::uint64_t>(k));
        return Element<std::int64_t>{d == nat ? nat : e, out_of_range(d) | ((d != nat) & (out_of_range(e) != 0))};
    });
}

// Days since 1970-01-01 to the year, month and day of the proleptic
// Gregorian calendar and back, over years counted from March (so that the
// leap day ends a year). 32-bit unsigned arithmetic, which the vector units
// divide by constants. In-range days only: z = d + 719468 counts days from
// 0000-03-01 and stays in [693536, 23936471].
struct Civil {
    std::uint32_t y, m, d;
};
inline Civil civil_of(std::int64_t day) noexcept {
    const auto z = static_cast<std::uint32_t>(day + 719468);
    const std::uint32_t era = z / 146097;
    const std::uint32_t doe = z - era * 146097;                                       // [0, 146096]
    const std::uint32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
    const std::uint32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // [0, 365]
    const std::uint32_t mp = (5 * doy + 2) / 153;                                     // [0, 11], March first
    const std::uint32_t d = doy - (153 * mp + 2) / 5 + 1;                             // [1, 31]
    const std::uint32_t m = mp < 10 ? mp + 3 : mp - 9;                                // [1, 12]
    return {yoe + era * 400 + (m <= 2 ? 1u : 0u), m, d};
}
// Years from 1 up.
inline std::int64_t day_of(std::uint32_t y, std::uint32_t m, std::uint32_t d) noexcept {
    const std::uint32_t ym = y - (m <= 2 ? 1u : 0u);
    const std::uint32_t era = ym / 400;
    const std::uint32_t yoe = ym - era * 400;                               // [0, 399]
    const std::uint32_t mp = m > 2 ? m - 3 : m + 9;                         // [0, 11]
    const std::uint32_t doy = (153 * mp + 2) / 5 + d - 1;                   // [0, 365]
    const std::uint32_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;        // [0, 146096]
    return static_cast<std::int32_t>(era * 146097 + doe) - std::int64_t{719468};
}

// The day k months later (|k| <= 12 * 32768), clamped to the end of a shorter
// month; bad is 1 where its year leaves [1899, 65535].
struct MonthsLater {
    std::int64_t day;
    std::uint32_t bad;
};
inline MonthsLater months_later(std::int64_t day, std::int32_t k) noexcept {
    const Civil c = civil_of(day);
    // Months from January of year -40000: positive, below 2^31.
    const auto months = static_cast<std::uint32_t>(static_cast<std::int32_t>(c.y * 12 + c.m - 1) + k + 480000);
    const std::uint32_t y40 = months / 12;                    // year + 40000
    const std::uint32_t m = months - y40 * 12 + 1;            // [1, 12]
    const std::uint32_t bad = (y40 < 40000 + 1899) | (y40 > 40000 + 65535);
    const std::uint32_t y = bad != 0 ? 2000 : y40 - 40000;
    const bool leap = ((y & 3) == 0) & ((y % 100 != 0) | (y % 400 == 0));
    const std::uint32_t month_days = m == 2 ? (leap ? 29 : 28) : 30 + ((m + (m >> 3)) & 1);
    return {day_of(y, m, c.d < month_days ? c.d : month_days), bad};
}

template <bool Contig>
std::ptrdiff_t add_months_loop(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                               std::ptrdiff_t n, std::int64_t k) noexcept {
    const auto k32 = static_cast<std::int32_t>(k);
    return by_blocks<Contig, std::int64_t>(out, out_step, n, [&](std::ptrdiff_t j) {
        const std::int64_t d = day_at<Contig>(days, step, j);
        const bool outside = out_of_range(d) != 0;
        const MonthsLater r = months_later(((d == nat) | outside) ? 0 : d, k32);
        return Element<std::int64_t>{d == nat ? nat : r.day,
                                     static_cast<std::uint32_t>(outside | ((d != nat) & (r.bad != 0)))};
    });
}

template <bool Contig>
std::ptrdiff_t day_fraction_loop(const char* start, std::ptrdiff_t start_step, const char* end,
                                 std::ptrdiff_t end_step, char* out, std::ptrdiff_t out_step, std::ptrdiff_t n,
                                 double divisor) noexcept {
    return by_blocks<Contig, double>(out, out_step, n, [&](std::ptrdiff_t j) {
        const std::int64_t s = day_at<Contig>(start, start_step, j), e = day_at<Contig>(end, end_step, j);
        const auto gap = static_cast<std::uint32_t>(static_cast<std::uint64_t>(e) - static_cast<std::uint64_t>(s));
        const double f = static_cast<double>(static_cast<std::int32_t>(gap)) / divisor;
        return Element<double>{nan_where((s == nat) | (e == nat), f), out_of_range(s) | out_of_range(e)};
    });
}

// The contiguous form where every column is, the strided one else.
template <auto Contiguous, auto Strided, class... A>
std::ptrdiff_t either(bool contiguous, A... a) noexcept {
    return contiguous ? Contiguous(a...) : Strided(a...);
}

std::ptrdiff_t weekday_any(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                           std::ptrdiff_t n) noexcept {
    return either<&weekday_loop<true>, &weekday_loop<false>>(step == 8 && out_step == 8, days, step, out, out_step, n);
}
std::ptrdiff_t weekend_any(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                           std::ptrdiff_t n, unsigned weekend, bool business) noexcept {
    return either<&weekend_loop<true>, &weekend_loop<false>>(step == 8 && out_step == 1, days, step, out, out_step, n,
                                                             weekend, business);
}
std::ptrdiff_t add_days_any(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                            std::ptrdiff_t n, std::int64_t k) noexcept {
    return either<&add_days_loop<true>, &add_days_loop<false>>(step == 8 && out_step == 8, days, step, out, out_step,
                                                               n, k);
}
std::ptrdiff_t add_months_any(const char* days, std::ptrdiff_t step, char* out, std::ptrdiff_t out_step,
                              std::ptrdiff_t n, std::int64_t k) noexcept {
    return either<&add_months_loop<true>, &add_months_loop<false>>(step == 8 && out_step == 8, days, step, out,
                                                                   out_step, n, k);
}
std::ptrdiff_t day_fraction_any(const char* start, std::ptrdiff_t start_step, const char* end,
                                std::ptrdiff_t end_step, char* out, std::ptrdiff_t out_step, std::ptrdiff_t n,
                                double divisor) noexcept {
    return either<&day_fraction_loop<true>, &day_fraction_loop<false>>(
        start_step == 8 && end_step == 8 && out_step == 8, start, start_step, end, end_step, out, out_step, n, divisor);
}

template <bool Geometric>
void inside(const Nodes& nodes, const double* xs, double* out, std::ptrdiff_t n) noexcept {
    for (std::ptrdiff_t i = 0; i < n; i += width) {
        const int m = n - i < width ? static_cast<int>(n - i) : width;
        const T x = load(reinterpret_cast<const char*>(xs + i), sizeof(double), m);
        const auto k = interp_kernels::interval(nodes.x, nodes.n, x);
        T y;
        if constexpr (Geometric)
            y = interp_kernels::geometric(nodes.x, nodes.y, k, x);
        else
            y = interp_kernels::linear(nodes.x, nodes.y, nodes.slopes, k, x);
        store(reinterpret_cast<char*>(out + i), sizeof(double), m, y);
    }
}

// out[j] = f(at)[j] over n contiguous elements, a pack at a time; at(p) loads
// the pack of column p.
template <class F>
void columns(double* out, std::ptrdiff_t n, F f) noexcept {
    for (std::ptrdiff_t i = 0; i < n; i += width) {
        const int m = n - i < width ? static_cast<int>(n - i) : width;
        const auto at = [&](const double* p) { return load(reinterpret_cast<const char*>(p + i), sizeof(double), m); };
        store(reinterpret_cast<char*>(out + i), sizeof(double), m, f(at));
    }
}

namespace ck = curve_kernels;

void flat_df(const double* tau, double rate, double* out, std::ptrdiff_t n) noexcept {
    columns(out, n, [&](auto at) { return ck::flat_df(at(tau), rate); });
}
void fwd_df(const double* df_start, const double* df_end, double* out, std::ptrdiff_t n) noexcept {
    columns(out, n, [&](auto at) { return ck::fwd_df(at(df_start), at(df_end)); });
}
void simple_rate(const double* df_start, const double* df_end, const double* tau, double* out,
                 std::ptrdiff_t n) noexcept {
    columns(out, n, [&](auto at) { return ck::simple_rate(at(df_start), at(df_end), at(tau)); });
}
void zero_rate(const double* df, const double* tau, double* out, std::ptrdiff_t n) noexcept {
    columns(out, n, [&](auto at) { return ck::zero_rate(at(df), at(tau)); });
}

}  // namespace

// In pricers/implied_vol_lanes.cpp, built with the same target.
std::ptrdiff_t VANTOREL_PER_TARGET(implied_vol_lanes_)(char* const*, const std::ptrdiff_t*,
                                                                       std::ptrdiff_t) noexcept;
std::ptrdiff_t VANTOREL_PER_TARGET(implied_vol_lanes_b_)(char* const*, const std::ptrdiff_t*,
                                                                         std::ptrdiff_t) noexcept;

extern const AmericanLoops VANTOREL_PER_TARGET(american_loops_);

// In the order of Kernel.
extern const Table VANTOREL_PER_TARGET(table_);
const Table VANTOREL_PER_TARGET(table_) = {
    VANTOREL_STR(VANTOREL_LANES_TARGET),
    width,
    {
        &pricer<&bs::npv<T>, false>, &pricer<&bs::delta<T>, false>, &pricer<&bs::gamma<T>, false>,
        &pricer<&bs::vega<T>, false>, &pricer<&bs::theta<T>, false>, &pricer<&bs::rho_r<T>, false>,
        &pricer<&bs::rho_q<T>, false>, &pricer<&bs::metrics<T>, false>, &pricer<&bs::metrics_fd<T>, false>,
        &pricer<&bs::npv<T>, true>, &pricer<&bs::delta<T>, true>, &pricer<&bs::gamma<T>, true>,
        &pricer<&bs::vega<T>, true>, &pricer<&bs::theta<T>, true>, &pricer<&bs::rho_r<T>, true>,
        &pricer<&bs::rho_q<T>, true>, &pricer<&bs::metrics<T>, true>, &pricer<&bs::metrics_fd<T>, true>,
        &unary<&err_kernels::erf<T>>, &unary<&err_kernels::erfc<T>>,
        &unary<&err_kernels::erf_inv<T>>, &unary<&err_kernels::erfc_inv<T>>,
        &VANTOREL_PER_TARGET(implied_vol_lanes_), &VANTOREL_PER_TARGET(implied_vol_lanes_b_),
    },
    {&weekday_any, &weekend_any, &add_days_any, &add_months_any, &day_fraction_any},
    {&inside<false>, &inside<true>},
    {&flat_df, &fwd_df, &simple_rate, &zero_rate},
    &VANTOREL_PER_TARGET(american_loops_),
};

}  // namespace vantorel::lanes
