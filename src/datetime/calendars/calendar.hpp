// src/datetime/calendars/calendar.hpp: a calendar chosen by name, and the date-side questions
#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <type_traits>

#include "datetime/calendars/cal_impl.hpp"

namespace vantorel {

// Holds one implementation. Implementations are stateless singletons, so a
// calendar is a plain pointer-sized value and copying it shares the rules.
class Calendar {
public:
    // "VT_WEEK" or "VT_NONE", exactly; any other name is the error
    // "Unknown calendar name (NAME)".
    static std::expected<Calendar, std::string> make(std::string_view name);

    [[nodiscard]] const CalendarImpl& impl() const noexcept { return *impl_; }
    [[nodiscard]] std::string_view get_name() const noexcept { return impl_->get_name(); }
    [[nodiscard]] bool is_business_day(const Date& date) const noexcept {
        return impl_->is_business_day(date);
    }
    [[nodiscard]] bool is_weekend(const Date& date) const noexcept { return impl_->is_weekend(date); }

private:
    explicit Calendar(const CalendarImpl& impl) noexcept : impl_(&impl) {}

    const CalendarImpl* impl_;
};

static_assert(std::is_trivially_copyable_v<Calendar>);

}  // namespace vantorel
