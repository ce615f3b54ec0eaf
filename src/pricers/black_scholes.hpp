// src/pricers/black_scholes.hpp: Black-Scholes-Merton value and sensitivities of a European option
#pragma once

#include <optional>
#include <type_traits>

#include "datetime/date.hpp"
#include "datetime/day_counter.hpp"
#include "enums/put_call_flag.hpp"

namespace vantorel {

// The value and the six sensitivities of one option. Vega, rho_r and rho_q are
// per 1.0 of volatility, rate and dividend yield; theta is -dV/dtau per year.
struct BlackScholesMetrics {
    double npv;
    double delta;
    double gamma;
    double vega;
    double theta;
    double rho_r;
    double rho_q;
};

static_assert(std::is_trivially_copyable_v<BlackScholesMetrics>);

// ---- public computations -------------------------------------------------------
//
// European option on an asset with a continuous dividend yield. All take the
// spot, the strike, the continuously compounded rate and dividend yield, the
// time to expiry tau in years, the put/call flag and the volatility. A negative
// spot, strike or vol gives no value; NaN is not rejected and flows through.
// tau < 0 is an expired option (every result zero), tau = 0 an option at
// expiry (intrinsic value).

std::optional<double> npv(double spot, double strike, double rate, double div_yield, double tau,
                          PutCallFlag pc_flag, double vol) noexcept;
std::optional<double> delta(double spot, double strike, double rate, double div_yield, double tau,
                            PutCallFlag pc_flag, double vol) noexcept;
std::optional<double> gamma(double spot, double strike, double rate, double div_yield, double tau,
                            PutCallFlag pc_flag, double vol) noexcept;
std::optional<double> vega(double spot, double strike, double rate, double div_yield, double tau,
                           PutCallFlag pc_flag, double vol) noexcept;
std::optional<double> theta(double spot, double strike, double rate, double div_yield, double tau,
                            PutCallFlag pc_flag, double vol) noexcept;
std::optional<double> rho_r(double spot, double strike, double rate, double div_yield, double tau,
                            PutCallFlag pc_flag, double vol) noexcept;
std::optional<double> rho_q(double spot, double strike, double rate, double div_yield, double tau,
                            PutCallFlag pc_flag, double vol) noexcept;

// All seven in closed form from one preparation.
std::optional<BlackScholesMetrics> get_metrics(double spot, double strike, double rate,
                                               double div_yield, double tau, PutCallFlag pc_flag,
                                               double vol) noexcept;
// The value in closed form and the sensitivities by finite differences of it.
std::optional<BlackScholesMetrics> get_metrics_fd(double spot, double strike, double rate,
                                                  double div_yield, double tau,
                                                  PutCallFlag pc_flag, double vol) noexcept;

// The dated form of a computation above: tau is the Act/365 year fraction
// from eval_date to expiry_date, whatever day counter the caller uses
// elsewhere; an expiry before the evaluation date is an expired option.
template <auto Fn>
auto with_dates(double spot, double strike, double rate, double div_yield, const Date& eval_date,
                const Date& expiry_date, PutCallFlag pc_flag, double vol) noexcept {
    return Fn(spot, strike, rate, div_yield, dcf_act365(eval_date, expiry_date), pc_flag, vol);
}

// ---- kernels: prepared quantities in, result out; no validation ----------------
//
// chi is +1 for a call and -1 for a put; df_r = exp(-rate*tau) and
// df_q = exp(-div_yield*tau); cdf_d1, cdf_d2 are the normal distribution at
// chi*d1, chi*d2; pdf_d1 the normal density at d1.

double npv_impl(double spot, double strike, double chi, double df_r, double df_q, double cdf_d1,
                double cdf_d2) noexcept;
double delta_impl(double chi, double df_q, double cdf_d1) noexcept;
double gamma_impl(double spot, double vol, double sqrt_tau, double df_q, double pdf_d1) noexcept;
double vega_impl(double spot, double sqrt_tau, double df_q, double pdf_d1) noexcept;
double theta_impl(double spot, double strike, double rate, double div_yield, double vol, double chi,
                  double sqrt_tau, double df_r, double df_q, double pdf_d1, double cdf_d1,
                  double cdf_d2) noexcept;
double rho_r_impl(double strike, double chi, double tau, double df_r, double cdf_d2) noexcept;
double rho_q_impl(double spot, double chi, double tau, double df_q, double cdf_d1) noexcept;

// Standard normal distribution function, (erf(x/sqrt 2) + 1)/2, and density.
double norm_cdf(double x) noexcept;
double norm_pdf(double x) noexcept;

}  // namespace vantorel
