// src/conventions/holiday_calendar.cpp: building a calendar's bitset from its rules, and the queries on it
#include "conventions/holiday_calendar.hpp"

#include <algorithm>
#include <bit>

namespace vantorel {

namespace {

std::int32_t serial_of(int year, int month, int day) noexcept {
    return serial_from_ymd(*YearMonthDay::make(year, month, day));
}

bool valid_day(int year, int month, int day) noexcept {
    return month >= 1 && month <= 12 && day >= 1 &&
           day <= month_length(static_cast<std::uint16_t>(year), static_cast<std::uint8_t>(month));
}

// The raw date of a rule in a year, before any roll; false when the rule has
// no day that year (a 29 February, say).
bool raw_date(const HolidayRule& r, int year, std::int32_t& out) noexcept {
    switch (r.kind) {
        case RuleKind::Fixed:
            if (!valid_day(year, r.month, r.day)) return false;
            out = serial_of(year, r.month, r.day);
            return true;
        case RuleKind::NthWeekday: {
            if (r.n > 0) {
                const std::int32_t first = serial_of(year, r.month, 1);
                const unsigned w0 = HolidayCalendar::weekday_of(first);
                out = first + static_cast<std::int32_t>((r.weekday + 7 - w0) % 7) + 7 * (r.n - 1);
                return valid_day(year, r.month, static_cast<int>(out - first + 1));
            }
            const std::int32_t last =
                serial_of(year, r.month, month_length(static_cast<std::uint16_t>(year), r.month));
            const unsigned wl = HolidayCalendar::weekday_of(last);
            out = last - static_cast<std::int32_t>((wl + 7 - r.weekday) % 7) - 7 * (-r.n - 1);
            return true;
        }
        case RuleKind::Easter:
            out = easter_sunday(static_cast<std::uint16_t>(year)).serial() + r.day;
            return true;
        case RuleKind::WeekdayOnOrBefore: {
            const std::int32_t s = serial_of(year, r.month, r.day);
            out = s - static_cast<std::int32_t>((HolidayCalendar::weekday_of(s) + 7 - r.weekday) % 7);
            return true;
        }
        case RuleKind::VernalEquinox:
            out = serial_of(year, 3, vernal_equinox_day(year));
            return true;
        case RuleKind::AutumnEquinox:
            out = serial_of(year, 9, autumn_equinox_day(year));
            return true;
    }
    return false;
}

constexpr unsigned saturday = 5, sunday = 6;

}  // namespace

Date easter_sunday(std::uint16_t year) {
    const int y = year;
    const int a = y % 19, b = y / 100, c = y % 100, d = b / 4, e = b % 4;
    const int f = (b + 8) / 25, g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4, k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31;
    const int day = (h + l - 7 * m + 114) % 31 + 1;
    return from_ymd(y, month, day);
}

// The usual formulas of the equinox days, in exact integer arithmetic: the
// constants are millionths of a day (20.8431 + 0.242194 * (y - 1980) ...).
int vernal_equinox_day(int year) noexcept {
    const long long dy = year - 1980;
    if (year < 1980) return static_cast<int>((20835700LL + 242194LL * dy) / 1000000LL - (year - 1983) / 4);
    if (year < 2100) return static_cast<int>((20843100LL + 242194LL * dy) / 1000000LL - dy / 4);
    return static_cast<int>((21851000LL + 242194LL * dy) / 1000000LL - dy / 4);
}

int autumn_equinox_day(int year) noexcept {
    const long long dy = year - 1980;
    if (year < 1980) return static_cast<int>((23258800LL + 242194LL * dy) / 1000000LL - (year - 1983) / 4);
    if (year < 2100) return static_cast<int>((23248800LL + 242194LL * dy) / 1000000LL - dy / 4);
    return static_cast<int>((24248800LL + 242194LL * dy) / 1000000LL - dy / 4);
}

HolidayCalendar::HolidayCalendar(std::string name, std::uint8_t weekend_mask, std::uint16_t first_year,
                                 std::uint16_t last_year)
    : name_(std::move(name)),
      weekend_mask_(weekend_mask),
      first_year_(first_year),
      last_year_(last_year),
      first_serial_(serial_of(first_year, 1, 1)),
      last_serial_(serial_of(last_year, 12, 31)) {
    const auto days = static_cast<std::size_t>(last_serial_ - first_serial_ + 1);
    bits_.assign((days + 63) / 64, 0);
    for (std::int32_t s = first_serial_; s <= last_serial_; ++s)
        if (weekend(s)) set_closed(s, true);
    finish();
}

void HolidayCalendar::finish() {
    open_before_word_.assign(bits_.size() + 1, 0);
    const auto days = static_cast<std::uint32_t>(last_serial_ - first_serial_ + 1);
    for (std::size_t w = 0; w < bits_.size(); ++w) {
        // Padding bits past the last day are not days.
        const std::uint32_t in_word = std::min<std::uint32_t>(64, days - static_cast<std::uint32_t>(w * 64));
        const std::uint64_t valid = in_word == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << in_word) - 1;
        open_before_word_[w + 1] = open_before_word_[w] + std::popcount(~bits_[w] & valid);
    }
}

std::int64_t HolidayCalendar::open_before(std::int32_t serial) const noexcept {
    const auto i = static_cast<std::uint32_t>(serial - first_serial_);
    const std::uint32_t w = i >> 6, b = i & 63;
    if (b == 0) return open_before_word_[w];
    return open_before_word_[w] + std::popcount(~bits_[w] & ((std::uint64_t{1} << b) - 1));
}

void HolidayCalendar::set_closed(std::int32_t serial, bool value) noexcept {
    if (!covers(serial)) return;
    const auto i = static_cast<std::uint32_t>(serial - first_serial_);
    if (value)
        bits_[i >> 6] |= std::uint64_t{1} << (i & 63);
    else
        bits_[i >> 6] &= ~(std::uint64_t{1} << (i & 63));
}

std::shared_ptr<const HolidayCalendar> build_market(const MarketTable& table) {
    auto cal = std::make_shared<HolidayCalendar>(std::string(table.name), table.weekend_mask, table.first_year,
                                                 table.last_year);
    // Holidays of the years around the calendar's, so that a roll across a
    // year's end lands inside.
    std::vector<std::int32_t> fixed, deferred;
    for (int year = table.first_year - 1; year <= table.last_year + 1; ++year) {
        fixed.clear(), deferred.clear();
        for (const HolidayRule& r : table.rules) {
            if (year < r.first_year || year > r.last_year) continue;
            std::int32_t s = 0;
            if (!raw_date(r, year, s)) continue;
            if (r.except_first_week && from_int(s).day() <= 7) continue;
            const unsigned w = HolidayCalendar::weekday_of(s);
            switch (r.roll) {
                case Roll::None: break;
                case Roll::Nearest: s += w == saturday ? -1 : w == sunday ? 1 : 0; break;
                case Roll::SundayNext: s += w == sunday ? 1 : 0; break;
                case Roll::Substitute:
                case Roll::SundaySubstitute:
                    if (r.roll == Roll::Substitute ? cal->weekend(s) : w == sunday) {
                        deferred.push_back(s);
                        continue;
                    }
                    break;
            }
            fixed.push_back(s);
        }
        std::ranges::sort(fixed);
        // Each weekend holiday, in date order, to the next weekday that is not
        // a holiday already.
        std::ranges::sort(deferred);
        for (std::int32_t s : deferred) {
            while (cal->weekend(s) || std::ranges::binary_search(fixed, s)) ++s;
            fixed.insert(std::ranges::upper_bound(fixed, s), s);
        }
        if (table.bridge_from != 0 && year >= table.bridge_from) {
            std::vector<std::int32_t> bridges;
            for (std::size_t i = 1; i < fixed.size(); ++i)
                if (fixed[i] - fixed[i - 1] == 2 && !cal->weekend(fixed[i] - 1)) bridges.push_back(fixed[i] - 1);
            fixed.insert(fixed.end(), bridges.begin(), bridges.end());
        }
        for (std::int32_t s : fixed) cal->set_closed(s, true);
    }
    cal->finish();
    return cal;
}

std::expected<std::shared_ptr<const HolidayCalendar>, std::string> HolidayCalendar::make(std::string_view name) {
    const auto tables = market_tables();
    for (std::size_t i = 0; i < tables.size(); ++i) {
        if (tables[i].name != name) continue;
        // Built on first use and kept for the process; the tables never change.
        static std::vector<std::shared_ptr<const HolidayCalendar>> built(tables.size());
        if (!built[i]) built[i] = build_market(tables[i]);
        return built[i];
    }
    std::string text = "Unknown calendar name (" + std::string(name) + "), known names are: ";
    for (std::size_t i = 0; i < tables.size(); ++i) {
        if (i > 0) text += ", ";
        text += tables[i].name;
    }
    return std::unexpected(std::move(text));
}

std::string HolidayCalendar::range_error(std::int32_t serial) const {
    std::string text = "Date serial number (" + std::to_string(serial) + ")";
    if (serial >= min_serial && serial <= max_serial) text = "Date " + from_int(serial).to_str();
    return text + " is outside the years of calendar " + name_ + " (" + std::to_string(first_year_) + "-" +
           std::to_string(last_year_) + ")";
}

namespace {

std::expected<void, std::string> check_years(std::uint16_t first_year, std::uint16_t last_year) {
    if (first_year < 1900 || last_year > 9999 || first_year > last_year)
        return std::unexpected("Calendar years (" + std::to_string(first_year) + "-" + std::to_string(last_year) +
                               ") must be an ordered range within 1900-9999");
    return {};
}

}  // namespace

std::expected<std::shared_ptr<const HolidayCalendar>, std::string> HolidayCalendar::from_holidays(
    std::string name, std::uint8_t weekend_mask, std::span<const std::int32_t> holidays, std::uint16_t first_year,
    std::uint16_t last_year) {
    if (auto ok = check_years(first_year, last_year); !ok) return std::unexpected(std::move(ok.error()));
    if (weekend_mask > 0x7f) return std::unexpected(std::string("Weekend mask must be below 128"));
    auto cal = std::make_shared<HolidayCalendar>(std::move(name), weekend_mask, first_year, last_year);
    for (std::int32_t s : holidays) {
        if (!cal->covers(s)) return std::unexpected(cal->range_error(s));
        cal->set_closed(s, true);
    }
    cal->finish();
    return cal;
}

std::expected<std::shared_ptr<const HolidayCalendar>, std::string> HolidayCalendar::join(
    std::span<const HolidayCalendar* const> calendars, bool join_all) {
    if (calendars.empty()) return std::unexpected(std::string("Cannot join an empty list of calendars"));
    std::uint16_t first = 0, last = 9999;
    std::uint8_t mask = join_all ? 0x7f : 0;
    std::string name = join_all ? "JoinAll(" : "JoinAny(";
    for (std::size_t i = 0; i < calendars.size(); ++i) {
        first = std::max(first, calendars[i]->first_year_);
        last = std::min(last, calendars[i]->last_year_);
        mask = join_all ? mask & calendars[i]->weekend_mask_ : mask | calendars[i]->weekend_mask_;
        name += (i > 0 ? ", " : "") + calendars[i]->name_;
    }
    name += ")";
    if (first > last) return std::unexpected(std::string("The calendars have no year in common"));
    auto cal = std::make_shared<HolidayCalendar>(std::move(name), mask, first, last);
    for (std::int32_t s = cal->first_serial_; s <= cal->last_serial_; ++s) {
        bool closed = join_all;
        for (const HolidayCalendar* c : calendars) closed = join_all ? closed && c->closed(s) : closed || c->closed(s);
        cal->set_closed(s, closed);
    }
    cal->finish();
    return cal;
}

std::expected<std::shared_ptr<const HolidayCalendar>, std::string> HolidayCalendar::with_changes(
    std::span<const std::int32_t> added, std::span<const std::int32_t> removed) const {
    auto cal = std::make_shared<HolidayCalendar>(*this);
    for (std::int32_t s : added) {
        if (!covers(s)) return std::unexpected(range_error(s));
        cal->set_closed(s, true);
    }
    for (std::int32_t s : removed) {
        if (!covers(s)) return std::unexpected(range_error(s));
        cal->set_closed(s, false);
    }
    cal->finish();
    return cal;
}

std::expected<bool, std::string> HolidayCalendar::is_business_day(std::int32_t serial) const {
    if (!covers(serial)) return std::unexpected(range_error(serial));
    return !closed(serial);
}

std::expected<bool, std::string> HolidayCalendar::is_holiday(std::int32_t serial) const {
    if (!covers(serial)) return std::unexpected(range_error(serial));
    return closed(serial);
}

std::expected<bool, std::string> HolidayCalendar::is_weekend(std::int32_t serial) const {
    if (!covers(serial)) return std::unexpected(range_error(serial));
    return weekend(serial);
}

std::expected<std::vector<std::int32_t>, std::string> HolidayCalendar::holidays(std::int32_t start, std::int32_t end,
                                                                                 bool include_weekends) const {
    if (!covers(start)) return std::unexpected(range_error(start));
    if (!covers(end)) return std::unexpected(range_error(end));
    std::vector<std::int32_t> out;
    for (std::int32_t s = start; s <= end; ++s)
        if (closed(s) && (include_weekends || !weekend(s))) out.push_back(s);
    return out;
}

std::expected<std::int64_t, std::string> HolidayCalendar::business_days_between(std::int32_t start, std::int32_t end,
                                                                                bool include_first,
                                                                                bool include_last) const {
    if (!covers(start)) return std::unexpected(range_error(start));
    if (!covers(end)) return std::unexpected(range_error(end));
    if (start == end) return (include_first && include_last && !closed(start)) ? 1 : 0;
    const bool forward = start < end;
    const std::int32_t lo = forward ? start : end, hi = forward ? end : start;
    // Open days strictly between the two, then the ends as the first and the
    // last day of the direction walked.
    std::int64_t n = open_before(hi) - open_before(lo + 1);
    if (include_first && !closed(start)) ++n;
    if (include_last && !closed(end)) ++n;
    return forward ? n : -n;
}

}  // namespace vantorel
