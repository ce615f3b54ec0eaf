// src/conventions/markets.cpp: the holiday rules of each market, as tables
#include "conventions/holiday_calendar.hpp"

namespace vantorel {

namespace {

constexpr std::uint8_t mon = 0, tue = 1, thu = 3;
constexpr std::uint8_t sat_sun = 0x60;  // Saturday and Sunday

constexpr HolidayRule fixed(std::uint8_t month, std::int8_t day, Roll roll = Roll::None,
                            std::uint16_t from = 1, std::uint16_t to = 9999) {
    return {.kind = RuleKind::Fixed, .month = month, .day = day, .roll = roll, .first_year = from, .last_year = to};
}
constexpr HolidayRule nth(std::uint8_t month, std::uint8_t weekday, std::int8_t n, std::uint16_t from = 1,
                          std::uint16_t to = 9999) {
    return {.kind = RuleKind::NthWeekday, .month = month, .weekday = weekday, .n = n, .first_year = from,
            .last_year = to};
}
constexpr HolidayRule easter(std::int8_t offset, std::uint16_t from = 1, std::uint16_t to = 9999) {
    return {.kind = RuleKind::Easter, .day = offset, .first_year = from, .last_year = to};
}
constexpr HolidayRule on_or_before(std::uint8_t month, std::int8_t day, std::uint8_t weekday) {
    return {.kind = RuleKind::WeekdayOnOrBefore, .month = month, .day = day, .weekday = weekday};
}
// A closure of one day only.
constexpr HolidayRule once(std::uint16_t year, std::uint8_t month, std::int8_t day) {
    return fixed(month, day, Roll::None, year, year);
}

constexpr Roll nearest = Roll::Nearest, sunday_next = Roll::SundayNext, substitute = Roll::Substitute,
               sunday_substitute = Roll::SundaySubstitute;
constexpr std::int8_t good_friday = -2, easter_monday = 1;

constexpr HolidayRule target[] = {
    fixed(1, 1), easter(good_friday, 2000), easter(easter_monday, 2000), fixed(5, 1, Roll::None, 2000),
    fixed(12, 25), fixed(12, 26, Roll::None, 2000), once(1998, 12, 31), once(1999, 12, 31), once(2001, 12, 31),
};

// Federal holidays as the settlement calendar keeps them.
#define VANTOREL_US_COMMON(new_year_roll, juneteenth_roll)                                                 \
    fixed(1, 1, new_year_roll), fixed(2, 22, nearest, 1, 1970), nth(2, mon, 3, 1971),                        \
        fixed(5, 30, nearest, 1, 1970), nth(5, mon, -1, 1971), fixed(6, 19, juneteenth_roll, 2022),        \
        nth(9, mon, 1), nth(11, thu, 4)

constexpr HolidayRule us_settlement[] = {
    VANTOREL_US_COMMON(nearest, nearest), nth(1, mon, 3, 1983), fixed(7, 4, nearest), nth(10, mon, 2, 1971),
    fixed(11, 11, nearest, 1, 1970), nth(10, mon, 4, 1971, 1977), fixed(11, 11, nearest, 1978),
    fixed(12, 25, nearest),
};

// The bond market keeps Good Friday open when it is the first Friday of its
// month (the employment report), from 1996.
constexpr HolidayRule good_friday_bonds = {.kind = RuleKind::Easter, .day = good_friday, .first_year = 1996,
                                           .except_first_week = true};

constexpr HolidayRule us_government_bond[] = {
    VANTOREL_US_COMMON(sunday_next, nearest), nth(1, mon, 3, 1983), easter(good_friday, 1, 1995), good_friday_bonds,
    fixed(7, 4, nearest), nth(10, mon, 2, 1971), fixed(11, 11, sunday_next, 1, 1970), nth(10, mon, 4, 1971, 1977),
    fixed(11, 11, sunday_next, 1978), fixed(12, 25, nearest), once(2004, 6, 11), once(2012, 10, 30),
    once(2018, 12, 5),
};

constexpr HolidayRule us_sofr[] = {
    VANTOREL_US_COMMON(sunday_next, nearest), nth(1, mon, 3, 1983), easter(good_friday), fixed(7, 4, nearest),
    nth(10, mon, 2, 1971), fixed(11, 11, sunday_next, 1, 1970), nth(10, mon, 4, 1971, 1977),
    fixed(11, 11, sunday_next, 1978), fixed(12, 25, nearest), once(2004, 6, 11), once(2012, 10, 30),
    once(2018, 12, 5),
};

constexpr HolidayRule us_federal_reserve[] = {
    VANTOREL_US_COMMON(sunday_next, sunday_next), nth(1, mon, 3, 1983), fixed(7, 4, sunday_next),
    nth(10, mon, 2, 1971), fixed(11, 11, sunday_next, 1, 1970), nth(10, mon, 4, 1971, 1977),
    fixed(11, 11, sunday_next, 1978), fixed(12, 25, sunday_next),
};

constexpr HolidayRule us_nyse[] = {
    VANTOREL_US_COMMON(sunday_next, nearest), nth(1, mon, 3, 1998), easter(good_friday), fixed(7, 4, nearest),
    fixed(12, 25, nearest),
    // Presidential election days: the Tuesday after the first Monday of November.
    {.kind = RuleKind::WeekdayOnOrBefore, .month = 11, .day = 8, .weekday = tue, .first_year = 1, .last_year = 1968},
    {.kind = RuleKind::WeekdayOnOrBefore, .month = 11, .day = 8, .weekday = tue, .first_year = 1972, .last_year = 1972},
    {.kind = RuleKind::WeekdayOnOrBefore, .month = 11, .day = 8, .weekday = tue, .first_year = 1976, .last_year = 1976},
    {.kind = RuleKind::WeekdayOnOrBefore, .month = 11, .day = 8, .weekday = tue, .first_year = 1980, .last_year = 1980},
    // Closures.
    once(1956, 12, 24), once(1958, 12, 26), once(1961, 5, 29), once(1963, 11, 25), once(1968, 7, 5),
    once(1969, 2, 10),
    // The paperwork crisis: every Wednesday from 12 June to 18 December 1968.
    once(1968, 6, 12), once(1968, 6, 19), once(1968, 6, 26), once(1968, 7, 3), once(1968, 7, 10),
    once(1968, 7, 17), once(1968, 7, 24), once(1968, 7, 31), once(1968, 8, 7), once(1968, 8, 14),
    once(1968, 8, 21), once(1968, 8, 28), once(1968, 9, 4), once(1968, 9, 11), once(1968, 9, 18),
    once(1968, 9, 25), once(1968, 10, 2), once(1968, 10, 9), once(1968, 10, 16), once(1968, 10, 23),
    once(1968, 10, 30), once(1968, 11, 6), once(1968, 11, 13), once(1968, 11, 20), once(1968, 11, 27),
    once(1968, 12, 4), once(1968, 12, 11), once(1968, 12, 18), once(1968, 4, 9), once(1969, 3, 31), once(1969, 7, 21), once(1972, 12, 28),
    once(1973, 1, 25), once(1977, 7, 14), once(1985, 9, 27), once(1994, 4, 27), once(2001, 9, 11),
    once(2001, 9, 12), once(2001, 9, 13), once(2001, 9, 14), once(2004, 6, 11), once(2007, 1, 2),
    once(2012, 10, 29), once(2012, 10, 30), once(2018, 12, 5), once(2025, 1, 9),
};

constexpr HolidayRule uk_settlement[] = {
    fixed(1, 1, substitute), easter(good_friday), easter(easter_monday),
    nth(5, mon, 1, 1, 1994), nth(5, mon, 1, 1996, 2019), nth(5, mon, 1, 2021), once(1995, 5, 8), once(2020, 5, 8),
    nth(5, mon, -1, 1, 2001), nth(5, mon, -1, 2003, 2011), nth(5, mon, -1, 2013, 2021), nth(5, mon, -1, 2023),
    once(2002, 6, 4), once(2012, 6, 4), once(2022, 6, 2),
    nth(8, mon, -1), fixed(12, 25, substitute), fixed(12, 26, substitute),
    once(1999, 12, 31), once(2002, 6, 3), once(2011, 4, 29), once(2012, 6, 5), once(2022, 6, 3),
    once(2022, 9, 19), once(2023, 5, 8),
};

constexpr HolidayRule japan[] = {
    fixed(1, 1), fixed(1, 2), fixed(1, 3), fixed(12, 31),
    fixed(1, 15, sunday_substitute, 1, 1999), nth(1, mon, 2, 2000),
    fixed(2, 11, sunday_substitute, 1967), fixed(2, 23, sunday_substitute, 2020),
    {.kind = RuleKind::VernalEquinox, .roll = sunday_substitute},
    fixed(4, 29, sunday_substitute), fixed(5, 3, sunday_substitute), fixed(5, 4, sunday_substitute, 1988),
    fixed(5, 5, sunday_substitute),
    fixed(7, 20, sunday_substitute, 1996, 2002), nth(7, mon, 3, 2003, 2019), nth(7, mon, 3, 2022),
    once(2020, 7, 23), once(2021, 7, 22),
    fixed(8, 11, sunday_substitute, 2016, 2019), fixed(8, 11, sunday_substitute, 2022), once(2020, 8, 10),
    once(2021, 8, 9),
    fixed(9, 15, sunday_substitute, 1966, 2002), nth(9, mon, 3, 2003),
    {.kind = RuleKind::AutumnEquinox, .roll = sunday_substitute},
    fixed(10, 10, sunday_substitute, 1966, 1999), nth(10, mon, 2, 2000, 2019), nth(10, mon, 2, 2022),
    once(2020, 7, 24), once(2021, 7, 23),
    fixed(11, 3, sunday_substitute), fixed(11, 23, sunday_substitute), fixed(12, 23, sunday_substitute, 1989, 2018),
    once(1959, 4, 10), once(1989, 2, 24), once(1990, 11, 12), once(1993, 6, 9), once(2019, 4, 30),
    once(2019, 5, 1), once(2019, 5, 2), once(2019, 10, 22),
};

constexpr HolidayRule switzerland[] = {
    fixed(1, 1), fixed(1, 2), easter(good_friday), easter(easter_monday), easter(39), easter(50),
    fixed(5, 1), fixed(8, 1), fixed(12, 25), fixed(12, 26),
};

constexpr HolidayRule canada[] = {
    fixed(1, 1, substitute), nth(2, mon, 3, 2008), easter(good_friday), on_or_before(5, 24, mon),
    fixed(7, 1, substitute), nth(8, mon, 1), nth(9, mon, 1), fixed(9, 30, substitute, 2021),
    nth(10, mon, 2), fixed(11, 11, substitute), fixed(12, 25, substitute), fixed(12, 26, substitute),
};

constexpr HolidayRule australia[] = {
    fixed(1, 1, substitute), fixed(1, 26, substitute), easter(good_friday), easter(easter_monday),
    fixed(4, 25), nth(6, mon, 2), nth(8, mon, 1), nth(10, mon, 1), fixed(12, 25, substitute),
    fixed(12, 26, substitute), once(2022, 9, 22),
};

#undef VANTOREL_US_COMMON

constexpr MarketTable tables[] = {
    {"WEEKENDS", sat_sun, 1901, 2199, {}},
    {"TARGET", sat_sun, 1901, 2199, target},
    {"US-SETTLEMENT", sat_sun, 1901, 2199, us_settlement},
    {"US-GOVT", sat_sun, 1901, 2199, us_government_bond},
    {"US-NYSE", sat_sun, 1901, 2199, us_nyse},
    {"US-SOFR", sat_sun, 1901, 2199, us_sofr},
    {"US-FED", sat_sun, 1901, 2199, us_federal_reserve},
    {"UK-SETTLEMENT", sat_sun, 1901, 2199, uk_settlement},
    {"UK-EXCHANGE", sat_sun, 1901, 2199, uk_settlement},
    {"JAPAN", sat_sun, 1901, 2150, japan, 1988},
    {"SWITZERLAND", sat_sun, 1901, 2199, switzerland},
    {"CANADA", sat_sun, 1901, 2199, canada},
    {"AUSTRALIA", sat_sun, 1901, 2199, australia},
};

}  // namespace

std::span<const MarketTable> market_tables() noexcept { return tables; }

}  // namespace vantorel
