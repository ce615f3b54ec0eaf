// src/pricers/black_scholes.cpp: Black-Scholes-Merton formulas, kernels and metrics
#include "pricers/black_scholes.hpp"

#include "pricers/black_scholes_kernels.hpp"

namespace vantorel {

namespace {

namespace k = bs_kernels;

// Ordered comparisons: a NaN input is not rejected.
constexpr bool valid(double spot, double strike, double vol) noexcept {
    return !(strike < 0 || spot < 0 || vol < 0);
}

BlackScholesMetrics fields(const k::Metrics<double>& m) noexcept {
    return {m.npv, m.delta, m.gamma, m.vega, m.theta, m.rho_r, m.rho_q};
}

}  // namespace

// ---- normal distribution -----------------------------------------------------

double norm_cdf(double x) noexcept { return k::norm_cdf(x); }
double norm_pdf(double x) noexcept { return k::norm_pdf(x); }

// ---- kernels -----------------------------------------------------------------

double npv_impl(double spot, double strike, double chi, double df_r, double df_q, double cdf_d1,
                double cdf_d2) noexcept {
    return k::npv_impl(spot, strike, chi, df_r, df_q, cdf_d1, cdf_d2);
}

double delta_impl(double chi, double df_q, double cdf_d1) noexcept { return k::delta_impl(chi, df_q, cdf_d1); }

double gamma_impl(double spot, double vol, double sqrt_tau, double df_q, double pdf_d1) noexcept {
    return k::gamma_impl(spot, vol, sqrt_tau, df_q, pdf_d1);
}

double vega_impl(double spot, double sqrt_tau, double df_q, double pdf_d1) noexcept {
    return k::vega_impl(spot, sqrt_tau, df_q, pdf_d1);
}

double theta_impl(double spot, double strike, double rate, double div_yield, double vol, double chi,
                  double sqrt_tau, double df_r, double df_q, double pdf_d1, double cdf_d1,
                  double cdf_d2) noexcept {
    return k::theta_impl(spot, strike, rate, div_yield, vol, chi, sqrt_tau, df_r, df_q, pdf_d1, cdf_d1, cdf_d2);
}

double rho_r_impl(double strike, double chi, double tau, double df_r, double cdf_d2) noexcept {
    return k::rho_r_impl(strike, chi, tau, df_r, cdf_d2);
}

double rho_q_impl(double spot, double chi, double tau, double df_q, double cdf_d1) noexcept {
    return k::rho_q_impl(spot, chi, tau, df_q, cdf_d1);
}

// ---- public computations -----------------------------------------------------

#define VANTOREL_BS_COMPUTATION(name)                                                               \
    std::optional<double> name(double spot, double strike, double rate, double div_yield, double tau, \
                               PutCallFlag pc_flag, double vol) noexcept {                         \
        if (!valid(spot, strike, vol)) return std::nullopt;                                         \
        return k::name(spot, strike, rate, div_yield, tau, sign(pc_flag), vol);                     \
    }
VANTOREL_BS_COMPUTATION(npv)
VANTOREL_BS_COMPUTATION(delta)
VANTOREL_BS_COMPUTATION(gamma)
VANTOREL_BS_COMPUTATION(vega)
VANTOREL_BS_COMPUTATION(theta)
VANTOREL_BS_COMPUTATION(rho_r)
VANTOREL_BS_COMPUTATION(rho_q)
#undef VANTOREL_BS_COMPUTATION

std::optional<BlackScholesMetrics> get_metrics(double spot, double strike, double rate,
                                               double div_yield, double tau, PutCallFlag pc_flag,
                                               double vol) noexcept {
    if (!valid(spot, strike, vol)) return std::nullopt;
    return fields(k::metrics(spot, strike, rate, div_yield, tau, sign(pc_flag), vol));
}

std::optional<BlackScholesMetrics> get_metrics_fd(double spot, double strike, double rate,
                                                  double div_yield, double tau,
                                                  PutCallFlag pc_flag, double vol) noexcept {
    if (!valid(spot, strike, vol)) return std::nullopt;
    return fields(k::metrics_fd(spot, strike, rate, div_yield, tau, sign(pc_flag), vol));
}

}  // namespace vantorel
