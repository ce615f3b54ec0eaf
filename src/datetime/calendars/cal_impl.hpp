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
};

}  // namespace vantorel
