// src/datetime/tenor.cpp: tenor parsing, text form and tenor arithmetic on dates
#include "datetime/tenor.hpp"

#include <algorithm>
#include <charconv>

#include "core/failure.hpp"

namespace vantorel {

namespace {

// Signed 16-bit decimal: an optional '+' or '-', then one or more ASCII digits.
bool parse_count(std::string_view text, std::int16_t& out) noexcept {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    std::int32_t magnitude = 0;  // [0, 32768]
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 32768) return false;
    }
    const std::int32_t value = negative ? -magnitude : magnitude;
    if (value > 32767) return false;
    out = static_cast<std::int16_t>(value);
    return true;
}

bool unit_of_letter(char c, TenorUnit& out) noexcept {
    switch (c) {
        case 'D': out = TenorUnit::D; return true;
        case 'B': out = TenorUnit::B; return true;
        case 'W': out = TenorUnit::W; return true;
        case 'M': out = TenorUnit::M; return true;
        case 'Y': out = TenorUnit::Y; return true;
        default: return false;
    }
}

// Floor division by a positive divisor.
constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) noexcept {
    return a / b - (a % b < 0 ? 1 : 0);
}

// The date of a year, month and day where the day is clamped to the length of
// the month. Years outside the date range keep the day unclamped: from_ymd
// rejects them on the year before it looks at the day.
Date from_ymd_clamped(std::int64_t year, std::int64_t month, std::uint8_t day) {
    std::int64_t clamped = day;
    if (year >= 1899 && year <= 65535)
        clamped = std::min<std::int64_t>(day, month_length(static_cast<std::uint16_t>(year),
                                                           static_cast<std::uint8_t>(month)));
    return from_ymd(year, month, clamped);
}

}  // namespace

std::expected<Tenor, std::string> parse_tenor(std::string_view text) {
    if (text.empty()) fail("Tenor string is empty, need to be of the form '<count><unit>'");
    const auto last = static_cast<unsigned char>(text.back());
    if (last >= 0x80)
        fail("Tenor string (" + std::string(text) + ") does not end in an ASCII unit letter");
    Tenor tenor{};
    if (!parse_count(text.substr(0, text.size() - 1), tenor.count))
        return std::unexpected("Invalid tenor string (" + std::string(text) +
                               "), need to be of the form '<count><unit>'");
    if (!unit_of_letter(text.back(), tenor.unit))
        return std::unexpected("Invalid tenor unit (" + std::string(1, text.back()) +
                               "), can only have D, B, W, M, Y");
    return tenor;
}

std::size_t write_tenor(const Tenor& tenor, char* buf) noexcept {
    char* p = std::to_chars(buf, buf + max_tenor_text - 1, tenor.count).ptr;
    *p++ = unit_letter(tenor.unit);
    return static_cast<std::size_t>(p - buf);
}

std::string Tenor::to_str() const {
    char buf[max_tenor_text];
    return std::string(buf, write_tenor(*this, buf));
}

Date add_tenor(const Date& date, const Tenor& tenor) {
    // 64-bit throughout: n + 7c and y + c stay exact, and the range checks of
    // from_int and from_ymd see the true result.
    const std::int64_t c = tenor.count;
    switch (tenor.unit) {
        case TenorUnit::D:
            return from_int(std::int64_t{date.serial()} + c);
        case TenorUnit::W:
            return from_int(std::int64_t{date.serial()} + 7 * c);
        case TenorUnit::M: {
            // k counts months from January of the date's year: [-32768, 32778].
            const std::int64_t k = (date.month() - 1) + c;
            const std::int64_t years = floor_div(k, 12);
            return from_ymd_clamped(date.year() + years, k - 12 * years + 1, date.day());
        }
        case TenorUnit::Y:
            return from_ymd_clamped(date.year() + c, date.month(), date.day());
        case TenorUnit::B:
            break;
    }
    fail("Cannot add TenorUnit::B without a calendar input");
}

std::expected<Date, std::string> add_parsed_tenor(const Date& date, std::string_view text) {
    auto tenor = parse_tenor(text);
    if (!tenor) return std::unexpected(std::move(tenor.error()));
    return add_tenor(date, *tenor);
}

}  // namespace vantorel
