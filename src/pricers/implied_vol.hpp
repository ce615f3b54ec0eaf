// src/pricers/implied_vol.hpp: the volatility at which the Black-Scholes-Merton value equals a price
#pragma once

#include "enums/put_call_flag.hpp"

namespace vantorel {

// The volatility at which the exact Black-Scholes-Merton formula gives `price`
// for a European option (continuous rate and dividend yield, tau in years).
//   - A price strictly between the discounted intrinsic value
//     max(chi*(spot*df_q - strike*df_r), 0) and spot*df_q (call) or
//     strike*df_r (put) always has an answer, returned finite and positive
//     (it rounds to 0 only below the smallest double): the bounds are the double
//     expressions where spot*df_q, strike*df_r and both discount factors are
//     normal doubles, and their exact values rounded to 53 bits beyond.
//   - A price equal to the lower bound (or within rounding of the intrinsic
//     value) gives 0.0, one equal to the upper bound +inf (the limit of the
//     value as the vol grows without bound).
//   - A price outside the bounds, tau <= 0, a negative spot or strike, any
//     NaN or infinite input, a discount factor exp(-rate*tau) or
//     exp(-div_yield*tau) that is 0 or inf in double, or |ln(F/K)| > 1416
//     (e^(-|ln(F/K)|/2) below the normal range) gives NaN, and so does a
//     solve that has not met its tolerance.
double implied_vol(double price, double spot, double strike, double rate, double div_yield,
                   double tau, PutCallFlag pc_flag) noexcept;

// Step 1 of implied_vol in full (the wide and scaled forms that the common
// path leaves): the answer where step 1 decides it or the problem needs
// scaling, else the operands of the solve, for the array loops to solve the
// option beside others; the answer is then solve(x, ex, beta, ln_beta,
// ln_beta_lo)/sqrt(tau).
struct ImpliedVolProblem {
    bool to_solve;
    double result;                            // where !to_solve
    double x, ex, beta, ln_beta, ln_beta_lo;  // where to_solve
};
ImpliedVolProblem implied_vol_problem(double price, double spot, double strike, double rate, double div_yield,
                                      double tau, PutCallFlag pc_flag) noexcept;

// ---- kernels: normalised quantities, no validation -----------------------------
//
// The normalised Black value of an out-of-the-money call, for x = ln(F/K) <= 0
// and a total standard deviation s = vol*sqrt(tau) > 0:
//   b(x, s) = e^(x/2) N(x/s + s/2) - e^(-x/2) N(x/s - s/2),
// which is the undiscounted call value divided by sqrt(F*K). It rises from 0
// at s = 0 to e^(x/2) as s grows.
double normalised_black(double x, double s) noexcept;

// s > 0 with normalised_black(x, s) = beta, for x <= 0 and 0 < beta < e^(x/2).
// ln_beta is ln(beta), given separately so that a beta below the normal range
// (from a price near the smallest double) keeps its full precision.
double normalised_implied_std_dev(double x, double beta, double ln_beta) noexcept;

// The scaled complementary error function exp(y*y)*erfc(y), to a few units
// in the last place on the whole line (+inf below about -26.6).
double erfcx(double y) noexcept;

}  // namespace vantorel
