// src/core/lanes.hpp: the number types a formula is written over: a double, or a pack of SIMD lanes
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

// A formula is a template over its number type T. Instantiated with double it
// is the scalar call; instantiated with a pack every lane runs the same IEEE
// operations in the same order, so each lane gives the scalar's bits.
//
//   arithmetic, comparisons   the operators (a pack mixes with a double
//                             constant as GCC's vector extension allows);
//   select(m, a, b)           a where the mask m holds, else b;
//   when(m, f)                runs f if m holds in any lane (for a double:
//                             if m holds): a branch taken per pack, whose
//                             results reach only the lanes of m through set();
//   set(m, x, v)              x = v where m holds;
//   exp, log, pow             glibc's scalar functions, called lane by lane;
//   exp_where(m, x)           exp on the lanes of m only;
//   each(f, a...)             f over doubles giving a std::array of results,
//                             lane by lane: several libm calls per lane in one
//                             pass over the lanes;
//   gather(table, i)          table[i] per lane: an interval's coefficient;
//   gather_at(p, i)           p[i] per lane, i an IndexOf<T> (a ptrdiff_t, or
//                             int64 lanes).
//
// Compiled once per instruction set (one translation unit per target), a
// pack type is a different C++ type in each (Pack2, Pack4 or Pack8),
// so no instantiation compiled for a wide target can stand in for the
// baseline's.
namespace vantorel::lanes {

typedef double Pack2 __attribute__((vector_size(16)));
typedef double Pack4 __attribute__((vector_size(32)));
typedef double Pack8 __attribute__((vector_size(64)));
// What a comparison of packs gives: 64-bit integers, all ones where it holds
// (long in GCC, long long in Clang).
using Mask2 = decltype(Pack2{} < Pack2{});
using Mask4 = decltype(Pack4{} < Pack4{});
using Mask8 = decltype(Pack8{} < Pack8{});

template <int W> struct PackOf;
template <> struct PackOf<2> { using type = Pack2; };
template <> struct PackOf<4> { using type = Pack4; };
template <> struct PackOf<8> { using type = Pack8; };
template <int W>
using Pack = typename PackOf<W>::type;

template <class T>
struct Traits {  // double
    static constexpr int width = 1;
    using Mask = bool;
};
template <>
struct Traits<Pack2> {
    static constexpr int width = 2;
    using Mask = Mask2;
};
template <>
struct Traits<Pack4> {
    static constexpr int width = 4;
    using Mask = Mask4;
};
template <>
struct Traits<Pack8> {
    static constexpr int width = 8;
    using Mask = Mask8;
};

// The widest pack the translation unit's flags allow (a lane loop compiled per target).
#if defined(__AVX512F__)
using WidestPack = Pack8;
#elif defined(__AVX2__)
using WidestPack = Pack4;
#else
using WidestPack = Pack2;
#endif

template <class T>
concept Lanes = Traits<T>::width > 1;

template <class T>
using MaskOf = typename Traits<T>::Mask;
// An index per lane: for a pack, the integer lanes its comparisons give.
template <class T>
using IndexOf = std::conditional_t<Traits<T>::width == 1, std::ptrdiff_t, typename Traits<T>::Mask>;

// ---- masks ---------------------------------------------------------------------

inline bool mask_not(bool m) noexcept { return !m; }
inline bool mask_and(bool a, bool b) noexcept { return a && b; }
inline bool mask_or(bool a, bool b) noexcept { return a || b; }
inline bool any(bool m) noexcept { return m; }

template <class M>
M mask_not(M m) noexcept { return ~m; }
template <class M>
M mask_and(M a, M b) noexcept { return a & b; }
template <class M>
M mask_or(M a, M b) noexcept { return a | b; }
// The lanes of a mask (all ones or zero per lane) as bits, lane i at bit i:
// one instruction where the target has it, instead of a reduction across the
// register.
template <class M>
unsigned lane_bits(M m) noexcept {
    unsigned r = 0;
    for (std::size_t i = 0; i < sizeof m / 8; ++i) r |= (m[i] != 0 ? 1u : 0u) << i;
    return r;
}
#if defined(__SSE2__)
inline unsigned lane_bits(Mask2 m) noexcept { return static_cast<unsigned>(_mm_movemask_pd(reinterpret_cast<__m128d>(m))); }
#endif
#if defined(__AVX2__)
inline unsigned lane_bits(Mask4 m) noexcept {
    return static_cast<unsigned>(_mm256_movemask_pd(reinterpret_cast<__m256d>(m)));
}
#endif
#if defined(__AVX512F__)
inline unsigned lane_bits(Mask8 m) noexcept {
    const auto i = reinterpret_cast<__m512i>(m);
    return _mm512_test_epi64_mask(i, i);
}
#endif
template <class M>
bool any(M m) noexcept {
    return lane_bits(m) != 0;
}

// A pack with every lane c (for a double: c itself). c - 0 keeps -0.0.
template <class T>
T splat(double c) noexcept {
    if constexpr (Traits<T>::width == 1) return c;
    else return c - T{};
}

// ---- selection -------------------------------------------------------------------

template <class M>
struct PackOfMask;
template <> struct PackOfMask<Mask2> { using type = Pack2; };
template <> struct PackOfMask<Mask4> { using type = Pack4; };
template <> struct PackOfMask<Mask8> { using type = Pack8; };

inline double select(bool m, double a, double b) noexcept { return m ? a : b; }
template <class M, Lanes T>
T select(M m, T a, T b) noexcept { return m ? a : b; }
template <class M, Lanes T>
T select(M m, double a, T b) noexcept { return m ? splat<T>(a) : b; }
template <class M, Lanes T>
T select(M m, T a, double b) noexcept { return m ? a : splat<T>(b); }
template <class M, class T = typename PackOfMask<M>::type>
T select(M m, double a, double b) noexcept { return m ? splat<T>(a) : splat<T>(b); }

template <class M, class F>
void when(M m, F&& f) {
    if (any(m)) f();
}
template <class M, class T, class V>
void set(M m, T& x, const V& v) noexcept {
    x = select(m, v, x);
}

// The number of the masks that hold, per lane: the index of an interval.
inline std::ptrdiff_t count(bool m) noexcept { return m ? 1 : 0; }
template <class M>
M count(M m) noexcept { return -m; }

// ---- functions lane by lane --------------------------------------------------------

inline double sqrt(double x) noexcept { return std::sqrt(x); }
inline double exp(double x) noexcept { return std::exp(x); }
inline double log(double x) noexcept { return std::log(x); }
inline double pow(double x, double y) noexcept { return std::pow(x, y); }
inline double gather_at(const double* table, std::ptrdiff_t i) noexcept { return table[i]; }
template <std::size_t N>
double gather(const double (&table)[N], std::ptrdiff_t i) noexcept {
    return table[i];
}

template <Lanes T>
T sqrt(T x) noexcept {
    T r;
    for (int i = 0; i < Traits<T>::width; ++i) r[i] = __builtin_sqrt(x[i]);
    return r;
}
// The loops of libm calls stay out of line: a call clobbers every vector
// register, so such a loop inlined into a kernel spills the kernel's live
// packs around each call of each lane; out of line they are saved once.
template <Lanes T>
[[gnu::noinline]] T exp(T x) noexcept {
    T r;
    for (int i = 0; i < Traits<T>::width; ++i) r[i] = std::exp(x[i]);
    return r;
}
template <Lanes T>
[[gnu::noinline]] T log(T x) noexcept {
    T r;
    for (int i = 0; i < Traits<T>::width; ++i) r[i] = std::log(x[i]);
    return r;
}
template <Lanes T>
[[gnu::noinline]] T pow(T x, T y) noexcept {
    T r;
    for (int i = 0; i < Traits<T>::width; ++i) r[i] = std::pow(x[i], y[i]);
    return r;
}
// exp on the lanes of m only (the others keep x): lanes whose result is not
// kept cost no call. The loop runs over the set lanes, so its branches
// depend on how many there are, not on which.
inline double exp_where(bool, double x) noexcept { return std::exp(x); }
template <class M, Lanes T>
[[gnu::noinline]] T exp_where(M m, T x) noexcept {
    unsigned bits = lane_bits(m);
    T r = x;
    for (; bits != 0; bits &= bits - 1) {
        const int i = __builtin_ctz(bits);
        r[i] = std::exp(x[i]);
    }
    return r;
}

// f(a...) with f a function of doubles giving a std::array<double, K>: for
// doubles f itself, for packs f lane by lane into K packs. One pass over the
// lanes for several calls saves a loop (and the spills around it) per call.
// Out of line, as exp and log above.
template <class F, class A, class... B>
[[gnu::noinline]] auto each_lane(F f, A a, B... b) noexcept {
    using R = decltype(f(a[0], b[0]...));
    std::array<A, std::tuple_size_v<R>> r;
    for (int i = 0; i < Traits<A>::width; ++i) {
        const R v = f(a[i], b[i]...);
        for (std::size_t k = 0; k < v.size(); ++k) r[k][i] = v[k];
    }
    return r;
}
template <class F, class A, class... B>
auto each(F f, A a, B... b) noexcept {
    if constexpr (Traits<A>::width == 1)
        return f(a, b...);
    else
        return each_lane(f, a, b...);
}

template <std::size_t N, class I>
auto gather(const double (&table)[N], I i) noexcept {
    constexpr int w = sizeof i / 8;
    Pack<w> r;
    for (int k = 0; k < w; ++k) r[k] = table[i[k]];
    return r;
}

template <class I>
auto gather_at(const double* table, I i) noexcept {
    constexpr int w = sizeof i / 8;
    Pack<w> r;
    for (int k = 0; k < w; ++k) r[k] = table[i[k]];
    return r;
}

// The instruction for a whole pack where the translation unit's target has it.
#if defined(__SSE2__)
inline Pack2 sqrt(Pack2 x) noexcept { return _mm_sqrt_pd(x); }
#endif
#if defined(__AVX2__)
inline Pack4 sqrt(Pack4 x) noexcept { return _mm256_sqrt_pd(x); }
template <std::size_t N>
Pack4 gather(const double (&table)[N], Mask4 i) noexcept {
    return _mm256_i64gather_pd(table, reinterpret_cast<__m256i>(i), 8);
}
inline Pack4 gather_at(const double* table, Mask4 i) noexcept {
    return _mm256_i64gather_pd(table, reinterpret_cast<__m256i>(i), 8);
}
#endif
#if defined(__AVX512F__)
// The masked forms with a defined fill: GCC 12 takes the plain forms' undefined
// fill for a use of an uninitialised value.
inline Pack8 sqrt(Pack8 x) noexcept { return _mm512_mask_sqrt_pd(x, 0xFF, x); }
template <std::size_t N>
Pack8 gather(const double (&table)[N], Mask8 i) noexcept {
    return _mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xFF, reinterpret_cast<__m512i>(i), table, 8);
}
inline Pack8 gather_at(const double* table, Mask8 i) noexcept {
    return _mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xFF, reinterpret_cast<__m512i>(i), table, 8);
}
// A table of 16 entries sits in two registers: one permutation per pack.
inline Pack8 gather(const double (&table)[16], Mask8 i) noexcept {
    return _mm512_permutex2var_pd(_mm512_loadu_pd(table), reinterpret_cast<__m512i>(i), _mm512_loadu_pd(table + 8));
}
#endif

}  // namespace vantorel::lanes
