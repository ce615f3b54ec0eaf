// src/pricers/black_scholes_kernels.hpp: the Black-Scholes-Merton formulas over the number type (double or SIMD pack)
#pragma once

#include "core/lanes.hpp"
#include "maths/functions/err_kernels.hpp"

// Each formula is written once here. The scalar calls (black_scholes.cpp)
// instantiate it with double, the array loops with a pack of lanes; branches
// on the inputs are per-lane selects (see core/lanes.hpp), so a lane gives
// the scalar's bits. chi is +1 for a call and -1 for a put.
namespace vantorel::bs_kernels {

using lanes::mask_and;
using lanes::mask_not;
using lanes::mask_or;
using lanes::select;
using lanes::set;
using lanes::splat;
using lanes::when;

inline constexpr double inf = __builtin_inf();

// The inputs turned into what the kernels consume. `tau` is the effective
// year fraction (0 for an expired option).
template <class T>
struct Prepared {
    T chi, df_r, df_q, d1, d2, tau, sqrt_tau;
};

template <class T>
struct Metrics {
    T npv, delta, gamma, vega, theta, rho_r, rho_q;
};

// What a computation needs beyond chi, d1 and sqrt_tau, so that each one
// evaluates only its own exponentials.
enum Need : unsigned { need_df_r = 1, need_df_q = 2, need_d2 = 4, need_all = 7 };

// The libm results a price takes from its inputs: exp(-rate*tau),
// exp(-div_yield*tau), ln(spot), ln(strike). Prices whose inputs agree share
// them (the finite differences); given, they are the very values prepare
// would compute.
template <class T>
struct Parts {
    T df_r, df_q, log_spot, log_strike;
};
template <class T>
Parts<T> parts(T spot, T strike, T rate, T div_yield, T tau) noexcept {
    const auto r = lanes::each(
        [](double neg_rate_tau, double neg_div_tau, double s, double k) noexcept {
            return std::array{lanes::exp(neg_rate_tau), lanes::exp(neg_div_tau), lanes::log(s), lanes::log(k)};
        },
        -rate * tau, -div_yield * tau, spot, strike);
    return {r[0], r[1], r[2], r[3]};
}

// Ordered comparisons: a NaN input is not rejected.
template <class T>
auto valid(T spot, T strike, T vol) noexcept {
    return mask_not(mask_or(strike < 0.0, mask_or(spot < 0.0, vol < 0.0)));
}

// Exactly one case applies, tested in this order:
//   1. expired (tau < 0): d1 = d2 = -inf*chi, both discount factors 0;
//   2. at expiry (tau == 0): d1 = d2 = 0, +inf or -inf as spot is at, above or
//      below the strike; discount factors 1;
//   3. running (tau > 0 or NaN): with vol == 0 the sign of forward - strike
//      decides d1 = d2 as in 2.; otherwise the usual d1 and d2 = d1 - vol*sqrt(tau).
//
// With given parts, these replace the exponentials and logarithms.
template <unsigned N, class T>
Prepared<T> prepare(T spot, T strike, T rate, T div_yield, T tau, T chi, T vol,
                    const Parts<T>* given = nullptr) noexcept {
    const T zero = splat<T>(0.0);
    Prepared<T> p{chi, zero, zero, zero, zero, zero, zero};
    const auto expired = tau < 0.0;
    const auto at_expiry = tau == 0.0;
    const T sign_of_gap = select(spot == strike, 0.0, select(spot > strike, inf, -inf));
    set(expired, p.d1, -inf * chi);
    set(at_expiry, p.d1, sign_of_gap);
    set(at_expiry, p.df_r, 1.0);
    set(at_expiry, p.df_q, 1.0);
    p.d2 = p.d1;
    const auto running = mask_not(mask_or(expired, at_expiry));
    when(running, [&] {
        const T sqrt_tau = lanes::sqrt(tau);
        set(running, p.tau, tau);
        set(running, p.sqrt_tau, sqrt_tau);
        const auto flat = mask_and(running, vol == 0.0);
        when(flat, [&] {
            const T df_r = given ? given->df_r : lanes::exp(-rate * tau);
            const T df_q = given ? given->df_q : lanes::exp(-div_yield * tau);
            const T forward = (df_q * spot) / df_r;  // NaN falls to -inf
            const T d = select(forward == strike, 0.0, select(forward > strike, inf, -inf));
            set(flat, p.df_r, df_r);
            set(flat, p.df_q, df_q);
            set(flat, p.d1, d);
            set(flat, p.d2, d);
        });
        const auto live = mask_and(running, mask_not(vol == 0.0));
        when(live, [&] {
            // Where all four libm results are needed, one pass over the lanes computes them.
            Parts<T> own{};
            if constexpr (N == need_all) {
                if (given == nullptr) {
                    own = parts(spot, strike, rate, div_yield, tau);
                    given = &own;
                }
            }
            if constexpr ((N & need_df_r) != 0) set(live, p.df_r, given ? given->df_r : lanes::exp(-rate * tau));
            if constexpr ((N & need_df_q) != 0) set(live, p.df_q, given ? given->df_q : lanes::exp(-div_yield * tau));
            // ln(spot) - ln(strike), not ln(spot/strike): a zero strike gives d1 = +inf.
            const T log_gap = given ? given->log_spot - given->log_strike : lanes::log(spot) - lanes::log(strike);
            const T s = sqrt_tau * vol;
            const T d1 = ((0.5 * vol * vol + (rate - div_yield)) * tau + log_gap) / s;
            set(live, p.d1, d1);
            if constexpr ((N & need_d2) != 0) set(live, p.d2, d1 - s);
        });
    });
    return p;
}

// ---- normal distribution -------------------------------------------------------

// (erf(x/sqrt 2) + 1)/2, with the special values erf would give anyway.
template <class T>
T norm_cdf(T x) noexcept {
    const T y = x * 0.7071067811865476;  // the double nearest 1/sqrt(2)
    const T r = (err_kernels::erf_impl(y, false) + 1.0) * 0.5;
    return select(y != y, y, select(y == inf, 1.0, select(y == -inf, 0.0, select(y == 0.0, 0.5, r))));
}

template <class T>
T norm_pdf(T x) noexcept {
    return lanes::exp((-0.5 * x) * x) * 0.3989422804014327;  // the double nearest 1/sqrt(2 pi)
}

// ---- kernels: prepared quantities in, result out ----------------------------------

template <class T>
T npv_impl(T spot, T strike, T chi, T df_r, T df_q, T cdf_d1, T cdf_d2) noexcept {
    return chi * ((spot * df_q) * cdf_d1 - (strike * df_r) * cdf_d2);
}

template <class T>
T delta_impl(T chi, T df_q, T cdf_d1) noexcept {
    return (chi * df_q) * cdf_d1;
}

// With no spread of the distribution (vol or time zero; NaN counts as non-zero)
// gamma is infinite exactly at the money, where the density is positive, and
// zero elsewhere.
template <class T>
T gamma_impl(T spot, T vol, T sqrt_tau, T df_q, T pdf_d1) noexcept {
    return select(mask_and(vol != 0.0, sqrt_tau != 0.0), (df_q * pdf_d1) / ((spot * vol) * sqrt_tau),
                  select(pdf_d1 > 0.0, inf, 0.0));
}

template <class T>
T vega_impl(T spot, T sqrt_tau, T df_q, T pdf_d1) noexcept {
    return sqrt_tau * (spot * (df_q * pdf_d1));
}

// -dV/dtau = -df_q*S*phi(d1)*vol/(2 sqrt(tau)) - chi*r*K*df_r*N(chi d2)
//            + chi*q*S*df_q*N(chi d1); zero once no time is left.
template <class T>
T theta_impl(T spot, T strike, T rate, T div_yield, T vol, T chi, T sqrt_tau, T df_r, T df_q, T pdf_d1,
             T cdf_d1, T cdf_d2) noexcept {
    const T rate_term = cdf_d2 * (strike * (rate * (-chi * df_r)));
    const T density_term = (vol * ((df_q * spot) * pdf_d1)) / (sqrt_tau * 2.0);
    const T dividend_term = cdf_d1 * (spot * (div_yield * (df_q * chi)));
    return select(sqrt_tau == 0.0, 0.0, (rate_term - density_term) + dividend_term);
}

template <class T>
T rho_r_impl(T strike, T chi, T tau, T df_r, T cdf_d2) noexcept {
    return strike * chi * tau * df_r * cdf_d2;
}

template <class T>
T rho_q_impl(T spot, T chi, T tau, T df_q, T cdf_d1) noexcept {
    return spot * (-chi) * tau * df_q * cdf_d1;
}

// ---- computations of inputs already validated ----------------------------------------

template <class T>
T npv_given(T spot, T strike, T rate, T div_yield, T tau, T chi, T vol, const Parts<T>* given) noexcept {
    const auto p = prepare<need_all>(spot, strike, rate, div_yield, tau, chi, vol, given);
    return npv_impl(spot, strike, p.chi, p.df_r, p.df_q, norm_cdf(p.d1 * p.chi), norm_cdf(p.d2 * p.chi));
}

template <class T>
T npv(T spot, T strike, T rate, T div_yield, T tau, T chi, T vol) noexcept {
    return npv_given<T>(spot, strike, rate, div_yield, tau, chi, vol, nullptr);
}

template <class T>
T delta(T spot, T strike, T rate, T div_yield, T tau, T chi, T vol) noexcept {
    const auto p = prepare<need_df_q>(spot, strike, rate, div_yield, tau, chi, vol);
    return delta_impl(p.chi, p.df_q, norm_cdf(p.d1 * p.chi));
}

template <class T>
T gamma(T spot, T strike, T rate, T div_yield, T tau, T chi, T vol) noexcept {
    const auto p = prepare<need_df_q>(spot, strike, rate, div_yield, tau, chi, vol);
    return gamma_impl(spot, vol, p.sqrt_tau, p.df_q, norm_pdf(p.d1));
}

template <class T>
T vega(T spot, T strike, T rate, T div_yield, T tau, T chi, T vol) noexcept {
    const auto p = prepare<need_df_q>(spot, strike, rate, div_yield, tau, chi, vol);
    return vega_impl(spot, p.sqrt_tau, p.df_q, norm_pdf(p.d1));
}

template <class T>
T theta(T spot, T strike, T rate, T div_yield, T tau, T chi, T vol) noexcept {
    const auto p = prepare<need_all>(spot, strike, rate, div_yield, tau, chi, vol);
    return theta_impl(spot, strike, rate, div_yield, vol, p.chi, p.sqrt_tau, p.df_r, p.df_q, norm_pdf(p.d1),
                      norm_cdf(p.d1 * p.chi), norm_cdf(p.d2 * p.chi));
}

template <class T>
T rho_r(T spot, T strike, T rate, T div_yield, T tau, T chi, T vol) noexcept {
    const auto p = prepare<need_df_r | need_d2>(spot, strike, rate, div_yield, tau, chi, vol);
    return rho_r_impl(strike, p.chi, p.tau, p.df_r, norm_cdf(p.d2 * p.chi));
}

template <class T>
T rho_q(T spot, T strike, T rate, T div_yield, T tau, T chi, T vol) noexcept {
    const auto p = prepare<need_df_q>(spot, strike, rate, div_yield, tau, chi, vol);
    return rho_q_impl(spot, p.chi, p.tau, p.df_q, norm_cdf(p.d1 * p.chi));
}

// All seven in closed form from one preparation.
template <class T>
Metrics<T> metrics(T spot, T strike, T rate, T div_yield, T tau, T chi, T vol) noexcept {
    const auto p = prepare<need_all>(spot, strike, rate, div_yield, tau, chi, vol);
    const T cdf_d1 = norm_cdf(p.d1 * p.chi);
    const T cdf_d2 = norm_cdf(p.d2 * p.chi);
    const T pdf_d1 = norm_pdf(p.d1);
    return {
        npv_impl(spot, strike, p.chi, p.df_r, p.df_q, cdf_d1, cdf_d2),
        delta_impl(p.chi, p.df_q, cdf_d1),
        gamma_impl(spot, vol, p.sqrt_tau, p.df_q, pdf_d1),
        vega_impl(spot, p.sqrt_tau, p.df_q, pdf_d1),
        theta_impl(spot, strike, rate, div_yield, vol, p.chi, p.sqrt_tau, p.df_r, p.df_q, pdf_d1, cdf_d1, cdf_d2),
        rho_r_impl(strike, p.chi, p.tau, p.df_r, cdf_d2),
        rho_q_impl(spot, p.chi, p.tau, p.df_q, cdf_d1),
    };
}

// Finite differences of the closed-form value P, one input bumped at a time
// (eleven prices; the two spot bumps serve delta and gamma):
//   vega:   forward difference with 0.0001 up to vol 0.001, else central with
//           h = vol*0.001;
//   theta:  0 below one day to expiry, else central over one day each side;
//   delta, gamma: central with h = 0.0005*spot;
//   rho_r, rho_q: central with h = 0.001*rate (0.001*div_yield).
// Relative bumps vanish at a zero input. A rate or dividend yield of 0 (a
// common case) then takes the fixed bump 0.0001 instead, both sides being
// valid inputs. A zero spot cannot be bumped downwards; there the value is
// linear in spot (zero is absorbing for the asset), so delta is the closed
// form's and gamma is 0. Bumped inputs stay valid: spot - h_s and vol - h are
// never negative.
template <class T>
Metrics<T> metrics_fd(T spot, T strike, T rate, T div_yield, T tau, T chi, T vol) noexcept {
    // Each price takes the libm results of the inputs it shares with others.
    const auto price = [&](T s, T r, T q, T t, T v, const Parts<T>& given) {
        return npv_given(s, strike, r, q, t, chi, v, &given);
    };
    constexpr double one_day = 0.0027397260273972603;  // 1/365
    constexpr double two_days = 0.005479452054794521;  // 2/365
    const T zero = splat<T>(0.0);
    Metrics<T> m{zero, zero, zero, zero, zero, zero, zero};

    // The bumped inputs, and the libm results of all eleven prices in one pass
    // over the lanes: ten exponentials and four logarithms, no two of the same
    // argument. Those of a branch no lane takes are computed and dropped.
    const T earlier = -one_day + tau, later = one_day + tau;
    const T h_s = 0.0005 * spot;
    const T s_up = h_s + spot, s_down = spot - h_s;
    T d_r = rate * 0.001;
    d_r = select(d_r == 0.0, 0.0001, d_r);
    const T r_up = d_r + rate, r_down = rate - d_r;
    T d_q = 0.001 * div_yield;
    d_q = select(d_q == 0.0, 0.0001, d_q);
    const T q_up = d_q + div_yield, q_down = div_yield - d_q;
    const auto e = lanes::each(
        [](double r_t, double q_t, double r_e, double q_e, double r_l, double q_l, double ru_t, double rd_t,
           double qu_t, double qd_t, double s, double k, double su, double sd) noexcept {
            using lanes::exp, lanes::log;
            return std::array{exp(r_t),  exp(q_t),  exp(r_e), exp(q_e), exp(r_l), exp(q_l), exp(ru_t),
                              exp(rd_t), exp(qu_t), exp(qd_t), log(s),  log(k),   log(su),  log(sd)};
        },
        -rate * tau, -div_yield * tau, -rate * earlier, -div_yield * earlier, -rate * later, -div_yield * later,
        -r_up * tau, -r_down * tau, -q_up * tau, -q_down * tau, spot, strike, s_up, s_down);
    const Parts<T> base{e[0], e[1], e[10], e[11]};
    const T p = price(spot, rate, div_yield, tau, vol, base);
    m.npv = p;

    const auto small_vol = vol <= 0.001;
    when(small_vol, [&] {
        set(small_vol, m.vega, (price(spot, rate, div_yield, tau, 0.0001 + vol, base) - p) / 0.0001);
    });
    const auto central_vol = mask_not(small_vol);
    when(central_vol, [&] {
        const T h = vol * 0.001;
        set(central_vol, m.vega,
            (price(spot, rate, div_yield, tau, h + vol, base) - price(spot, rate, div_yield, tau, vol - h, base)) /
                (h + h));
    });

    const auto day_left = mask_not(tau < one_day);
    when(day_left, [&] {
        const Parts<T> at_earlier{e[2], e[3], base.log_spot, base.log_strike};
        const Parts<T> at_later{e[4], e[5], base.log_spot, base.log_strike};
        set(day_left, m.theta,
            (price(spot, rate, div_yield, earlier, vol, at_earlier) - price(spot, rate, div_yield, later, vol, at_later)) /
                two_days);
    });

    const auto pinned = mask_and(strike == spot, tau == 0.0);
    const auto bumped = h_s != 0.0;
    when(bumped, [&] {
        const T up = price(s_up, rate, div_yield, tau, vol, {base.df_r, base.df_q, e[12], base.log_strike});
        const T down = price(s_down, rate, div_yield, tau, vol, {base.df_r, base.df_q, e[13], base.log_strike});
        set(bumped, m.gamma, select(pinned, inf, (down + (up - (p + p))) / (h_s * h_s)));
        set(bumped, m.delta, (up - down) / (h_s + h_s));
    });
    const auto at_zero = mask_not(bumped);
    when(at_zero, [&] {
        const auto pre = prepare<need_df_q>(spot, strike, rate, div_yield, tau, chi, vol, &base);
        set(at_zero, m.delta, delta_impl(pre.chi, pre.df_q, norm_cdf(pre.d1 * pre.chi)));
        set(at_zero, m.gamma, select(pinned, inf, select(p != p, p, 0.0)));
    });

    m.rho_r = (price(spot, r_up, div_yield, tau, vol, {e[6], base.df_q, base.log_spot, base.log_strike}) -
               price(spot, r_down, div_yield, tau, vol, {e[7], base.df_q, base.log_spot, base.log_strike})) /
              (d_r + d_r);
    m.rho_q = (price(spot, rate, q_up, tau, vol, {base.df_r, e[8], base.log_spot, base.log_strike}) -
               price(spot, rate, q_down, tau, vol, {base.df_r, e[9], base.log_spot, base.log_strike})) /
              (d_q + d_q);
    return m;
}

}  // namespace vantorel::bs_kernels
