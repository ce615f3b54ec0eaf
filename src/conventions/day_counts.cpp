// src/conventions/day_counts.cpp: the day-count formulas, in the order of the DayCount members
#include "conventions/day_counts.hpp"

#include <algorithm>
#include <cmath>

#include "conventions/business_days.hpp"

namespace vantorel {

namespace {

double thirty_360(const Date& a, int dd1, const Date& b, int dd2) noexcept {
    const int days = 360 * (b.year() - a.year()) + 30 * (b.month() - a.month()) + (dd2 - dd1);
    return static_cast<double>(days) / 360.0;
}

bool last_of_february(const Date& d) noexcept { return d.month() == 2 && d.day() == month_length(d.year(), 2); }

std::int32_t january_first(int year) { return serial_from_ymd(*YearMonthDay::make(year, 1, 1)); }

}  // namespace

double dcf_30360_us(std::int32_t d1, std::int32_t d2) {
    const Date a = from_int(d1), b = from_int(d2);
    int dd1 = a.day(), dd2 = b.day();
    if (dd1 == 31) dd1 = 30;
    if (dd2 == 31 && dd1 == 30) dd2 = 30;
    return thirty_360(a, dd1, b, dd2);
}

double dcf_30e360(std::int32_t d1, std::int32_t d2) {
    const Date a = from_int(d1), b = from_int(d2);
    return thirty_360(a, a.day() == 31 ? 30 : a.day(), b, b.day() == 31 ? 30 : b.day());
}

double dcf_30e360_isda(std::int32_t d1, std::int32_t d2, std::int32_t termination) {
    const Date a = from_int(d1), b = from_int(d2);
    int dd1 = a.day(), dd2 = b.day();
    if (dd1 == 31 || last_of_february(a)) dd1 = 30;
    if (dd2 == 31 || (last_of_february(b) && d2 != termination)) dd2 = 30;
    return thirty_360(a, dd1, b, dd2);
}

double dcf_act_act_isda(std::int32_t d1, std::int32_t d2) {
    if (d1 == d2) return 0.0;
    if (d1 > d2) return -dcf_act_act_isda(d2, d1);
    const int y1 = from_int(d1).year(), y2 = from_int(d2).year();
    const double dib1 = is_leap_year(static_cast<std::uint16_t>(y1)) ? 366.0 : 365.0;
    const double dib2 = is_leap_year(static_cast<std::uint16_t>(y2)) ? 366.0 : 365.0;
    double sum = y2 - y1 - 1;
    sum += static_cast<double>(january_first(y1 + 1) - d1) / dib1;
    sum += static_cast<double>(d2 - january_first(y2)) / dib2;
    return sum;
}

double dcf_act_act_icma(std::int32_t d1, std::int32_t d2, std::int32_t ref_start, std::int32_t ref_end) {
    if (d1 == d2) return 0.0;
    if (d1 > d2) return -dcf_act_act_icma(d2, d1, ref_start, ref_end);
    if (ref_end <= ref_start) return std::nan("");
    const long months = std::lround(12.0 * static_cast<double>(ref_end - ref_start) / 365.0);
    if (months == 0) return std::nan("");
    const double period = static_cast<double>(months) / 12.0;
    // The notional period k steps from the reference one (k < 0: before it),
    // its ends counted in whole periods from the reference period's ends.
    const Date rs = from_int(ref_start), re = from_int(ref_end);
    const auto bound = [&](const Date& anchor, long k) {
        return add_tenor(anchor, Tenor{static_cast<std::int16_t>(k * months), TenorUnit::M}).serial();
    };
    const auto part = [&](std::int32_t a, std::int32_t b, std::int32_t lo, std::int32_t hi) {
        return period * static_cast<double>(b - a) / static_cast<double>(hi - lo);
    };
    double sum = 0.0;
    if (d1 < ref_start) {
        // Periods before the reference one, from the earliest on.
        long k = 1;
        while (bound(rs, -k) > d1) ++k;
        for (; k >= 1; --k) {
            const std::int32_t lo = bound(rs, -k), hi = k == 1 ? ref_start : bound(rs, -(k - 1));
            const std::int32_t a = std::max(d1, lo), b = std::min(d2, hi);
            if (a < b) sum += part(a, b, lo, hi);
        }
    }
    if (d2 > ref_start && d1 < ref_end) sum += part(std::max(d1, ref_start), std::min(d2, ref_end), ref_start, ref_end);
    for (long k = 1; d2 > ref_end && bound(re, k - 1) < d2; ++k) {
        const std::int32_t lo = k == 1 ? ref_end : bound(re, k - 1), hi = bound(re, k);
        const std::int32_t a = std::max(d1, lo), b = std::min(d2, hi);
        if (a < b) sum += part(a, b, lo, hi);
    }
    return sum;
}

std::expected<double, std::string> dcf_bus252(const HolidayCalendar& cal, std::int32_t d1, std::int32_t d2) {
    auto n = cal.business_days_between(d1, d2, true, false);
    if (!n) return std::unexpected(std::move(n.error()));
    return static_cast<double>(*n) / 252.0;
}

}  // namespace vantorel
