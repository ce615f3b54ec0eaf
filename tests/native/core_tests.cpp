// tests/native/core_tests.cpp: checks of the native core without Python
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/failure.hpp"
#include "core/number_format.hpp"
#include "datetime/date.hpp"

namespace {

int failures = 0;

void check(bool ok, const char* what, long long detail = 0) {
    if (!ok) {
        ++failures;
        if (failures <= 20) std::fprintf(stderr, "FAILED: %s (%lld)\n", what, detail);
    }
}

using namespace vantorel;

static_assert(std::is_trivially_copyable_v<Date>);
static_assert(std::is_trivially_copyable_v<YearMonthDay>);
static_assert(is_leap_year(2000) && !is_leap_year(1900) && is_leap_year(2024) && !is_leap_year(2023));

// Walks every representable serial: the triple is the next day of the previous
// triple, the serial computed back from it is the same, and the weekday advances
// by one each day.
void walk_every_serial() {
    Date previous = from_int(min_serial);
    check(previous.year() == 1899 && previous.month() == 1 && previous.day() == 1, "first date");
    check(previous.weekday() == Weekday::Sunday, "1899-01-01 is a Sunday");
    for (std::int32_t s = min_serial + 1; s <= max_serial; ++s) {
        const Date d = from_int(s);
        const auto ymd = YearMonthDay::make(d.year(), d.month(), d.day());
        check(ymd.has_value() && serial_from_ymd(*ymd) == s, "serial round trip", s);
        const bool next_day = d.day() == previous.day() + 1 && d.month() == previous.month() &&
                              d.year() == previous.year();
        const bool next_month = d.day() == 1 && previous.day() == month_length(previous.year(), previous.month()) &&
                                ((d.month() == previous.month() + 1 && d.year() == previous.year()) ||
                                 (d.month() == 1 && previous.month() == 12 && d.year() == previous.year() + 1));
        check(next_day || next_month, "consecutive days", s);
        check(code_of(d.weekday()) == (code_of(previous.weekday()) + 1) % 7, "weekday advances", s);
        previous = d;
    }
    check(previous.year() == 65535 && previous.month() == 12 && previous.day() == 31, "last date");
}

void out_of_range_serials_fail() {
    for (const std::int64_t s : {std::int64_t{-364}, std::int64_t{max_serial} + 1, std::int64_t{-2147483648LL} - 1,
                                 std::int64_t{4294967296LL}}) {
        bool failed = false;
        try {
            (void)from_int(s);
        } catch (const Failure&) {
            failed = true;
        }
        check(failed, "out-of-range serial fails", s);
    }
}

void plain_number_format() {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0, "0"}, {-0.0, "-0"}, {1.0, "1"}, {2.0, "2"}, {100.0, "100"}, {0.99, "0.99"},
        {1e-7, "0.0000001"}, {1.5e-7, "0.00000015"}, {0.0001, "0.0001"}, {37.5, "37.5"},
        {0.1, "0.1"}, {1e21, "1000000000000000000000"}, {-2.5, "-2.5"},
        {9.227006, "9.227006"}, {123456.789, "123456.789"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {5e-324, nullptr}, {1.7976931348623157e308, nullptr},
    };
    for (const auto& c : cases) {
        const std::string text = format_plain(c.value);
        if (c.text != nullptr) {
            check(text == c.text, (std::string(c.text) + " != " + text).c_str());
        } else {  // extremes: plain digits that read back exactly
            check(text.find('e') == std::string::npos && std::strtod(text.c_str(), nullptr) == c.value,
                  "extreme round trip");
        }
    }
}

}  // namespace

int main() {
    walk_every_serial();
    out_of_range_serials_fail();
    plain_number_format();
    if (failures != 0) {
        std::fprintf(stderr, "%d native check(s) failed\n", failures);
        return 1;
    }
    std::puts("native core checks passed");
    return 0;
}
