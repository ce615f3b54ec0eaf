// src/datetime/date.cpp: serial day arithmetic, validation and text forms of dates
#include "datetime/date.hpp"

#include <charconv>

#include "core/failure.hpp"

namespace vantorel {

namespace {

// Offset of serial day 0 (1899-12-30) in Julian day numbers.
constexpr std::int32_t jdn_of_serial_zero = 2415019;

// Serial day number of 0000-01-01; below it the inverse formula no longer holds.
constexpr std::int64_t serial_of_year_zero = -693959;

struct Triple {
    std::int64_t year, month, day;
};

// Inverse of serial_from_ymd. Valid for serials from serial_of_year_zero to
// max_serial, where every intermediate value is non-negative and fits in 32
// bits; the caller keeps s in that range.
constexpr Triple triple_from_serial(std::int32_t s) noexcept {
    std::int32_t l = s + 2483588;                 // JDN + 68569, in [1789629, 25726160]
    const std::int32_t n = (4 * l) / 146097;
    l = l - (146097 * n + 3) / 4;                 // [0, 36524]
    const std::int32_t i = (4000 * (l + 1)) / 1461001;
    l = l - (1461 * i) / 4 + 31;
    const std::int32_t j = (80 * l) / 2447;
    const std::int32_t day = l - (2447 * j) / 80;
    const std::int32_t k = j / 11;
    const std::int32_t month = j + 2 - 12 * k;
    const std::int32_t year = 100 * (n - 49) + i + k;
    return {year, month, day};
}

std::string out_of_range_text(std::int64_t serial) {
    std::string text = "Date serial number (" + std::to_string(serial) + ") is out of range";
    text += serial > max_serial ? ": the last date is 65535-12-31" : ": the first date is 1899-01-01";
    return text;
}

// Parses an unsigned decimal with an optional leading '+' into [0, max].
bool parse_unsigned(std::string_view text, std::uint32_t max, std::uint32_t& out) noexcept {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    std::uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > max) return false;
    }
    out = value;
    return true;
}

}  // namespace

std::uint8_t days_in_month(std::uint16_t year, std::uint8_t month) {
    if (month < 1 || month > 12)
        fail("Invalid month (" + std::to_string(month) + "), need to be betwen 1 and 12");
    return month_length(year, month);
}

std::string ymd_fault_text(YmdFault fault, std::int64_t year, std::int64_t month, std::int64_t day) {
    switch (fault) {
        case YmdFault::year_low:
            return "Year (" + std::to_string(year) + ") must be >= 1899";
        case YmdFault::month:
            return "Month (" + std::to_string(month) + ") must be between 1 and 12";
        case YmdFault::year_high:
            return "Year (" + std::to_string(year) + ") must be <= 65535";
        case YmdFault::day:
            return "Day (" + std::to_string(day) + ") must be between 1 and " +
                   std::to_string(month_length(static_cast<std::uint16_t>(year), static_cast<std::uint8_t>(month))) +
                   ", for year " + std::to_string(year) + " and month " + std::to_string(month);
        case YmdFault::none:
            break;
    }
    return {};
}

std::int32_t serial_from_ymd(const YearMonthDay& ymd) noexcept {
    const std::int32_t y = ymd.year(), m = ymd.month(), d = ymd.day();
    const std::int32_t q = (m - 14) / 12;  // -1 for January and February, else 0
    return d + (1461 * (y + 4800 + q)) / 4 + (367 * (m - 2 - 12 * q)) / 12 -
           (3 * ((y + 4900 + q) / 100)) / 4 - 32075 - jdn_of_serial_zero;
}

Date from_valid(const YearMonthDay& ymd, std::int32_t serial) noexcept { return Date(serial, ymd); }

std::expected<Date, std::string> try_from_ymd(std::int64_t year, std::int64_t month,
                                              std::int64_t day) {
    auto ymd = YearMonthDay::make(year, month, day);
    if (!ymd) [[unlikely]]
        return std::unexpected(std::move(ymd.error()));
    return from_valid(*ymd, serial_from_ymd(*ymd));
}

Date from_ymd(std::int64_t year, std::int64_t month, std::int64_t day) {
    auto date = try_from_ymd(year, month, day);
    if (!date) fail(std::move(date.error()));
    return *date;
}

Date from_int(std::int64_t serial) {
    if (serial > max_serial || serial < serial_of_year_zero) fail(out_of_range_text(serial));
    const auto s = static_cast<std::int32_t>(serial);
    const Triple t = triple_from_serial(s);
    auto ymd = YearMonthDay::make(t.year, t.month, t.day);
    if (!ymd) fail(std::move(ymd.error()));  // "Year (1898) must be >= 1899"
    return from_valid(*ymd, s);
}

std::expected<Date, std::string> parse_date(std::string_view text) {
    std::string_view year, month, day;
    if (text.size() == 10) {
        year = text.substr(0, 4), month = text.substr(5, 2), day = text.substr(8, 2);
    } else if (text.size() == 8) {
        year = text.substr(0, 4), month = text.substr(4, 2), day = text.substr(6, 2);
    } else {
        return std::unexpected("Need length of date string (" + std::to_string(text.size()) +
                               ") to be 8 or 10");
    }
    std::uint32_t y = 0, m = 0, d = 0;
    const bool ok_y = parse_unsigned(year, 65535, y);
    const bool ok_m = parse_unsigned(month, 255, m);
    const bool ok_d = parse_unsigned(day, 255, d);
    if (!(ok_y && ok_m && ok_d))
        return std::unexpected("Unable to parse date string (" + std::string(text) +
                               ") into integers");
    return try_from_ymd(y, m, d);
}

std::size_t write_date(const Date& d, char* buf) noexcept {
    char* p = buf;
    const std::uint16_t year = d.year();
    if (year < 1000) {  // zero-pad to four digits
        *p++ = '0';
        if (year < 100) *p++ = '0';
        if (year < 10) *p++ = '0';
    }
    p = std::to_chars(p, buf + 5, year).ptr;
    const auto two = [&p](unsigned v) {
        *p++ = static_cast<char>('0' + v / 10);
        *p++ = static_cast<char>('0' + v % 10);
    };
    *p++ = '-';
    two(d.month());
    *p++ = '-';
    two(d.day());
    return static_cast<std::size_t>(p - buf);
}

std::string Date::to_str() const {
    char buf[16];
    return std::string(buf, write_date(*this, buf));
}

}  // namespace vantorel
