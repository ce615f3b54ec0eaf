// src/datetime/calendars/calendar.cpp: choosing a calendar implementation by name
#include "datetime/calendars/calendar.hpp"

#include "datetime/calendars/cal_none.hpp"
#include "datetime/calendars/cal_week.hpp"

namespace vantorel {

std::expected<Calendar, std::string> Calendar::make(std::string_view name) {
    if (name == CalendarWeek::name) return Calendar(CalendarWeek::instance());
    if (name == CalendarNone::name) return Calendar(CalendarNone::instance());
    return std::unexpected("Unknown calendar name (" + std::string(name) + ")");
}

}  // namespace vantorel
