// src/core/number_format.hpp: the plain shortest round-trip number format
#pragma once

#include <string>

namespace vantorel {

// Shortest decimal digits that read back as the same double, always written in
// plain positional notation: 2.0 -> "2", 0.99 -> "0.99", 1e-7 -> "0.0000001",
// 1e21 -> "1000000000000000000000", -0.0 -> "-0", NaN -> "NaN", infinities
// "inf" and "-inf".
std::string format_plain(double value);

// Appends format_plain(value) to out (no temporary string).
void append_plain(std::string& out, double value);

}  // namespace vantorel
