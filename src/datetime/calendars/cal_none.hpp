// src/datetime/calendars/cal_none.hpp: the calendar without weekends or holidays
#pragma once

#include "datetime/calendars/cal_impl.hpp"

namespace vantorel {

// "VT_NONE": every date is a business day and none is a weekend day.
class CalendarNone final : public CalendarImpl {
public:
    static constexpr std::string_view name = "VT_NONE";

    [[nodiscard]] std::string_view get_name() const noexcept override;
    [[nodiscard]] bool is_business_day(const Date& date) const noexcept override;
    [[nodiscard]] bool is_weekend(const Date& date) const noexcept override;
    [[nodiscard]] int weekend_only() const noexcept override { return 0; }  // no weekend

    // The one shared instance.
    static const CalendarNone& instance() noexcept;
};

}  // namespace vantorel
