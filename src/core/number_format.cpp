// src/core/number_format.cpp: the plain shortest round-trip number format
#include "core/number_format.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace vantorel {

void append_plain(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    if (std::signbit(value)) {
        out += '-';
        value = -value;
    }
    // Scientific shortest form gives the digits and the decimal exponent;
    // they are then laid out positionally. 17 digits + "e-308" fit in 32.
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    const char* end = res.ptr;
    const char* e = buf;
    while (e != end && *e != 'e') ++e;
    std::string digits;
    digits.reserve(17);
    for (const char* p = buf; p != e; ++p)
        if (*p != '.') digits += *p;
    // value = d.ddd * 10^exponent; the buffer is not NUL-terminated, so the
    // exponent is read from [e + 1, end) only.
    const char* exp_begin = e + 1;
    if (exp_begin != end && *exp_begin == '+') ++exp_begin;
    int exponent = 0;
    std::from_chars(exp_begin, end, exponent);
    const int ndigits = static_cast<int>(digits.size());
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    } else if (exponent + 1 >= ndigits) {
        out += digits;
        out.append(static_cast<std::size_t>(exponent + 1 - ndigits), '0');
    } else {
        out.append(digits, 0, static_cast<std::size_t>(exponent + 1));
        out += '.';
        out.append(digits, static_cast<std::size_t>(exponent + 1), std::string::npos);
    }
}

std::string format_plain(double value) {
    std::string out;
    append_plain(out, value);
    return out;
}

}  // namespace vantorel
