// src/maths/functions/functions_py.hpp: the thirteen mathematical module functions
#pragma once

#include "binding/ref.hpp"

namespace vantorel::py {

// Elementary functions.
extern PyMethodDef exp_def, ln_def, log10_def, log2_def, pow2_def, sqrt_def, sin_def, cos_def,
    tan_def;
// Error functions.
extern PyMethodDef erf_def, erfc_def, erf_inv_def, erfc_inv_def;

}  // namespace vantorel::py
