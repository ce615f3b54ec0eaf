// src/conventions/holiday_calendar.hpp: holiday calendars as a weekend mask plus rules, queried through a bitset
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "datetime/date.hpp"

namespace vantorel {

// How a fixed-date holiday moves when it falls on a weekend day.
enum class Roll : std::uint8_t {
    None,        // stays where it is (lost when on a weekend)
    Nearest,     // Saturday to the Friday before, Sunday to the Monday after
    SundayNext,  // Sunday to the Monday after; Saturday stays
    Substitute,  // a weekend day to the next weekday that is not already a holiday
    SundaySubstitute,  // Sunday to the next weekday that is not already a holiday; Saturday stays
};

enum class RuleKind : std::uint8_t {
    Fixed,        // month/day, with a roll
    NthWeekday,   // the n-th weekday of a month (n < 0: counted from the month's end)
    Easter,       // Easter Sunday plus offset days (Western)
    WeekdayOnOrBefore,  // the weekday on or before month/day (Victoria Day: Monday on or before May 24)
    VernalEquinox,      // the day of the March equinox in Japan, with a roll
    AutumnEquinox,      // the day of the September equinox in Japan, with a roll
};

// One holiday rule and the years it holds for (inclusive). A one-off closure
// is a Fixed rule of a single year.
struct HolidayRule {
    RuleKind kind;
    std::uint8_t month = 0;
    std::int8_t day = 0;          // Fixed, WeekdayOnOrBefore: day of month; Easter: offset (signed)
    std::uint8_t weekday = 0;     // Monday 0 .. Sunday 6
    std::int8_t n = 0;            // NthWeekday: 1..5 or -1 (last)
    Roll roll = Roll::None;
    std::uint16_t first_year = 1;
    std::uint16_t last_year = 9999;
    // No holiday when the day falls in the first seven days of its month.
    bool except_first_week = false;
};

// The table of one market: its name, weekend, years and rules.
struct MarketTable {
    std::string_view name;
    std::uint8_t weekend_mask;  // bit w set: weekday w (Monday 0) is a weekend day
    std::uint16_t first_year, last_year;
    std::span<const HolidayRule> rules;
    // Days between two holidays of the same year that become holidays
    // themselves (from this year on; 0: never).
    std::uint16_t bridge_from = 0;
};

// The tables of the markets, in the order of the names known to make().
std::span<const MarketTable> market_tables() noexcept;

// A calendar: the days of its years as one bitset of closed days (weekends
// and holidays), built once from the rules. Immutable after construction and
// shared by every holder.
class HolidayCalendar {
public:
    // A market by name; an unknown name is the error listing the known names.
    static std::expected<std::shared_ptr<const HolidayCalendar>, std::string> make(std::string_view name);
    // Weekends only (mask as above) over [first_year, last_year], with the given holidays.
    static std::expected<std::shared_ptr<const HolidayCalendar>, std::string> from_holidays(
        std::string name, std::uint8_t weekend_mask, std::span<const std::int32_t> holidays,
        std::uint16_t first_year, std::uint16_t last_year);
    // A day is closed in the result if it is closed in any (join_all false)
    // or in all (true) of the calendars; the years are those all of them cover.
    static std::expected<std::shared_ptr<const HolidayCalendar>, std::string> join(
        std::span<const HolidayCalendar* const> calendars, bool join_all);
    // This calendar with some days made holidays and others business days.
    std::expected<std::shared_ptr<const HolidayCalendar>, std::string> with_changes(
        std::span<const std::int32_t> added, std::span<const std::int32_t> removed) const;

    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    [[nodiscard]] std::uint8_t weekend_mask() const noexcept { return weekend_mask_; }
    [[nodiscard]] std::uint16_t first_year() const noexcept { return first_year_; }
    [[nodiscard]] std::uint16_t last_year() const noexcept { return last_year_; }
    [[nodiscard]] std::int32_t first_serial() const noexcept { return first_serial_; }
    [[nodiscard]] std::int32_t last_serial() const noexcept { return last_serial_; }

    [[nodiscard]] bool covers(std::int32_t serial) const noexcept {
        return serial >= first_serial_ && serial <= last_serial_;
    }
    // The error text for a day outside the calendar's years.
    [[nodiscard]] std::string range_error(std::int32_t serial) const;

    // Queries on a covered serial (no check).
    [[nodiscard]] bool closed(std::int32_t serial) const noexcept {
        const auto i = static_cast<std::uint32_t>(serial - first_serial_);
        return (bits_[i >> 6] >> (i & 63)) & 1u;
    }
    [[nodiscard]] bool weekend(std::int32_t serial) const noexcept {
        return (weekend_mask_ >> weekday_of(serial)) & 1u;
    }
    static constexpr unsigned weekday_of(std::int32_t serial) noexcept {
        const std::int32_t w = (serial - 2) % 7;
        return static_cast<unsigned>(w < 0 ? w + 7 : w);
    }

    // Checked queries: a day outside the years is the range error.
    std::expected<bool, std::string> is_business_day(std::int32_t serial) const;
    std::expected<bool, std::string> is_holiday(std::int32_t serial) const;
    std::expected<bool, std::string> is_weekend(std::int32_t serial) const;
    // Holidays (closed days that are not weekend days, or all closed days)
    // from start to end inclusive.
    std::expected<std::vector<std::int32_t>, std::string> holidays(std::int32_t start, std::int32_t end,
                                                                    bool include_weekends) const;
    // Business days in [start, end) (negative when end is before start).
    std::expected<std::int64_t, std::string> business_days_between(std::int32_t start, std::int32_t end,
                                                                    bool include_first, bool include_last) const;

    HolidayCalendar(std::string name, std::uint8_t weekend_mask, std::uint16_t first_year, std::uint16_t last_year);

private:
    void set_closed(std::int32_t serial, bool value) noexcept;
    // Counts the open days before each word of the bitset, once the bits are final.
    void finish();
    // Open days from the first day up to serial (excluded); serial in [first, last + 1].
    [[nodiscard]] std::int64_t open_before(std::int32_t serial) const noexcept;

    std::string name_;
    std::uint8_t weekend_mask_;
    std::uint16_t first_year_, last_year_;
    std::int32_t first_serial_, last_serial_;
    std::vector<std::uint64_t> bits_;
    std::vector<std::int32_t> open_before_word_;

    friend std::shared_ptr<const HolidayCalendar> build_market(const MarketTable& table);
};

// Western Easter Sunday of a year (Gregorian computus).
Date easter_sunday(std::uint16_t year);

// The day of month of the Japanese vernal / autumnal equinox (years 1900-2150).
int vernal_equinox_day(int year) noexcept;
int autumn_equinox_day(int year) noexcept;

}  // namespace vantorel
