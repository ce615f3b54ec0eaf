// src/datetime/calendars/cal_impl.hpp: the interface every business-day calendar implements
#pragma once

#include <string_view>

#include "datetime/date.hpp"

namespace vantorel {

// Rules of one calendar. Implementations hold no state: their answers depend
// only on the date, so one instance of each can serve every calendar.
class CalendarImpl {
public:
    CalendarImpl() = default;
    CalendarImpl(const CalendarImpl&) = delete;
    CalendarImpl& operator=(const CalendarImpl&) = delete;
    virtual ~CalendarImpl() = default;

    // The fixed name the calendar is chosen by ("VT_WEEK").
    [[nodiscard]] virtual std::string_view get_name() const noexcept = 0;
    [[nodiscard]] virtual bool is_business_day(const Date& date) const noexcept = 0;
    [[nodiscard]] virtual bool is_weekend(const Date& date) const noexcept = 0;
    // For a calendar whose only non-business days are its weekend days: those
    // days as bits (bit k for weekday code k, Monday 0); -1 for a calendar with
    // holidays. Array loops answer the first kind from the weekday alone.
    [[nodiscard]] virtual int weekend_only() const noexcept { return -1; }
};

}  // namespace vantorel
