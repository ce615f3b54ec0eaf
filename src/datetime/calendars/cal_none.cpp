// src/datetime/calendars/cal_none.cpp: the calendar without weekends or holidays
#include "datetime/calendars/cal_none.hpp"

namespace vantorel {

std::string_view CalendarNone::get_name() const noexcept { return name; }

bool CalendarNone::is_business_day(const Date&) const noexcept { return true; }

bool CalendarNone::is_weekend(const Date&) const noexcept { return false; }

const CalendarNone& CalendarNone::instance() noexcept {
    static const CalendarNone calendar;
    return calendar;
}

}  // namespace vantorel
