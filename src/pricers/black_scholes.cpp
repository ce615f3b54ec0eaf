// src/pricers/black_scholes.cpp: Black-Scholes-Merton formulas, kernels and metrics
#include "pricers/black_scholes.hpp"

#include <cmath>
#include <limits>

#include "maths/functions/err_functions.hpp"

namespace vantorel {

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// Ordered comparisons: a NaN input is not rejected.
constexpr bool valid(double spot, double strike, double vol) noexcept {
    return !(strike < 0 || spot < 0 || vol < 0);
}

// The inputs turned into what the kernels consume. `tau` is the effective
// year fraction (0 for an expired option).
struct Prepared {
    double chi;
    double df_r;
    double df_q;
    double d1;
    double d2;
    double tau;
    double sqrt_tau;
};

// What a computation needs beyond chi, d1 and sqrt_tau, so that each one
// evaluates only its own exponentials.
enum Need : unsigned { need_df_r = 1, need_df_q = 2, need_d2 = 4, need_all = 7 };

// Exactly one case applies, tested in this order:
//   1. expired (tau < 0): d1 = d2 = -inf*chi, both discount factors 0;
//   2. at expiry (tau == 0): d1 = d2 = 0, +inf or -inf as spot is at, above or
//      below the strike; discount factors 1;
//   3. running (tau > 0 or NaN): with vol == 0 the sign of forward - strike
//      decides d1 = d2 as in 2.; otherwise the usual d1 and d2 = d1 - vol*sqrt(tau).
template <unsigned N>
Prepared prepare(double spot, double strike, double rate, double div_yield, double tau,
                 PutCallFlag pc_flag, double vol) noexcept {
    Prepared p{};
    p.chi = sign(pc_flag);
    if (tau < 0) {
        p.d1 = p.d2 = -inf * p.chi;
        return p;  // discount factors, tau and sqrt_tau all 0
    }
    if (tau == 0) {
        p.d1 = p.d2 = spot == strike ? 0.0 : spot > strike ? inf : -inf;
        p.df_r = p.df_q = 1.0;
        return p;
    }
    p.tau = tau;
    p.sqrt_tau = std::sqrt(tau);
    if (vol == 0) {
        p.df_r = std::exp(-rate * tau);
        p.df_q = std::exp(-div_yield * tau);
        const double forward = (p.df_q * spot) / p.df_r;  // NaN falls to -inf
        p.d1 = p.d2 = forward == strike ? 0.0 : forward > strike ? inf : -inf;
        return p;
    }
    if constexpr ((N & need_df_r) != 0) p.df_r = std::exp(-rate * tau);
    if constexpr ((N & need_df_q) != 0) p.df_q = std::exp(-div_yield * tau);
    // ln(spot) - ln(strike), not ln(spot/strike): a zero strike gives d1 = +inf.
    const double s = p.sqrt_tau * vol;
    p.d1 = ((0.5 * vol * vol + (rate - div_yield)) * tau + (std::log(spot) - std::log(strike))) / s;
    if constexpr ((N & need_d2) != 0) p.d2 = p.d1 - s;
    return p;
}

// The closed-form value of inputs already validated.
double npv_value(double spot, double strike, double rate, double div_yield, double tau,
                 PutCallFlag pc_flag, double vol) noexcept {
    const Prepared p = prepare<need_all>(spot, strike, rate, div_yield, tau, pc_flag, vol);
    return npv_impl(spot, strike, p.chi, p.df_r, p.df_q, norm_cdf(p.d1 * p.chi),
                    norm_cdf(p.d2 * p.chi));
}

}  // namespace

// ---- normal distribution -----------------------------------------------------

double norm_cdf(double x) noexcept {
    const double y = x * 0.7071067811865476;  // the double nearest 1/sqrt(2)
    // The special values erf would give anyway, without the call.
    if (std::isnan(y)) return y;
    if (y == inf) return 1.0;
    if (y == -inf) return 0.0;
    if (y == 0) return 0.5;
    return (vantorel::erf(y) + 1) * 0.5;
}

double norm_pdf(double x) noexcept {
    return std::exp((-0.5 * x) * x) * 0.3989422804014327;  // the double nearest 1/sqrt(2 pi)
}

// ---- kernels -----------------------------------------------------------------

double npv_impl(double spot, double strike, double chi, double df_r, double df_q, double cdf_d1,
                double cdf_d2) noexcept {
    return chi * ((spot * df_q) * cdf_d1 - (strike * df_r) * cdf_d2);
}

double delta_impl(double chi, double df_q, double cdf_d1) noexcept {
    return (chi * df_q) * cdf_d1;
}

// With no spread of the distribution (vol or time zero; NaN counts as non-zero)
// gamma is infinite exactly at the money, where the density is positive, and
// zero elsewhere.
double gamma_impl(double spot, double vol, double sqrt_tau, double df_q, double pdf_d1) noexcept {
    if (vol != 0 && sqrt_tau != 0) return (df_q * pdf_d1) / ((spot * vol) * sqrt_tau);
    return pdf_d1 > 0 ? inf : 0.0;
}

double vega_impl(double spot, double sqrt_tau, double df_q, double pdf_d1) noexcept {
    return sqrt_tau * (spot * (df_q * pdf_d1));
}

// -dV/dtau = -df_q*S*phi(d1)*vol/(2 sqrt(tau)) - chi*r*K*df_r*N(chi d2)
//            + chi*q*S*df_q*N(chi d1); zero once no time is left.
double theta_impl(double spot, double strike, double rate, double div_yield, double vol, double chi,
                  double sqrt_tau, double df_r, double df_q, double pdf_d1, double cdf_d1,
                  double cdf_d2) noexcept {
    if (sqrt_tau == 0) return 0.0;
    const double rate_term = cdf_d2 * (strike * (rate * (-chi * df_r)));
    const double density_term = (vol * ((df_q * spot) * pdf_d1)) / (sqrt_tau * 2);
    const double dividend_term = cdf_d1 * (spot * (div_yield * (df_q * chi)));
    return (rate_term - density_term) + dividend_term;
}

double rho_r_impl(double strike, double chi, double tau, double df_r, double cdf_d2) noexcept {
    return strike * chi * tau * df_r * cdf_d2;
}

double rho_q_impl(double spot, double chi, double tau, double df_q, double cdf_d1) noexcept {
    return spot * (-chi) * tau * df_q * cdf_d1;
}

// ---- public computations -----------------------------------------------------

std::optional<double> npv(double spot, double strike, double rate, double div_yield, double tau,
                          PutCallFlag pc_flag, double vol) noexcept {
    if (!valid(spot, strike, vol)) return std::nullopt;
    return npv_value(spot, strike, rate, div_yield, tau, pc_flag, vol);
}

std::optional<double> delta(double spot, double strike, double rate, double div_yield, double tau,
                            PutCallFlag pc_flag, double vol) noexcept {
    if (!valid(spot, strike, vol)) return std::nullopt;
    const Prepared p = prepare<need_df_q>(spot, strike, rate, div_yield, tau, pc_flag, vol);
    return delta_impl(p.chi, p.df_q, norm_cdf(p.d1 * p.chi));
}

std::optional<double> gamma(double spot, double strike, double rate, double div_yield, double tau,
                            PutCallFlag pc_flag, double vol) noexcept {
    if (!valid(spot, strike, vol)) return std::nullopt;
    const Prepared p = prepare<need_df_q>(spot, strike, rate, div_yield, tau, pc_flag, vol);
    return gamma_impl(spot, vol, p.sqrt_tau, p.df_q, norm_pdf(p.d1));
}

std::optional<double> vega(double spot, double strike, double rate, double div_yield, double tau,
                           PutCallFlag pc_flag, double vol) noexcept {
    if (!valid(spot, strike, vol)) return std::nullopt;
    const Prepared p = prepare<need_df_q>(spot, strike, rate, div_yield, tau, pc_flag, vol);
    return vega_impl(spot, p.sqrt_tau, p.df_q, norm_pdf(p.d1));
}

std::optional<double> theta(double spot, double strike, double rate, double div_yield, double tau,
                            PutCallFlag pc_flag, double vol) noexcept {
    if (!valid(spot, strike, vol)) return std::nullopt;
    const Prepared p = prepare<need_all>(spot, strike, rate, div_yield, tau, pc_flag, vol);
    return theta_impl(spot, strike, rate, div_yield, vol, p.chi, p.sqrt_tau, p.df_r, p.df_q,
                      norm_pdf(p.d1), norm_cdf(p.d1 * p.chi), norm_cdf(p.d2 * p.chi));
}

std::optional<double> rho_r(double spot, double strike, double rate, double div_yield, double tau,
                            PutCallFlag pc_flag, double vol) noexcept {
    if (!valid(spot, strike, vol)) return std::nullopt;
    const Prepared p = prepare<need_df_r | need_d2>(spot, strike, rate, div_yield, tau, pc_flag, vol);
    return rho_r_impl(strike, p.chi, p.tau, p.df_r, norm_cdf(p.d2 * p.chi));
}

std::optional<double> rho_q(double spot, double strike, double rate, double div_yield, double tau,
                            PutCallFlag pc_flag, double vol) noexcept {
    if (!valid(spot, strike, vol)) return std::nullopt;
    const Prepared p = prepare<need_df_q>(spot, strike, rate, div_yield, tau, pc_flag, vol);
    return rho_q_impl(spot, p.chi, p.tau, p.df_q, norm_cdf(p.d1 * p.chi));
}

// ---- metrics -----------------------------------------------------------------

std::optional<BlackScholesMetrics> get_metrics(double spot, double strike, double rate,
                                               double div_yield, double tau, PutCallFlag pc_flag,
                                               double vol) noexcept {
    if (!valid(spot, strike, vol)) return std::nullopt;
    const Prepared p = prepare<need_all>(spot, strike, rate, div_yield, tau, pc_flag, vol);
    const double cdf_d1 = norm_cdf(p.d1 * p.chi);
    const double cdf_d2 = norm_cdf(p.d2 * p.chi);
    const double pdf_d1 = norm_pdf(p.d1);
    return BlackScholesMetrics{
        npv_impl(spot, strike, p.chi, p.df_r, p.df_q, cdf_d1, cdf_d2),
        delta_impl(p.chi, p.df_q, cdf_d1),
        gamma_impl(spot, vol, p.sqrt_tau, p.df_q, pdf_d1),
        vega_impl(spot, p.sqrt_tau, p.df_q, pdf_d1),
        theta_impl(spot, strike, rate, div_yield, vol, p.chi, p.sqrt_tau, p.df_r, p.df_q, pdf_d1,
                   cdf_d1, cdf_d2),
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
// form's and gamma is 0.
std::optional<BlackScholesMetrics> get_metrics_fd(double spot, double strike, double rate,
                                                  double div_yield, double tau,
                                                  PutCallFlag pc_flag, double vol) noexcept {
    if (!valid(spot, strike, vol)) return std::nullopt;
    // Bumped inputs stay valid: spot - h_s and vol - h are never negative.
    const auto price = [&](double s, double r, double q, double t, double v) {
        return npv_value(s, strike, r, q, t, pc_flag, v);
    };
    constexpr double one_day = 0.0027397260273972603;   // 1/365
    constexpr double two_days = 0.005479452054794521;   // 2/365
    BlackScholesMetrics m{};
    const double p = price(spot, rate, div_yield, tau, vol);
    m.npv = p;

    if (vol <= 0.001) {
        m.vega = (price(spot, rate, div_yield, tau, 0.0001 + vol) - p) / 0.0001;
    } else {
        const double h = vol * 0.001;
        m.vega = (price(spot, rate, div_yield, tau, h + vol) - price(spot, rate, div_yield, tau, vol - h)) /
                 (h + h);
    }

    if (tau < one_day) {
        m.theta = 0.0;
    } else {
        m.theta = (price(spot, rate, div_yield, -one_day + tau, vol) -
                   price(spot, rate, div_yield, one_day + tau, vol)) /
                  two_days;
    }

    const double h_s = 0.0005 * spot;
    if (h_s != 0) {
        const double up = price(h_s + spot, rate, div_yield, tau, vol);
        const double down = price(spot - h_s, rate, div_yield, tau, vol);
        m.gamma = strike == spot && tau == 0 ? inf : (down + (up - (p + p))) / (h_s * h_s);
        m.delta = (up - down) / (h_s + h_s);
    } else {
        const Prepared pre = prepare<need_df_q>(spot, strike, rate, div_yield, tau, pc_flag, vol);
        m.delta = delta_impl(pre.chi, pre.df_q, norm_cdf(pre.d1 * pre.chi));
        m.gamma = strike == spot && tau == 0 ? inf : std::isnan(p) ? p : 0.0;
    }

    double d_r = rate * 0.001;
    if (d_r == 0) d_r = 0.0001;
    m.rho_r = (price(spot, d_r + rate, div_yield, tau, vol) - price(spot, rate - d_r, div_yield, tau, vol)) /
              (d_r + d_r);

    double d_q = 0.001 * div_yield;
    if (d_q == 0) d_q = 0.0001;
    m.rho_q = (price(spot, rate, d_q + div_yield, tau, vol) - price(spot, rate, div_yield - d_q, tau, vol)) /
              (d_q + d_q);
    return m;
}

}  // namespace vantorel
