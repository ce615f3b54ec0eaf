// src/pricers/american.hpp: American options under Black-Scholes-Merton with a continuous dividend yield
#pragma once

#include <cstddef>
#include <optional>

#include "enums/put_call_flag.hpp"
#include "pricers/black_scholes.hpp"

namespace vantorel {

// Arguments and units as the European functions: spot, strike, the
// continuously compounded rate and dividend yield, tau in years, the flag,
// the volatility. A negative spot, strike or vol gives no value; tau < 0 is an
// expired option (every result zero), tau = 0 the intrinsic value. A value
// whose boundary iteration misses its tolerance is NaN, never a rough number.
std::optional<double> american_npv(double spot, double strike, double rate, double div_yield,
                                   double tau, PutCallFlag pc_flag, double vol) noexcept;

// Value, delta, gamma, vega, theta (-dV/dtau per year), rho_r, rho_q with the
// units of BlackScholesMetrics. Delta and gamma are exact derivatives of the
// early-exercise representation at the solved boundary, theta follows from the
// pricing equation, vega and the rhos are central differences of re-solved
// values (about 1e-8 relative).
std::optional<BlackScholesMetrics> american_get_metrics(double spot, double strike, double rate,
                                                        double div_yield, double tau,
                                                        PutCallFlag pc_flag, double vol) noexcept;

// The volatility at which american_npv gives price: 0.0 at the zero-vol value,
// +inf at the limit as the vol grows (strike for a put, spot for a call), NaN
// outside those bounds, for tau <= 0 and for a negative spot or strike.
double american_implied_vol(double price, double spot, double strike, double rate,
                            double div_yield, double tau, PutCallFlag pc_flag) noexcept;

// The early-exercise boundary of an option expiring in tau at m times to
// expiry times[k] in [0, tau]: spots[k] (a put is exercised at or below it, a
// call at or above). NaN where no single boundary exists (no early exercise,
// or an exercise region between two boundaries), where times[k] is outside
// [0, tau], or where the iteration failed.
void american_boundary(double strike, double rate, double div_yield, double tau,
                       PutCallFlag pc_flag, double vol, std::size_t m, const double* times,
                       double* spots) noexcept;

}  // namespace vantorel
