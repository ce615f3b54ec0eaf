// src/pricers/implied_vol.cpp: implied volatility from the normalised Black function
#include "pricers/implied_vol.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vantorel {

// ---- method ------------------------------------------------------------------
//
// 1. Normalise. With F = spot*df_q/df_r and x = ln(F/K), the price divided by
//    df_r*sqrt(F*K) is the normalised Black value of total deviation
//    s = vol*sqrt(tau). Put-call parity and the symmetry b_put(x) = b_call(-x)
//    turn every option into an out-of-the-money call: x -> -|x|, and the
//    discounted intrinsic value is subtracted from the price first.
// 2. Evaluate b(x, s) (x <= 0) without cancellation, with h = x/s, t = s/2,
//    E = -(h*h + t*t)/2 and Y(z) = N(z)/n(z) = sqrt(pi/2)*erfcx(-z/sqrt 2):
//      small t (below series_t):  b = sqrt(2/pi) e^E sum over odd k of
//          Y^(k)(h) t^k/k!, where Y' = 1 + zY and Y^(k+1) = z Y^(k) + k Y^(k-1);
//          the direct formula would lose about |h|/t digits here;
//      where a tail probability of the direct formula would leave the normal
//          range (E below scaled_e or h - t below -37): b = e^E (erfcx(-(h+t)/sqrt 2)
//          - erfcx(-(h-t)/sqrt 2))/2, which cannot underflow;
//      otherwise the direct formula on libm's erfc.
//    b is carried as e^E*m so that ln b is right where b is below the
//    normal range; the vega b' = e^(-(h*h+t*t)/2)/sqrt(2 pi) then needs no
//    exponential in the first two cases.
// 3. Solve. b is convex below the inflection point s_c = sqrt(2|x|) and
//    concave above it. Below b(s_c) the solver works on ln b(s) - ln beta,
//    above it on ln(e^(x/2) - beta) - ln(e^(x/2) - b(s)), the out-of-the-money
//    complement evaluated as a sum of two positive tails; both are close to
//    linear in s^2 at their far ends. The initial guess interpolates each
//    linearly in s^2 from s_c to the known asymptote (ln b ~ -x^2/(2 s^2) for
//    small s, ln(e^(x/2) - b) ~ -s^2/8 for large s). Steps are Householder's
//    third-order (quartic convergence) on the analytic derivatives
//      b''/b' = h^2/s - t/2,  b'''/b' = (b''/b')^2 - 3 h^2/s^2 - 1/4,
//    kept inside a bracket that each evaluation narrows; a step leaving it
//    bisects instead. Iteration stops after a step below 1e-7 relative, whose
//    result is then already about (1e-7)^4 from the root.
// Error bounds: erfcx here and libm's erfc are within a few units in the last
// place; the direct formula above series_t loses at most a factor of about
// |h|/(2t) <= |h|/(2 series_t), the series about h^2 (from 1 + hY), both only
// where |h| is large, which is also where a relative error in b moves the
// vol by a factor of about 1/h^2 less. The benchmark in bench/ measures the
// result against prices computed in high precision.

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double inv_sqrt_2pi = 0.3989422804014327;  // 1/sqrt(2 pi)
constexpr double sqrt_2_over_pi = 0.7978845608028654;
constexpr double sqrt_pi_over_2 = 1.2533141373155003;
constexpr double inv_sqrt_pi = 0.5641895835477563;
constexpr double inv_sqrt2 = 0.7071067811865476;

constexpr double series_t = 0.2;       // below it (and |x|/2 below series_half_x)
constexpr double series_half_x = 1.0;  // b comes from the series in t
constexpr double deep_tail = -3.0;     // below it in h + t, b comes from erfcx
constexpr double scaled_e = -600.0;   // below it b is e^E times a difference of erfcx
constexpr double tolerance = 1e-7;    // relative size of the last Householder step
constexpr int max_iterations = 60;

// erfcx on [0, inf).
//   [0, 0.5):   exp(y*y)*erfc(y);
//   [0.5, 26):  exp(y*y) split as exp(a*a)*exp(d), a = y rounded to float (so
//               a*a is exact in double) and d = (y - a)*(y + a) < 1e-4, taken
//               from its Taylor polynomial; times erfc(y);
//   [26, inf):  the asymptotic series 1/(y sqrt pi) sum (-1)^n (2n-1)!!/(2y^2)^n,
//               whose ninth term is below 1e-19 there.
double erfcx_nonneg(double y) noexcept {
    if (y < 0.5) return std::exp(y * y) * std::erfc(y);
    if (y < 26.0) {
        const double a = static_cast<double>(static_cast<float>(y));
        const double d = (y - a) * (y + a);
        const double exp_d = 1.0 + d * (1.0 + d * (0.5 + d * (1.0 / 6 + d * (1.0 / 24))));
        return (std::exp(a * a) * exp_d) * std::erfc(y);
    }
    const double z = 0.5 / (y * y);
    double sum = 1.0;
    double term = 1.0;
    for (int n = 1; n <= 8; ++n) {
        term *= -(2 * n - 1) * z;
        sum += term;
    }
    return inv_sqrt_pi / y * sum;
}

// The normal distribution function through libm's erfc: relative accuracy in
// both tails.
double phi_cdf(double z) noexcept {
    return 0.5 * std::erfc(-z * inv_sqrt2);
}

// A positive value e^e * m.
struct Scaled {
    double e;
    double m;
    double log() const noexcept { return e + std::log(m); }
};

// What every evaluation at one x shares.
struct Moneyness {
    double x;      // <= 0
    double ex;     // e^(x/2), the limit of b for large s
    double emx;    // e^(-x/2)
};

// Series in t of b (step 2 of the method), for t < series_t.
Scaled black_series(double h, double t) noexcept {
    const double y = sqrt_pi_over_2 * erfcx_nonneg(-h * inv_sqrt2);  // Y(h), h <= 0
    // u_k = Y^(k)(h) t^k/k! from u_(k+1) = (h t u_k + t^2 u_(k-1))/(k+1).
    const double ht = h * t;
    const double tt = t * t;
    double u_prev = y;
    double u = (1.0 + h * y) * t;
    double sum = u;
    for (int k = 1; k < 60; ++k) {
        const double next = (ht * u + tt * u_prev) / (k + 1);
        u_prev = u;
        u = next;
        if ((k & 1) == 0) {
            sum += u;
            if (std::fabs(u) <= 1e-17 * sum && std::fabs(u_prev) <= 1e-17 * sum) break;
        }
    }
    return {-0.5 * (h * h + t * t), sqrt_2_over_pi * sum};
}

// Whether the direct formulas can be used: neither tail probability nor its
// product with e^(+-x/2) leaves the normal range.
bool direct_in_range(double h, double t, double e) noexcept {
    return h - t >= -37.0 && e >= scaled_e;
}

Scaled black_scaled(const Moneyness& mo, double s) noexcept {
    const double h = mo.x / s;
    const double t = 0.5 * s;
    if (t < series_t && -h * t < series_half_x) return black_series(h, t);
    const double e = -0.5 * (h * h + t * t);
    // Past h + t = 26 the second term is below e^-338 of the first.
    if (h + t >= deep_tail && (direct_in_range(h, t, e) || h + t > 26.0)) {
        return {0.0, mo.ex * phi_cdf(h + t) - mo.emx * phi_cdf(h - t)};
    }
    return {e, 0.5 * (erfcx(-(h + t) * inv_sqrt2) - erfcx((t - h) * inv_sqrt2))};
}

// e^(x/2) - b(x, s) as a sum of two positive tails.
Scaled complement_scaled(const Moneyness& mo, double s) noexcept {
    const double h = mo.x / s;
    const double t = 0.5 * s;
    const double e = -0.5 * (h * h + t * t);
    // Below h + t = -30 the first term is all but the whole of e^(x/2).
    if (direct_in_range(h, t, e) || h + t < -30.0) {
        return {0.0, mo.ex * phi_cdf(-(h + t)) + mo.emx * phi_cdf(h - t)};
    }
    return {e, 0.5 * (erfcx((h + t) * inv_sqrt2) + erfcx((t - h) * inv_sqrt2))};
}

// b'(s)/(e^e * m): the vega of b relative to a value given as e^e * m.
double vega_ratio(double x, double s, const Scaled& v) noexcept {
    const double h = x / s;
    const double t = 0.5 * s;
    const double e = -0.5 * (h * h + t * t);
    const double scale = e == v.e ? 1.0 : std::exp(e - v.e);
    return inv_sqrt_2pi * scale / v.m;
}

// Householder's third-order step for f with f' > 0, given nu = -f/f',
// g = f''/f' and d = f'''/f'.
double householder_step(double nu, double g, double d) noexcept {
    return nu * (1.0 + 0.5 * g * nu) / (1.0 + nu * (g + d * nu * (1.0 / 6)));
}

}  // namespace

double erfcx(double y) noexcept {
    if (std::isnan(y)) return y;
    if (y >= 0) return erfcx_nonneg(y);
    if (y < -26.7) return inf;
    // exp(y*y) split as in erfcx_nonneg.
    const double a = static_cast<double>(static_cast<float>(y));
    const double d = (y - a) * (y + a);
    const double exp_d = 1.0 + d * (1.0 + d * (0.5 + d * (1.0 / 6 + d * (1.0 / 24))));
    return 2.0 * (std::exp(a * a) * exp_d) - erfcx_nonneg(-y);
}

double normalised_black(double x, double s) noexcept {
    const Moneyness mo{x, std::exp(0.5 * x), std::exp(-0.5 * x)};
    const Scaled v = black_scaled(mo, s);
    const double half = std::exp(0.5 * v.e);  // e^e itself may underflow where b does not
    return (half * v.m) * half;
}

// Step 3 of the method. Both objectives increase with s.
double normalised_implied_std_dev(double x, double beta, double ln_beta) noexcept {
    const Moneyness mo{x, std::exp(0.5 * x), std::exp(-0.5 * x)};
    const double s_c = std::sqrt(-2.0 * x);
    double ln_b_c = -inf;  // at x = 0 the whole curve is concave
    if (s_c > 0) ln_b_c = black_scaled(mo, s_c).log();
    // ln b serves up to half the limit e^(x/2) at least; above it the
    // complement e^(x/2) - beta keeps its digits.
    constexpr double ln2 = 0.6931471805599453;
    const bool lower = ln_beta < std::max(ln_b_c, 0.5 * x - ln2);

    double lo = 0;
    double hi = inf;
    double s;
    double ln_c_target = 0;  // ln(e^(x/2) - beta) on the upper branch
    if (ln_beta < ln_b_c) {
        hi = s_c;
        s = s_c * std::sqrt(ln_b_c / ln_beta);
    } else if (lower) {
        // Newton's step from the inflection point, where b' = e^(x/2)/sqrt(2 pi).
        lo = s_c;
        s = s_c + (beta - std::exp(ln_b_c)) * (2.5066282746310002 / mo.ex);
    } else {
        lo = s_c;
        ln_c_target = std::log(mo.ex - beta);
        const double ln_c_c = s_c > 0 ? complement_scaled(mo, s_c).log() : 0.0;
        s = std::sqrt(s_c * s_c + 8.0 * (ln_c_c - ln_c_target));
    }
    if (!(s > lo && s < hi)) s = hi == inf ? 2.0 * lo + 1.0 : 0.5 * (lo + hi);

    for (int i = 0; i < max_iterations; ++i) {
        const double h = x / s;
        const double t = 0.5 * s;
        const double g_b = h * h / s - 0.5 * t;                 // b''/b'
        const double d_b = g_b * g_b - 3.0 * (h * h) / (s * s) - 0.25;  // b'''/b'
        double f;
        double g;
        double d;
        double r;  // f' = b'/b (lower) or b'/(e^(x/2) - b) (upper)
        if (lower) {
            const Scaled v = black_scaled(mo, s);
            f = v.log() - ln_beta;
            r = vega_ratio(x, s, v);
            g = g_b - r;
            d = d_b - 3.0 * r * g_b + 2.0 * r * r;
        } else {
            const Scaled c = complement_scaled(mo, s);
            f = ln_c_target - c.log();
            r = vega_ratio(x, s, c);
            g = g_b + r;
            d = d_b + 3.0 * r * g_b + 2.0 * r * r;
        }
        if (f == 0) return s;
        (f < 0 ? lo : hi) = s;
        const double step = householder_step(-f / r, g, d);
        double next = s + step;
        if (!(next > lo && next < hi)) {
            next = hi == inf ? 2.0 * s : lo > 0 ? std::sqrt(lo * hi) : 0.5 * hi;
            if (!(next > lo && next < hi)) return s;  // the bracket is one ulp wide
        } else if (std::fabs(step) <= tolerance * s) {
            return next;
        }
        s = next;
    }
    return s;
}

double implied_vol(double price, double spot, double strike, double rate, double div_yield,
                   double tau, PutCallFlag pc_flag) noexcept {
    if (!(std::isfinite(price) && std::isfinite(spot) && std::isfinite(strike) &&
          std::isfinite(rate) && std::isfinite(div_yield) && std::isfinite(tau))) {
        return nan;
    }
    if (!(tau > 0) || spot < 0 || strike < 0) return nan;
    const double chi = sign(pc_flag);
    const double fwd_spot = spot * std::exp(-div_yield * tau);   // spot*df_q
    const double pv_strike = strike * std::exp(-rate * tau);     // strike*df_r
    const double lower = std::max(chi * (fwd_spot - pv_strike), 0.0);
    const double upper = chi > 0 ? fwd_spot : pv_strike;
    if (price == lower) return 0.0;
    if (price == upper) return inf;
    if (!(price > lower && price < upper)) return nan;

    // ln(F/K); the ratio keeps one rounding unless it leaves the normal range.
    const double ratio = spot / strike;
    const double ln_moneyness =
        (std::isnormal(ratio) ? std::log(ratio) : std::log(spot) - std::log(strike)) +
        (rate - div_yield) * tau;
    const double x = -std::fabs(ln_moneyness);
    const double time_value = price - lower;
    const double norm = std::sqrt(fwd_spot) * std::sqrt(pv_strike);
    const double beta = time_value / norm;
    const double ln_beta = std::log(time_value) - std::log(norm);
    if (!(beta < std::exp(0.5 * x))) return inf;  // rounded onto the upper bound
    return normalised_implied_std_dev(x, beta, ln_beta) / std::sqrt(tau);
}

}  // namespace vantorel
