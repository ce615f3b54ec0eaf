// src/datetime/calendars/cal_week.hpp: the calendar whose only closed days are weekends
#pragma once

#include "datetime/calendars/cal_impl.hpp"

namespace vantorel {

// "VT_WEEK": Saturday and Sunday are weekend days, every other date is a
// business day. No holidays.
class CalendarWeek final : public CalendarImpl {
public:
    static constexpr std::string_view name = "VT_WEEK";

    [[nodiscard]] std::string_view get_name() const noexcept override;
    [[nodiscard]] bool is_business_day(const Date& date) const noexcept override;
    [[nodiscard]] bool is_weekend(const Date& date) const noexcept override;
    [[nodiscard]] int weekend_only() const noexcept override { return (1 << 5) | (1 << 6); }  // Saturday and Sunday

    // The one shared instance.
    static const CalendarWeek& instance() noexcept;
};

}  // namespace vantorel
