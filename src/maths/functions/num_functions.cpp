// src/maths/functions/num_functions.cpp: elementary functions of one double
#include "maths/functions/num_functions.hpp"

#include <cmath>

namespace vantorel {

double exp(double x) noexcept { return std::exp(x); }
double ln(double x) noexcept { return std::log(x); }
double log10(double x) noexcept { return std::log10(x); }
double log2(double x) noexcept { return std::log2(x); }
double pow2(double x) noexcept { return x * x; }
double sqrt(double x) noexcept { return std::sqrt(x); }
double sin(double x) noexcept { return std::sin(x); }
double cos(double x) noexcept { return std::cos(x); }
double tan(double x) noexcept { return std::tan(x); }

}  // namespace vantorel
