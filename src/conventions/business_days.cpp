// src/conventions/business_days.cpp: adjustment and advance over a calendar's bitset
#include "conventions/business_days.hpp"

namespace vantorel {

namespace {

// Walks from serial by step until an open day; false when the walk leaves the calendar.
bool walk(const HolidayCalendar& cal, std::int32_t& serial, int step) noexcept {
    while (cal.closed(serial)) {
        serial += step;
        if (!cal.covers(serial)) return false;
    }
    return true;
}

std::expected<std::int32_t, std::string> walk_checked(const HolidayCalendar& cal, std::int32_t serial, int step) {
    if (!cal.covers(serial)) return std::unexpected(cal.range_error(serial));
    std::int32_t s = serial;
    if (!walk(cal, s, step)) return std::unexpected(cal.range_error(s));
    return s;
}

int month_of(std::int32_t serial) { return from_int(serial).month(); }

}  // namespace

std::int32_t month_end(std::int32_t serial) {
    const Date d = from_int(serial);
    return serial + (month_length(d.year(), d.month()) - d.day());
}

std::expected<std::int32_t, std::string> adjust(const HolidayCalendar& cal, std::int32_t serial, BusDayAdj adj) {
    if (!cal.covers(serial)) return std::unexpected(cal.range_error(serial));
    if (adj == BusDayAdj::Unadjusted || !cal.closed(serial)) return serial;
    if (adj == BusDayAdj::Preceding) return walk_checked(cal, serial, -1);
    auto next = walk_checked(cal, serial, 1);
    if (adj == BusDayAdj::Following || !next) return next;
    if (*next > month_end(serial)) return walk_checked(cal, serial, -1);
    return next;
}

std::expected<bool, std::string> is_end_of_month(const HolidayCalendar& cal, std::int32_t serial) {
    if (!cal.covers(serial)) return std::unexpected(cal.range_error(serial));
    auto next = walk_checked(cal, serial + 1, 1);
    if (!next) return std::unexpected(std::move(next.error()));
    return month_of(*next) != month_of(serial);
}

std::expected<std::int32_t, std::string> end_of_month(const HolidayCalendar& cal, std::int32_t serial) {
    if (!cal.covers(serial)) return std::unexpected(cal.range_error(serial));
    return walk_checked(cal, month_end(serial), -1);
}

std::expected<std::int32_t, std::string> advance(const HolidayCalendar& cal, std::int32_t serial, Tenor period,
                                                 BusDayAdj adj, bool end_of_month_rule) {
    if (!cal.covers(serial)) return std::unexpected(cal.range_error(serial));
    const int n = period.count;
    switch (period.unit) {
        case TenorUnit::B: {
            if (n == 0) return adjust(cal, serial, adj);
            const int step = n > 0 ? 1 : -1;
            std::int32_t s = serial;
            for (int left = n > 0 ? n : -n; left > 0; --left) {
                s += step;
                if (!cal.covers(s) || !walk(cal, s, step)) return std::unexpected(cal.range_error(s));
            }
            return s;
        }
        case TenorUnit::D:
        case TenorUnit::W:
            return adjust(cal, serial + (period.unit == TenorUnit::W ? 7 : 1) * n, adj);
        case TenorUnit::M:
        case TenorUnit::Y: {
            if (n == 0) return adjust(cal, serial, adj);
            const std::int64_t moved = std::int64_t{add_tenor(from_int(serial), period).serial()};
            if (moved < cal.first_serial() || moved > cal.last_serial())
                return std::unexpected(cal.range_error(static_cast<std::int32_t>(moved)));
            const auto target = static_cast<std::int32_t>(moved);
            if (end_of_month_rule) {
                // Unadjusted keeps to calendar month ends; the other conventions
                // to the calendar's last business days.
                if (adj == BusDayAdj::Unadjusted) {
                    if (month_end(serial) == serial) return month_end(target);
                } else {
                    auto eom = is_end_of_month(cal, serial);
                    if (!eom) return std::unexpected(std::move(eom.error()));
                    if (*eom) return end_of_month(cal, target);
                }
            }
            return adjust(cal, target, adj);
        }
    }
    return serial;
}

}  // namespace vantorel
