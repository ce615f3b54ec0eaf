// src/maths/functions/err_functions.cpp: erf, erfc and their inverses from fixed rational approximations
#include "maths/functions/err_functions.hpp"

// The formulas are err_kernels.hpp's, shared with the array loops.
#include "maths/functions/err_kernels.hpp"

namespace vantorel {

double erf_impl(double z, bool complement) noexcept { return err_kernels::erf_impl(z, complement); }

double erf(double x) noexcept { return err_kernels::erf(x); }

double erfc(double x) noexcept { return err_kernels::erfc(x); }

double erf_inv_impl(double p, double q, double s) noexcept { return err_kernels::erf_inv_impl(p, q, s); }

double erf_inv(double x) noexcept { return err_kernels::erf_inv(x); }

double erfc_inv(double x) noexcept { return err_kernels::erfc_inv(x); }

}  // namespace vantorel
