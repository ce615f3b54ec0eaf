// src/pricers/implied_vol.cpp: implied volatility from the normalised Black function
#include "pricers/implied_vol.hpp"

#include "pricers/implied_vol_kernels.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cmath>
#include <limits>

namespace vantorel {

// ---- method ------------------------------------------------------------------
//
// 1. Normalise. With F = spot*df_q/df_r and x = ln(F/K), the price divided by
//    df_r*sqrt(F*K) is the normalised Black value b(x, s) of total deviation
//    s = vol*sqrt(tau). Put-call parity and b_put(x) = b_call(-x) turn every
//    option into an out-of-the-money call at -|x|: in the money, the
//    normalised intrinsic value 2 sinh(|x|/2) comes off the normalised price.
//    That difference is as good as x is in absolute terms, so ln(spot/strike)
//    is taken with log1p near 1, and ln(spot/strike) + (rate - div_yield)*tau
//    in double-double where its two terms cancel and their rounding would
//    show against the time value. Where spot*df_q or strike*df_r leaves the
//    normal range, or a discount factor is subnormal, the bounds are compared
//    in wide form (m 2^e, below); the normalised price is kept in that form,
//    its logarithm exact, where it falls below the smallest double. Near the
//    money with a tiny price (|x| and beta below 2^-40) b is homogeneous,
//    b(2^k x, 2^k s) = 2^k b(x, s) to far below the rounding, and the problem
//    is solved at the scale 2^-40.
// 2. Evaluate b(x, s), x <= 0, without cancellation. With h = x/s, t = s/2,
//    E = -(h^2 + t^2)/2, Y(z) = N(z)/n(z) = sqrt(pi/2) erfcx(-z/sqrt 2),
//    a1 = -(h+t)/sqrt 2 and a2 = (t-h)/sqrt 2 > 0:
//      t < series_t, |x|/2 < series_half_x:  b = sqrt(2/pi) e^E times the sum
//          over odd k of Y^(k)(h) t^k/k!  (Y' = 1 + zY, Y^(k+1) = z Y^(k) + k Y^(k-1));
//          a difference of two tails would lose about |h|/t of its digits here;
//      a1 >= -1:  b = e^E (erfcx(a1) - erfcx(a2))/2, erfcx(a1 < 0) being
//          2 e^(a1^2) - erfcx(-a1);
//      a1 < -1:   b = e^(x/2) - e^E (erfcx(-a1) + erfcx(a2))/2.
//    b is carried as e^E*m, so ln b stays right where b itself would leave the
//    double range, and the vega b' = e^E/sqrt(2 pi) costs no exponential.
// 3. Solve. b is convex below the inflection point s_c = sqrt(2|x|), where
//    b_c = e^(x/2) (1 - erfcx(sqrt|x|))/2, and concave above it. Objectives,
//    each increasing in s:
//      beta < b_c:               1/ln beta - 1/ln b(s)  (close to linear in s^2);
//      b_c <= beta < e^(x/2)/2:  ln b(s) - ln beta;
//      above:                    ln(e^(x/2) - beta) - ln(e^(x/2) - b(s)), the
//                                complement evaluated as two positive tails.
//    Initial guesses: below b_c from a model of ln b (lowest_guess); in the
//    middle Newton's step from s_c; above from ln(e^(x/2) - b) ~ -s^2/8.
//    Steps are Householder's third-order (quartic convergence) on the
//    analytic derivatives
//      b''/b' = h^2/s - t/2,  b'''/b' = (b''/b')^2 - 3 h^2/s^2 - 1/4,
//    inside a bracket that each evaluation narrows; a step leaving it bisects
//    instead. Iteration stops after a step below tolerance = 1e-4 relative,
//    whose result is then within about 1e-16 of the root; a solve that has
//    not stopped after max_iterations gives NaN.
// Error bounds, measured against mpmath (bench/implied_vol.py, including a
// grid over the whole double range): erfcx within 2 units in the last place;
// b within 2 for |h| <= 2 and about h^2 beyond (the rounding of E, which the
// solver adds back where |E| > 32), where a relative error in b moves s by
// about 1/h^2 of it; the vol within a few units in the last place wherever
// vega*vol >= 1e-3*price. Where ln(spot/strike) and the carry cancel, x is
// known to about 1e-29 |ln(spot/strike)|, which moves ln b by that times
// (1 + |x|/s)/s: beyond those figures only for s under about 1e-14 after a
// cancellation of hundreds.
// Steps 1 to 3 are written once over the number type
// (implied_vol_kernels.hpp): this file's implied_vol is their double
// instance plus the wide and scaled forms of step 1, and the array loops run
// packs of SIMD lanes in lockstep (implied_vol_lanes.cpp), with the same bits.
// Their exponentials and logarithms are exp_log_kernels.hpp's (within about
// an ulp) and ln(1 + u) is u ln(w)/(w - 1), so a lane calls libm only for
// expm1.

namespace {

using iv_kernels::inf;
using iv_kernels::nan;


// exp(y*y) for |y| < 26.7, split as exp(a*a)*exp(d): a = y rounded to float, so
// that a*a is exact, and d = (y - a)*(y + a) < 1e-4 from its Taylor polynomial.
double exp_square(double y) noexcept {
    const double a = static_cast<double>(static_cast<float>(y));
    const double d = (y - a) * (y + a);
    return std::exp(a * a) * (1.0 + d * (1.0 + d * (0.5 + d * (1.0 / 6 + d * (1.0 / 24)))));
}

// ---- double-double arithmetic for ln(F/K) ------------------------------------
//
// Where ln(spot/strike) and (rate - div_yield)*tau nearly cancel, their sum
// ln(F/K) needs both to well beyond double precision: a deep in-the-money
// option's time value is the small difference of its price and intrinsic value,
// which is the small difference of those two. A value hi + lo with |lo| at most
// half an ulp of hi carries about 106 bits.

struct DoubleDouble {
    double hi;
    double lo;
};

constexpr double ln2_hi = 0.6931471805599453;     // the double nearest ln 2
constexpr double ln2_lo = 2.3190468138462996e-17;  // ln 2 - ln2_hi

DoubleDouble quick_two_sum(double a, double b) noexcept {  // |a| >= |b|
    const double s = a + b;
    return {s, b - (s - a)};
}

DoubleDouble two_sum(double a, double b) noexcept {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

DoubleDouble two_prod(double a, double b) noexcept {
    const double p = a * b;
    return {p, std::fma(a, b, -p)};
}

DoubleDouble dd_add(DoubleDouble a, DoubleDouble b) noexcept {
    const DoubleDouble s = two_sum(a.hi, b.hi);
    return quick_two_sum(s.hi, s.lo + (a.lo + b.lo));
}

DoubleDouble dd_mul(DoubleDouble a, DoubleDouble b) noexcept {
    const DoubleDouble p = two_prod(a.hi, b.hi);
    return quick_two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

DoubleDouble dd_div(DoubleDouble a, double n) noexcept {
    const double q = a.hi / n;
    const double r = std::fma(-q, n, a.hi) + a.lo;
    return quick_two_sum(q, r / n);
}

// e^a to about 1e-30 relative for |a| < 700: a = k ln 2 + f with ln 2 in two
// parts and |f| <= 0.35, then the Taylor series of e^f to f^19/19! (the
// remainder is below 1e-27 of the sum) by Horner's rule.
DoubleDouble dd_exp(double a) noexcept {
    const double k = std::nearbyint(a / ln2_hi);
    const DoubleDouble k_ln2 = two_prod(k, ln2_hi);
    const DoubleDouble f = dd_add(two_sum(a, -k_ln2.hi), DoubleDouble{-k_ln2.lo - k * ln2_lo, 0.0});
    DoubleDouble sum{1.0, 0.0};
    for (int n = 19; n >= 1; --n) sum = dd_add(DoubleDouble{1.0, 0.0}, dd_div(dd_mul(sum, f), n));
    const int e = static_cast<int>(k);
    return {std::ldexp(sum.hi, e), std::ldexp(sum.lo, e)};
}

// ---- wide numbers for quantities beyond the double range ---------------------
//
// A value m 2^e with m in [0.5, 1) (or 0, with an exponent below every other):
// spot*df_q, strike*df_r, the bounds and the normalised price keep 53 bits
// where their double forms would overflow, underflow or turn subnormal. Each
// operation rounds once, like its double counterpart, and gives the same
// value wherever that is a normal double. An ordinary double rides along as
// {v, 0}, unnormalised, which to_double and wide_log take as it is.

struct Wide {
    double m;
    int e;
};

constexpr int wide_zero_exponent = -100000;
constexpr double ln2_int_hi = 0.6931471803691238;    // 0x1.62e42feep-1: e*ln2_int_hi exact for |e| < 2^21
constexpr double ln2_int_lo = 1.9082149292705877e-10;  // ln 2 - ln2_int_hi

// The exponent and mantissa are read and written as bits (frexp and ldexp
// cost a call each): 2^k from its bits for -1022 <= k <= 1023.
double pow2(int k) noexcept {
    return std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
}

// Whether v is a normal double, from its exponent bits (one compare, no branch).
bool is_normal(double v) noexcept {
    return ((std::bit_cast<std::uint64_t>(v) >> 52) & 0x7ff) - 1 < 0x7fe;
}

// v as m 2^e; v finite. A subnormal v is first scaled by 2^64, exactly.
Wide wide(double v) noexcept {
    const bool tiny = std::fabs(v) < 0x1p-1022;
    const double u = tiny ? v * 0x1p64 : v;
    const auto bits = std::bit_cast<std::uint64_t>(u);
    const int e = static_cast<int>((bits >> 52) & 0x7ff) - 1022 - (tiny ? 64 : 0);
    const double m = std::bit_cast<double>((bits & 0x800fffffffffffffULL) | 0x3fe0000000000000ULL);
    return u == 0 ? Wide{0.0, wide_zero_exponent} : Wide{m, e};
}

// m 2^e as a double, rounded once: the first factor keeps m 2^e1 normal and
// exact, the second rounds (to a subnormal, 0 or inf where the value is there).
[[gnu::noinline]] double scaled_to_double(Wide a) noexcept {
    const int e1 = std::clamp(a.e, -1000, 1000);
    const int e2 = std::clamp(a.e - e1, -1022, 1023);
    return a.m * pow2(e1) * pow2(e2);
}

inline double to_double(Wide a) noexcept {
    return a.e == 0 ? a.m : scaled_to_double(a);  // e = 0: an ordinary double carried as it is
}

// m 2^e with m any finite double, as a wide number with its mantissa in [0.5, 1).
Wide normalised(double m, int e) noexcept {
    Wide n = wide(m);
    n.e += e;
    return n;
}

Wide wide_mul(Wide a, Wide b) noexcept { return normalised(a.m * b.m, a.e + b.e); }

// a - b, rounded once; its sign and whether it is zero are exact.
Wide wide_sub(Wide a, Wide b) noexcept {
    const int e = std::max(a.e, b.e);
    return normalised(to_double({a.m, a.e - e}) - to_double({b.m, b.e - e}), e);
}

Wide wide_div(Wide a, Wide b) noexcept { return normalised(a.m / b.m, a.e - b.e); }

// sqrt(a*b), for a, b > 0.
Wide wide_sqrt_mul(Wide a, Wide b) noexcept {
    const int e = a.e + b.e;
    const int odd = e & 1;
    return normalised(std::sqrt(a.m * b.m * (odd ? 2.0 : 1.0)), (e - odd) / 2);
}

// e^a, given df = exp(a) in double (a positive finite double): df itself
// where it is normal, so that products with it have the bits of the double
// expression; below, 2^k e^(a - k ln 2) keeps the digits a subnormal df loses.
Wide wide_exp(double a, double df) noexcept {
    if (std::isnormal(df)) return wide(df);
    const double k = std::nearbyint(a / ln2_int_hi);
    return normalised(std::exp((a - k * ln2_int_hi) - k * ln2_int_lo), static_cast<int>(k));
}

// ln(m 2^e) for m > 0 in two parts, to about an ulp of log(m).
DoubleDouble wide_log(Wide a) noexcept {
    if (a.e == 0) return {std::log(a.m), 0.0};
    return quick_two_sum(a.e * ln2_int_hi, std::log(a.m) + a.e * ln2_int_lo);
}

// The bounds compared on wide forms, which have the bits of the double
// expressions where those are normal: verdict 0.0 on the lower bound, +inf on
// the upper, NaN outside them, and -1 strictly between, with the normalised
// price.
struct WideBounds {
    double verdict;
    Wide price_n;
};

[[gnu::noinline]] WideBounds wide_bounds(double price, double spot, double strike, double ln_df_q, double df_q,
                                         double ln_df_r, double df_r, double chi) noexcept {
    const Wide fwd_spot = wide_mul(wide(spot), wide_exp(ln_df_q, df_q));
    const Wide pv_strike = wide_mul(wide(strike), wide_exp(ln_df_r, df_r));
    const Wide upper = chi > 0 ? fwd_spot : pv_strike;
    const Wide intrinsic = wide_sub(upper, chi > 0 ? pv_strike : fwd_spot);
    const Wide lower = intrinsic.m > 0 ? intrinsic : Wide{0.0, wide_zero_exponent};
    const Wide p = wide(price);
    const double above_lower = wide_sub(p, lower).m;
    const double below_upper = wide_sub(upper, p).m;
    if (above_lower == 0) return {0.0, p};
    if (below_upper == 0) return {inf, p};
    if (!(above_lower > 0 && below_upper > 0)) return {nan, p};
    return {-1.0, wide_div(p, wide_sqrt_mul(fwd_spot, pv_strike))};
}

// ln(spot/strike) + (rate - div_yield)*tau, for spot, strike > 0. With
// spot = m_s 2^e_s and strike = m_k 2^e_k, ln(spot/strike) is (e_s - e_k) ln 2
// plus the logarithm of the ratio r = m_s/m_k in (0.5, 2), taken in two parts
// as l + (r e^-l - 1) with l = log(r), one Newton step that needs r e^-l only
// to double precision beyond its leading 1.
[[gnu::noinline]] double ln_moneyness_exact(double spot, double strike, double rate, double div_yield,
                                            double tau) noexcept {
    const Wide s = wide(spot);
    const Wide k = wide(strike);
    const double r_hi = s.m / k.m;
    const DoubleDouble ratio{r_hi, std::fma(-r_hi, k.m, s.m) / k.m};
    const double l = std::log(r_hi);
    const DoubleDouble p = dd_mul(ratio, dd_exp(-l));
    const double n = s.e - k.e;
    DoubleDouble n_ln2 = two_prod(n, ln2_hi);
    n_ln2.lo += n * ln2_lo;
    const DoubleDouble ln_ratio = dd_add(n_ln2, quick_two_sum(l, (p.hi - 1.0) + p.lo));
    const DoubleDouble carry = two_sum(rate, -div_yield);
    DoubleDouble drift = two_prod(carry.hi, tau);
    drift.lo += carry.lo * tau;
    const DoubleDouble x = dd_add(ln_ratio, drift);
    return x.hi + x.lo;
}

}  // namespace

double erfcx(double y) noexcept {
    if (std::isnan(y)) return y;
    if (y >= 0) return iv_kernels::erfcx_nonneg(y);
    if (y < -26.7) return inf;
    return 2.0 * exp_square(y) - iv_kernels::erfcx_nonneg(-y);
}

double normalised_black(double x, double s) noexcept {
    const double h = x / s;
    const double t = 0.5 * s;
    const bool series = iv_kernels::by_series(h, t);
    const auto tl = series ? iv_kernels::Tails<double>{} : iv_kernels::tails(h, t);
    const double ea = series ? 0.0 : iv_kernels::tails_exp(tl, true, false);
    const auto v = iv_kernels::black_scaled(std::exp(0.5 * x), h, t, true, tl, ea);
    const double half = std::exp(0.5 * v.e);  // e^e itself may underflow where b does not
    return (half * v.m) * half;
}

double normalised_implied_std_dev(double x, double beta, double ln_beta) noexcept {
    return iv_kernels::solve(x, std::exp(0.5 * x), beta, ln_beta, 0.0, true);
}

// Step 1 in full, with the wide and scaled forms: for the options the common
// path (iv_kernels::implied_vol) leaves.
ImpliedVolProblem implied_vol_problem(double price, double spot, double strike, double rate, double div_yield,
                                      double tau, PutCallFlag pc_flag) noexcept {
    ImpliedVolProblem r{false, nan, 0.0, 0.0, 0.0, 0.0, 0.0};
    const auto answer = [&r](double v) noexcept {
        r.result = v;
        return r;
    };
    if (!(std::isfinite(price) && std::isfinite(spot) && std::isfinite(strike) &&
          std::isfinite(rate) && std::isfinite(div_yield) && std::isfinite(tau))) {
        return answer(nan);
    }
    if (!(tau > 0) || spot < 0 || strike < 0) return answer(nan);
    const double ln_df_q = -div_yield * tau;
    const double ln_df_r = -rate * tau;
    const double df_q = std::exp(ln_df_q);
    const double df_r = std::exp(ln_df_r);
    const double chi = sign(pc_flag);
    const double fwd_spot = spot * df_q;
    const double pv_strike = strike * df_r;
    // The normalised price, price/sqrt(spot*df_q * strike*df_r) = price/(df_r sqrt(F K)),
    // in wide form (its mantissa not necessarily in [0.5, 1)): out of the money
    // it may lie far below the smallest double.
    Wide price_n;
    if (is_normal(fwd_spot) & is_normal(pv_strike) & is_normal(df_q) & is_normal(df_r)) {
        const double lower = std::max(chi * (fwd_spot - pv_strike), 0.0);
        const double upper = chi > 0 ? fwd_spot : pv_strike;
        if (price == lower) return answer(0.0);
        if (price == upper) return answer(inf);
        if (!(price > lower && price < upper)) return answer(nan);
        const double norm = std::sqrt(fwd_spot) * std::sqrt(pv_strike);
        price_n = {price / norm, 0};
        if (!is_normal(price_n.m)) price_n = wide_div(wide(price), wide(norm));
    } else {
        // A discount factor or a product subnormal, or a product overflowing.
        // A discount factor that is not a positive finite double has no meaning.
        if (!(df_q > 0 && df_q < inf && df_r > 0 && df_r < inf)) return answer(nan);
        const WideBounds w = wide_bounds(price, spot, strike, ln_df_q, df_q, ln_df_r, df_r, chi);
        if (w.verdict >= 0 || std::isnan(w.verdict)) return answer(w.verdict);
        price_n = w.price_n;
    }

    const double ln_ratio = iv_kernels::ln_ratio(spot, strike, true);
    // In the money, the normalised intrinsic value e^(|x|/2) - e^(-|x|/2) comes
    // off the normalised price: accurate to its own last digits, where
    // spot*df_q - strike*df_r carries the rounding of both terms. The price is
    // then at most e^(|x|/2) with |x| < 37 (wider, the bounds hold no double
    // strictly between them), so its normalised value is an ordinary double.
    // Gives the normalised out-of-the-money price, 0 or less where the price is
    // within rounding of the intrinsic value.
    // One expm1 gives both e^(-|x|/2) and 2 sinh(|x|/2) = em (1 + e^(-|x|/2)),
    // em = e^(|x|/2) - 1, without cancellation.
    double ex;
    const auto otm_price = [&](double ln_moneyness) noexcept {
        const double em = std::expm1(0.5 * std::fabs(ln_moneyness));
        ex = 1.0 / (1.0 + em);
        return chi * ln_moneyness > 0 ? Wide{to_double(price_n) - (em + em * ex), 0} : price_n;
    };
    double ln_moneyness = ln_ratio + (rate - div_yield) * tau;
    Wide beta = otm_price(ln_moneyness);
    // ln(F/K) carries an error of about an ulp of ln(spot/strike); where the two
    // terms cancel and that error is not far below the (time) value, it is
    // taken again in double-double.
    if (std::fabs(ln_moneyness) < 0.5 * std::fabs(ln_ratio) &&
        std::fabs(ln_ratio) * 0x1p-52 > 1e-14 * to_double(beta)) {
        ln_moneyness = ln_moneyness_exact(spot, strike, rate, div_yield, tau);
        beta = otm_price(ln_moneyness);
    }
    if (!(beta.m > 0)) return answer(0.0);
    // e^(x/2) below the normal range (|ln(F/K)| > 1416): the normalised value
    // would have no digits to solve on.
    if (!(ex >= std::numeric_limits<double>::min())) return answer(nan);
    double x = -std::fabs(ln_moneyness);
    // Near the money with a tiny price, s and |x| are both tiny and b(x, s) is
    // s B(x/s) to far below the rounding (B the normalised Bachelier value), so
    // b(2^k x, 2^k s) = 2^k b(x, s): the problem is solved at the scale 2^-40
    // and the answer scaled back, exactly, by 2^-k.
    int k = 0;
    double beta_d = to_double(beta);
    if (std::fabs(x) < 0x1p-40 && beta_d < 0x1p-40) {
        beta = normalised(beta.m, beta.e);
        k = -40 - (x == 0 ? beta.e : std::max(std::ilogb(x) + 1, beta.e));  // ilogb(0) raises invalid
        x = std::ldexp(x, k);
        beta.e += k;
        ex = std::exp(0.5 * x);
        beta_d = to_double(beta);
    }
    const DoubleDouble ln_beta = wide_log(beta);
    if (k == 0) return {true, nan, x, ex, beta_d, ln_beta.hi, ln_beta.lo};
    const double s = iv_kernels::solve(x, ex, beta_d, ln_beta.hi, ln_beta.lo, true);
    return answer(std::ldexp(s / std::sqrt(tau), -k));
}

namespace {

// implied_vol in full: for the options the common path leaves.
[[gnu::noinline]] double implied_vol_rare(double price, double spot, double strike, double rate,
                                          double div_yield, double tau, PutCallFlag pc_flag) noexcept {
    const ImpliedVolProblem p = implied_vol_problem(price, spot, strike, rate, div_yield, tau, pc_flag);
    if (!p.to_solve) return p.result;
    return iv_kernels::solve(p.x, p.ex, p.beta, p.ln_beta, p.ln_beta_lo, true) / std::sqrt(tau);
}

}  // namespace

double implied_vol(double price, double spot, double strike, double rate, double div_yield,
                   double tau, PutCallFlag pc_flag) noexcept {
    bool rare;
    const double chi = sign(pc_flag);
    const double v = iv_kernels::implied_vol(price, spot, strike, rate, div_yield, tau, chi, rare);
    return rare ? implied_vol_rare(price, spot, strike, rate, div_yield, tau, pc_flag) : v;
}

}  // namespace vantorel
