// src/maths/functions/functions_py.cpp: the mathematical module functions, one table row each
#include "maths/functions/functions_py.hpp"

#include "binding/call.hpp"
#include "maths/functions/err_functions.hpp"
#include "maths/functions/num_functions.hpp"

namespace vantorel::py {

namespace {

// Every function takes one float `x` and returns a float.
Sig<1> exp_sig{"exp", {"x"}};
Sig<1> ln_sig{"ln", {"x"}};
Sig<1> log10_sig{"log10", {"x"}};
Sig<1> log2_sig{"log2", {"x"}};
Sig<1> pow2_sig{"pow2", {"x"}};
Sig<1> sqrt_sig{"sqrt", {"x"}};
Sig<1> sin_sig{"sin", {"x"}};
Sig<1> cos_sig{"cos", {"x"}};
Sig<1> tan_sig{"tan", {"x"}};
Sig<1> erf_sig{"erf", {"x"}, 1, "`erf` calculates the error function at `x`."};
Sig<1> erfc_sig{"erfc", {"x"}, 1, "`erfc` calculates the complementary error function\nat `x`."};
Sig<1> erf_inv_sig{"erf_inv", {"x"}, 1, "`erf_inv` calculates the inverse error function\nat `x`."};
Sig<1> erfc_inv_sig{"erfc_inv", {"x"}, 1,
                    "`erfc_inv` calculates the complementary inverse\nerror function at `x`."};

}  // namespace

PyMethodDef exp_def = function_def<&vantorel::exp, exp_sig>();
PyMethodDef ln_def = function_def<&vantorel::ln, ln_sig>();
PyMethodDef log10_def = function_def<&vantorel::log10, log10_sig>();
PyMethodDef log2_def = function_def<&vantorel::log2, log2_sig>();
PyMethodDef pow2_def = function_def<&vantorel::pow2, pow2_sig>();
PyMethodDef sqrt_def = function_def<&vantorel::sqrt, sqrt_sig>();
PyMethodDef sin_def = function_def<&vantorel::sin, sin_sig>();
PyMethodDef cos_def = function_def<&vantorel::cos, cos_sig>();
PyMethodDef tan_def = function_def<&vantorel::tan, tan_sig>();
PyMethodDef erf_def = function_def<&vantorel::erf, erf_sig>();
PyMethodDef erfc_def = function_def<&vantorel::erfc, erfc_sig>();
PyMethodDef erf_inv_def = function_def<&vantorel::erf_inv, erf_inv_sig>();
PyMethodDef erfc_inv_def = function_def<&vantorel::erfc_inv, erfc_inv_sig>();

}  // namespace vantorel::py
