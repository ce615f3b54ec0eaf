// src/maths/functions/err_functions.hpp: the error function, its complement and their inverses
#pragma once

namespace vantorel {

// All of these take any double, NaN and the infinities included, and never
// fail: outside the domain of an inverse the result is +inf or -inf.

// Error function; erf(+-0) is +0, erf(+-inf) is +-1.
double erf(double x) noexcept;
// 1 - erf(x) without the cancellation; erfc(+inf) is 0, erfc(-inf) is 2.
double erfc(double x) noexcept;
// Inverse of erf on (-1, 1); +inf from 1 up, -inf from -1 down.
double erf_inv(double x) noexcept;
// Inverse of erfc on (0, 2); +inf from 0 down, -inf from 2 up.
double erfc_inv(double x) noexcept;

// Kernel for a finite z: erf(z), or erfc(z) when complement is true.
double erf_impl(double z, bool complement) noexcept;
// Kernel: s*y with erf(y) = p, given q = 1 - p; 0 <= p < 1, 0 < q <= 1 and
// s = +1 or -1.
double erf_inv_impl(double p, double q, double s) noexcept;

}  // namespace vantorel
