// src/datetime/day_counter.hpp: day-count conventions turning two dates into a year fraction
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "datetime/date.hpp"
#include "enums/enum_info.hpp"

namespace vantorel {

enum class DayCounter : std::uint8_t { Act365, Act360, Thirty360 };

template <>
struct EnumInfo<DayCounter> {
    static constexpr std::string_view name = "DayCounter";
    static constexpr std::array<std::string_view, 3> members{"Act365", "Act360", "Thirty360"};
};

// "Act365", "Act360" or "Thirty360", exactly (case-sensitive); any other name
// is the error "Unknown day-counter name (NAME)".
std::expected<DayCounter, std::string> parse_day_counter(std::string_view name);

// Signed calendar days from date1 to date2 (32-bit, wrapping; exact for every
// pair of representable dates).
constexpr std::int32_t day_difference(const Date& date1, const Date& date2) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(date2.serial()) -
                                     static_cast<std::uint32_t>(date1.serial()));
}

constexpr double dcf_act365(const Date& date1, const Date& date2) noexcept {
    return static_cast<double>(day_difference(date1, date2)) / 365.0;
}

constexpr double dcf_act360(const Date& date1, const Date& date2) noexcept {
    return static_cast<double>(day_difference(date1, date2)) / 360.0;
}

// 30/360 has no computation: a Failure "not implemented".
[[noreturn]] double dcf_30360(const Date& date1, const Date& date2);

// Year fraction from date1 to date2 under dc; Thirty360 is a Failure
// "not implemented".
double get_dcf(DayCounter dc, const Date& date1, const Date& date2);

}  // namespace vantorel
