// src/conventions/day_counts.hpp: the day-count conventions of the rates package
#pragma once

#include <cstdint>
#include <expected>
#include <string>

#include "conventions/holiday_calendar.hpp"
#include "enums/enum_info.hpp"

namespace vantorel {

enum class DayCount : std::uint8_t {
    Thirty360,      // 30/360, US bond basis
    Thirty360E,     // 30E/360, Eurobond basis
    Thirty360EIsda, // 30E/360 ISDA (German)
    ActActIsda,     // Actual/Actual ISDA
    ActActIcma,     // Actual/Actual ICMA, over a reference period
    Act365,         // Actual/365 Fixed
    Act360,         // Actual/360
    Bus252,         // business days of a calendar over 252
};

template <>
struct EnumInfo<DayCount> {
    static constexpr std::string_view name = "DayCount";
    static constexpr std::array<std::string_view, 8> members{
        "Thirty360", "Thirty360E", "Thirty360EIsda", "ActActIsda", "ActActIcma", "Act365", "Act360", "Bus252"};
};

// 30/360 family: (360 (y2 - y1) + 30 (m2 - m1) + (d2 - d1)) / 360 after each
// rule's day changes:
// - US bond basis: d1 = 31 -> 30; d2 = 31 -> 30 when d1 is then 30;
// - Eurobond: 31 -> 30 on either date;
// - ISDA: 31 or the last day of February -> 30, but for d2 = the last day of
//   February when d2 is the termination date.
double dcf_30360_us(std::int32_t d1, std::int32_t d2);
double dcf_30e360(std::int32_t d1, std::int32_t d2);
double dcf_30e360_isda(std::int32_t d1, std::int32_t d2, std::int32_t termination);

// Actual/Actual ISDA: the days in each calendar year over that year's length,
// summed as (y2 - y1 - 1) + days to the next 1 January / its year's length +
// days from 1 January of d2's year / its length.
double dcf_act_act_isda(std::int32_t d1, std::int32_t d2);

// Actual/Actual ICMA: days over the reference period's days, times the
// period's length in years (its months, rounded, over 12). A span outside the
// reference period is split at the notional period boundaries before and after it.
double dcf_act_act_icma(std::int32_t d1, std::int32_t d2, std::int32_t ref_start, std::int32_t ref_end);

inline double dcf_act365_serial(std::int32_t d1, std::int32_t d2) noexcept {
    return static_cast<double>(d2 - d1) / 365.0;
}
inline double dcf_act360_serial(std::int32_t d1, std::int32_t d2) noexcept {
    return static_cast<double>(d2 - d1) / 360.0;
}

// Business days of cal in [d1, d2) over 252 (negative when d2 is before d1).
std::expected<double, std::string> dcf_bus252(const HolidayCalendar& cal, std::int32_t d1, std::int32_t d2);

}  // namespace vantorel
