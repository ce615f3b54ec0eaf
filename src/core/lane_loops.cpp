// src/core/lane_loops.cpp: the lane loops of one instruction set; built once per target with that target's flags
#include "core/lane_loops.hpp"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "maths/functions/err_kernels.hpp"
#include "pricers/black_scholes_kernels.hpp"

#if !defined(VANTOREL_LANES_TARGET)
#error "VANTOREL_LANES_TARGET names the instruction set: baseline, avx2 or avx512"
#endif
#define VANTOREL_CAT2(a, b) a##b
#define VANTOREL_CAT(a, b) VANTOREL_CAT2(a, b)
#define VANTOREL_STR2(a) #a
#define VANTOREL_STR(a) VANTOREL_STR2(a)

namespace vantorel::lanes {

namespace {

// The widest pack the translation unit's flags allow.
#if defined(__AVX512F__)
using T = Pack8;
#elif defined(__AVX2__)
using T = Pack4;
#else
using T = Pack2;
#endif
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

// chi of a pc_flag column: +1 for a call (non-zero code, or True), -1 for a put.
template <bool AsBool>
T load_chi(const char* p, std::ptrdiff_t step, int m) noexcept {
    T v;
    for (int l = 0; l < width; ++l) {
        const char* q = p + (l < m ? l : 0) * step;
        bool call;
        if constexpr (AsBool) {
            call = *q != 0;
        } else {
            std::int64_t code;
            std::memcpy(&code, q, sizeof code);
            call = code != 0;
        }
        v[l] = call ? 1.0 : -1.0;
    }
    return v;
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
        const T chi = load_chi<AsBool>(data[5] + i * steps[5], steps[5], m);
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

}  // namespace

// In the order of Kernel.
extern const Table VANTOREL_CAT(table_, VANTOREL_LANES_TARGET);
const Table VANTOREL_CAT(table_, VANTOREL_LANES_TARGET) = {
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
    },
};

}  // namespace vantorel::lanes
