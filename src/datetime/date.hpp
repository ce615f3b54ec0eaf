// src/datetime/date.hpp: Gregorian dates as serial day numbers with their year/month/day
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <type_traits>

#include "enums/weekday.hpp"

namespace vantorel {

// Serial day 0 is 1899-12-30; 1900-01-01 is 2, 2000-01-01 is 36526.
inline constexpr std::int32_t min_serial = -363;      // 1899-01-01
inline constexpr std::int32_t max_serial = 23242572;  // 65535-12-31

constexpr bool is_leap_year(std::uint16_t year) noexcept {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// Days of a valid month (1..12) of a year; no check of the month.
constexpr std::uint8_t month_length(std::uint16_t year, std::uint8_t month) noexcept {
    constexpr std::uint8_t lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : lengths[month - 1];
}

// Days of a month; a month outside 1..12 is a Failure.
std::uint8_t days_in_month(std::uint16_t year, std::uint8_t month);

// The first rule a year/month/day triple breaks, in the order they are
// checked: year >= 1899, month in 1..12, year <= 65535 (only reachable from
// tenor moves near the end), day in 1..days of that month.
enum class YmdFault : std::uint8_t { none, year_low, month, year_high, day };

constexpr YmdFault check_ymd(std::int64_t year, std::int64_t month, std::int64_t day) noexcept {
    if (year < 1899) return YmdFault::year_low;
    if (month < 1 || month > 12) return YmdFault::month;
    if (year > 65535) return YmdFault::year_high;
    if (day < 1 || day > month_length(static_cast<std::uint16_t>(year), static_cast<std::uint8_t>(month)))
        return YmdFault::day;
    return YmdFault::none;
}

// The message of a fault found by check_ymd for that triple.
std::string ymd_fault_text(YmdFault fault, std::int64_t year, std::int64_t month, std::int64_t day);

// A validated triple: only make() creates one, so every triple is a real date.
class YearMonthDay {
public:
    // The triple, or the message of the first rule it breaks (built only then).
    static std::expected<YearMonthDay, std::string> make(std::int64_t year, std::int64_t month,
                                                         std::int64_t day) {
        if (const YmdFault fault = check_ymd(year, month, day); fault != YmdFault::none) [[unlikely]]
            return std::unexpected(ymd_fault_text(fault, year, month, day));
        return YearMonthDay(static_cast<std::uint16_t>(year), static_cast<std::uint8_t>(month),
                            static_cast<std::uint8_t>(day));
    }

    [[nodiscard]] constexpr std::uint16_t year() const noexcept { return year_; }
    [[nodiscard]] constexpr std::uint8_t month() const noexcept { return month_; }
    [[nodiscard]] constexpr std::uint8_t day() const noexcept { return day_; }

private:
    constexpr YearMonthDay(std::uint16_t y, std::uint8_t m, std::uint8_t d) noexcept
        : year_(y), month_(m), day_(d) {}

    std::uint16_t year_;
    std::uint8_t month_;
    std::uint8_t day_;
};

class Date {
public:
    [[nodiscard]] constexpr std::int32_t serial() const noexcept { return serial_; }
    [[nodiscard]] constexpr const YearMonthDay& ymd() const noexcept { return ymd_; }
    [[nodiscard]] constexpr std::uint16_t year() const noexcept { return ymd_.year(); }
    [[nodiscard]] constexpr std::uint8_t month() const noexcept { return ymd_.month(); }
    [[nodiscard]] constexpr std::uint8_t day() const noexcept { return ymd_.day(); }

    // Monday 0 .. Sunday 6: the non-negative remainder of (serial - 2) by 7.
    [[nodiscard]] constexpr Weekday weekday() const noexcept {
        const std::int32_t w = (serial_ - 2) % 7;
        return static_cast<Weekday>(w < 0 ? w + 7 : w);
    }

    // "2024-01-05": year zero-padded to at least four digits.
    [[nodiscard]] std::string to_str() const;

private:
    friend Date from_valid(const YearMonthDay& ymd, std::int32_t serial) noexcept;
    constexpr Date(std::int32_t serial, YearMonthDay ymd) noexcept : serial_(serial), ymd_(ymd) {}

    std::int32_t serial_;
    YearMonthDay ymd_;
};

static_assert(std::is_trivially_copyable_v<Date>);
static_assert(sizeof(Date) == 8);

// Serial day number of a valid triple (Fliegel-Van Flandern, 32-bit).
std::int32_t serial_from_ymd(const YearMonthDay& ymd) noexcept;

// A date whose triple and serial are already known to agree.
Date from_valid(const YearMonthDay& ymd, std::int32_t serial) noexcept;

std::expected<Date, std::string> try_from_ymd(std::int64_t year, std::int64_t month,
                                              std::int64_t day);
// Like try_from_ymd, but an invalid triple is a Failure with the validation text.
Date from_ymd(std::int64_t year, std::int64_t month, std::int64_t day);
// The date of a serial day number; outside -363..23242572 is a Failure.
Date from_int(std::int64_t serial);

// Parses "yyyy-mm-dd" (any separators) or "yyyymmdd".
std::expected<Date, std::string> parse_date(std::string_view text);

// Writes the text form into buf (at least 11 bytes) and returns its length.
std::size_t write_date(const Date& d, char* buf) noexcept;

}  // namespace vantorel
