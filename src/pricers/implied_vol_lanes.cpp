// src/pricers/implied_vol_lanes.cpp: the lane loops of implied_vol for one instruction set; built once per target
#include <cstdint>
#include <cstring>

#include "core/lane_loops.hpp"
#include "pricers/implied_vol.hpp"
#include "pricers/implied_vol_kernels.hpp"

#if !defined(VANTOREL_LANES_TARGET)
#error "VANTOREL_LANES_TARGET names the instruction set: baseline, avx2 or avx512"
#endif
#define VANTOREL_IV_CAT2(a, b) a##b
#define VANTOREL_IV_CAT(a, b) VANTOREL_IV_CAT2(a, b)

namespace vantorel::lanes {

namespace {

#if defined(__AVX512F__)
using T = Pack8;
#elif defined(__AVX2__)
using T = Pack4;
#else
using T = Pack2;
#endif
constexpr int width = Traits<T>::width;

// Lane l of a column from p for l < m, the first element on the lanes past m
// (a short pack computes only valid inputs).
double at(const char* p, std::ptrdiff_t step, int l, int m) noexcept {
    double x;
    std::memcpy(&x, p + (l < m ? l : 0) * step, sizeof x);
    return x;
}

// Columns (price, spot, strike, rate, div_yield, tau, pc_flag) in, the vol
// out. Each pack of options runs the common path in lockstep; a lane it
// leaves (wide or scaled forms) takes the scalar call, whose common path is
// the same kernel at double. Stops before a pack with a pc_flag code other
// than 0 or 1, which the scalar loop reports.
template <bool AsBool>
std::ptrdiff_t implied_vol_loop(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
    for (std::ptrdiff_t i = 0; i < n; i += width) {
        const int m = n - i < width ? static_cast<int>(n - i) : width;
        T in[6];
        T chi;
        bool known = true;
        for (int k = 0; k < 6; ++k) {
            if (steps[k] == sizeof(double) && m == width) {
                std::memcpy(&in[k], data[k] + i * steps[k], sizeof in[k]);
            } else {
                for (int l = 0; l < width; ++l) in[k][l] = at(data[k] + i * steps[k], steps[k], l, m);
            }
        }
        for (int l = 0; l < width; ++l) {
            const char* q = data[6] + i * steps[6] + (l < m ? l : 0) * steps[6];
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
        if (!known) return i;
        MaskOf<T> rare;
        T vol = iv_kernels::implied_vol(in[0], in[1], in[2], in[3], in[4], in[5], chi, rare);
        char* out = data[7] + i * steps[7];
        if (!any(rare) && steps[7] == sizeof(double) && m == width) {
            std::memcpy(out, &vol, sizeof vol);
            continue;
        }
        for (int l = 0; l < m; ++l) {
            double v = vol[l];
            if (rare[l] != 0) {
                v = vantorel::implied_vol(in[0][l], in[1][l], in[2][l], in[3][l], in[4][l], in[5][l],
                                          chi[l] > 0 ? PutCallFlag::Call : PutCallFlag::Put);
            }
            std::memcpy(out + l * steps[7], &v, sizeof v);
        }
    }
    return n;
}

}  // namespace

// Declared in lane_loops.cpp, which puts them in its table.
std::ptrdiff_t VANTOREL_IV_CAT(implied_vol_lanes_, VANTOREL_LANES_TARGET)(char* const* data,
                                                                          const std::ptrdiff_t* steps,
                                                                          std::ptrdiff_t n) noexcept {
    return implied_vol_loop<false>(data, steps, n);
}
std::ptrdiff_t VANTOREL_IV_CAT(implied_vol_lanes_b_, VANTOREL_LANES_TARGET)(char* const* data,
                                                                            const std::ptrdiff_t* steps,
                                                                            std::ptrdiff_t n) noexcept {
    return implied_vol_loop<true>(data, steps, n);
}

}  // namespace vantorel::lanes
