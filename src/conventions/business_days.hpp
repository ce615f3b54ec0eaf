// src/conventions/business_days.hpp: business-day adjustment and moving dates by periods on a calendar
#pragma once

#include <cstdint>
#include <expected>
#include <string>

#include "conventions/holiday_calendar.hpp"
#include "datetime/tenor.hpp"
#include "enums/bus_day_adj.hpp"

namespace vantorel {

// The date a convention makes of a day: itself when a business day, else the
// next business day (Following), the previous one (Preceding), or the next
// one unless that is in the next month, then the previous one (ModFollowing).
std::expected<std::int32_t, std::string> adjust(const HolidayCalendar& cal, std::int32_t serial, BusDayAdj adj);

// True when the next business day is in another month.
std::expected<bool, std::string> is_end_of_month(const HolidayCalendar& cal, std::int32_t serial);
// The last business day of the day's month.
std::expected<std::int32_t, std::string> end_of_month(const HolidayCalendar& cal, std::int32_t serial);

// Moves a day by a period and adjusts it:
// - B: |n| business days forward or back (0B is the adjusted day itself);
// - D, W: n or 7n calendar days, then the convention;
// - M, Y: the same day n months or years on (clamped to the month's length),
//   then the convention; with end_of_month, a day that is the calendar's last
//   business day of its month goes to the last business day of the target month
//   (Unadjusted: a last day of a month goes to the last day of the target month).
std::expected<std::int32_t, std::string> advance(const HolidayCalendar& cal, std::int32_t serial, Tenor period,
                                                 BusDayAdj adj, bool end_of_month);

// The last day of the day's month (no calendar).
std::int32_t month_end(std::int32_t serial);

}  // namespace vantorel
