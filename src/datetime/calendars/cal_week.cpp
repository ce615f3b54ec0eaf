// src/datetime/calendars/cal_week.cpp: the calendar whose only closed days are weekends
#include "datetime/calendars/cal_week.hpp"

namespace vantorel {

std::string_view CalendarWeek::get_name() const noexcept { return name; }

// Same weekday as Date::weekday reports, so the two never disagree.
bool CalendarWeek::is_weekend(const Date& date) const noexcept {
    const Weekday w = date.weekday();
    return w == Weekday::Saturday || w == Weekday::Sunday;
}

bool CalendarWeek::is_business_day(const Date& date) const noexcept { return !is_weekend(date); }

const CalendarWeek& CalendarWeek::instance() noexcept {
    static const CalendarWeek calendar;
    return calendar;
}

}  // namespace vantorel
