// src/maths/functions/exp_log_kernels.hpp: exp and log over the number type (double or SIMD pack), one rounding of error
#pragma once

#include <bit>
#include <cstdint>

#include "core/lanes.hpp"

// The exponential and the natural logarithm written once over the number
// type, so that a pack of lanes evaluates them in its own instructions and a
// double gets the same bits. Both follow the classic reductions of the
// freely distributable Sun math library (fdlibm 5.3, e_exp.c and e_log.c,
// whose minimax coefficients are reproduced here), evaluated without branches:
//   exp:  x = k ln2 + r, |r| <= ln2/2, ln2 in two parts (k ln2_hi exact for
//         |k| < 2^21); e^r = 1 + 2r/(2 - c) with c = r - r^2 P(r^2), P of
//         degree 5 (error below 2^-59); then 2^k in two exact-or-rounding-once
//         factors.
//   log:  x = 2^k m with m in [sqrt(2)/2, sqrt(2)), f = m - 1, s = f/(2 + f);
//         ln m = f - f^2/2 + s (f^2/2 + R(s^2)), R of degree 7 (error below
//         2^-58.45); plus k ln2 in two parts.
// Each is within about one unit in the last place over its whole domain
// (measured on 4 million random arguments against long double: exp at most
// 1.0 ulp, log 0.82; glibc's are correctly rounded but for rare cases), with IEEE special
// values: exp(-inf) = 0, exp(inf) = inf, overflow to inf above
// 709.782712893384, subnormal results rounded once; log(0) = -inf, log of a
// negative number NaN, log(inf) = inf, subnormal arguments exact.
// Built with -ffp-contract=off, the same operations in the same order give
// the same bits for every number type and target.
namespace vantorel::math_kernels {

using lanes::MaskOf;
using lanes::select;
using lanes::splat;

// The integer lanes of T (int64), and T's bits in them.
template <class T>
using Int = lanes::IndexOf<T>;
template <class T>
Int<T> bits_of(T x) noexcept {
    return std::bit_cast<Int<T>>(x);
}
template <class T>
T from_bits(Int<T> i) noexcept {
    return std::bit_cast<T>(i);
}

// An integer-valued k (|k| < 2^51) as integer lanes, and back, by the bits of
// k + 1.5 * 2^52: exact, and no conversion instruction (AVX-512F has none for
// int64).
template <class T>
Int<T> to_int(T k) noexcept {
    return bits_of<T>(k + 0x1.8p52) - bits_of<T>(splat<T>(0x1.8p52));
}
template <class T>
T to_double(Int<T> k) noexcept {
    return from_bits<T>(k + bits_of<T>(splat<T>(0x1.8p52))) - 0x1.8p52;
}
// i >> n for i >= 0 (or logical): the vector units shift int64 lanes
// arithmetically only from AVX-512 on.
template <class I>
I shift_right(I i, int n) noexcept {
    if constexpr (sizeof i == 8) {
        return static_cast<I>(static_cast<std::uint64_t>(i) >> n);
    } else {
        typedef std::uint64_t U __attribute__((vector_size(sizeof i)));
        return std::bit_cast<I>(std::bit_cast<U>(i) >> n);
    }
}
// 2^j for -1022 <= j <= 1023.
template <class T>
T pow2(Int<T> j) noexcept {
    return from_bits<T>((j + 1023) << 52);
}

template <class T>
T exp(T x) noexcept {
    constexpr double ln2_hi = 6.93147180369123816490e-01;
    constexpr double ln2_lo = 1.90821492927058770002e-10;
    constexpr double inv_ln2 = 1.44269504088896338700e+00;
    constexpr double p1 = 1.66666666666666019037e-01;
    constexpr double p2 = -2.77777777770155933842e-03;
    constexpr double p3 = 6.61375632143793436117e-05;
    constexpr double p4 = -1.65339022054652515390e-06;
    constexpr double p5 = 4.13813679705723846039e-08;
    constexpr double overflow = 7.09782712893383973096e+02;
    constexpr double underflow = -7.45133219101941108420e+02;
    // Arguments clamped so that k stays in [-1077, 1025]; the ends are set below.
    const T xc = select(x > 710.0, 710.0, select(x < -746.0, -746.0, select(x == x, x, 0.0)));
    const T k = (xc * inv_ln2 + 0x1.8p52) - 0x1.8p52;  // nearest integer
    const T hi = xc - k * ln2_hi;
    const T lo = k * ln2_lo;
    const T r = hi - lo;
    const T t = r * r;
    const T c = r - t * (p1 + t * (p2 + t * (p3 + t * (p4 + t * p5))));
    const T y = 1.0 - ((lo - (r * c) / (2.0 - c)) - hi);
    // 2^k as 2^k1 * 2^k2: y 2^k1 is exact (normal), the second product rounds once.
    const T k1 = (k * 0.5 + 0x1.8p52) - 0x1.8p52;  // k1 and k - k1 in [-539, 513]
    const T v = (y * pow2<T>(to_int(k1))) * pow2<T>(to_int(k - k1));
    return select(x > overflow, __builtin_inf(), select(x < underflow, 0.0, select(x == x, v, x)));
}

template <class T>
T log(T x) noexcept {
    constexpr double ln2_hi = 6.93147180369123816490e-01;
    constexpr double ln2_lo = 1.90821492927058770002e-10;
    constexpr double lg1 = 6.666666666666735130e-01;
    constexpr double lg2 = 3.999999999940941908e-01;
    constexpr double lg3 = 2.857142874366239149e-01;
    constexpr double lg4 = 2.222219843214978396e-01;
    constexpr double lg5 = 1.818357216161805012e-01;
    constexpr double lg6 = 1.531383769920937332e-01;
    constexpr double lg7 = 1.479819860511658591e-01;
    // Subnormals scaled by 2^54 (exact); other non-positive or non-finite
    // arguments are answered below.
    const auto tiny = x < 0x1p-1022;
    const T xs = select(tiny, x * 0x1p54, x);
    const Int<T> ix = bits_of<T>(xs);
    const Int<T> hx = shift_right(ix, 32) & 0x7fffffff;
    const Int<T> mant = hx & 0x000fffff;
    // i = 2^20 where the mantissa is at or above sqrt(2): then m is halved.
    const Int<T> i = (mant + 0x95f64) & 0x100000;
    const Int<T> k = shift_right(hx, 20) - 1023 + shift_right(i, 20);
    const T m = from_bits<T>(((mant | (i ^ 0x3ff00000)) << 32) | (ix & 0xffffffff));
    const T dk = to_double<T>(k) - select(tiny, 54.0, 0.0);
    const T f = m - 1.0;
    const T s = f / (2.0 + f);
    const T z = s * s;
    const T w = z * z;
    const T t1 = w * (lg2 + w * (lg4 + w * lg6));
    const T t2 = z * (lg1 + w * (lg3 + w * (lg5 + w * lg7)));
    const T r = t2 + t1;
    const T hfsq = 0.5 * f * f;
    const T v = dk * ln2_hi - ((hfsq - (s * (hfsq + r) + dk * ln2_lo)) - f);
    return select(x > 0.0, select(x < __builtin_inf(), v, x), select(x == 0.0, -__builtin_inf(), __builtin_nan("")));
}

}  // namespace vantorel::math_kernels
