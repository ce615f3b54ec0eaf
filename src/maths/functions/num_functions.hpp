// src/maths/functions/num_functions.hpp: elementary functions of one double
#pragma once

namespace vantorel {

// Thin wrappers over libm (and the IEEE-754 square root): outside their domain
// they give the IEEE results (NaN, +-inf) and never fail.
double exp(double x) noexcept;
double ln(double x) noexcept;
double log10(double x) noexcept;
double log2(double x) noexcept;
// The square x*x (not two to the power x).
double pow2(double x) noexcept;
double sqrt(double x) noexcept;
double sin(double x) noexcept;
double cos(double x) noexcept;
double tan(double x) noexcept;

}  // namespace vantorel
