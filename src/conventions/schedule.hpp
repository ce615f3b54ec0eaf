// src/conventions/schedule.hpp: coupon schedules from an effective date to a termination date
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "conventions/holiday_calendar.hpp"
#include "datetime/tenor.hpp"
#include "enums/bus_day_adj.hpp"
#include "enums/stub_type.hpp"

namespace vantorel {

struct ScheduleTerms {
    std::int32_t effective;
    std::int32_t termination;
    Tenor tenor;
    BusDayAdj convention = BusDayAdj::Following;
    BusDayAdj termination_convention = BusDayAdj::Following;
    StubType stub = StubType::FrontShort;
    bool end_of_month = false;
    std::optional<std::int32_t> first_date;
    std::optional<std::int32_t> next_to_last_date;
};

// The dates of a schedule and, per period i (from date i to date i+1), its
// reference period: the period itself when regular, the full tenor ending at
// its end (front stub) or starting at its start (back stub) when not.
struct Schedule {
    std::vector<std::int32_t> unadjusted;
    std::vector<std::int32_t> adjusted;
    std::vector<std::uint8_t> regular;  // per period
    std::vector<std::int32_t> reference_start, reference_end;  // per period
    Tenor tenor;
};

// Front stubs are found by stepping back from the termination date (or the
// next-to-last date), back stubs by stepping forward from the effective date
// (or the first date): the k-th date is the anchor moved by k tenors, so that
// no day is lost to a short month. A long stub joins the short stub to the
// period next to it; NoStub is an error unless the tenor divides the span.
// Dates that adjust to the same day are kept once. The effective date is
// adjusted by the convention, the termination date by its own. With the
// end-of-month rule (month and year tenors) and an anchor on its month's last
// business day, every date between them is its month's last day, adjusted.
std::expected<Schedule, std::string> make_schedule(const HolidayCalendar& cal, const ScheduleTerms& terms);

}  // namespace vantorel
