// src/datetime/tenor.hpp: tenors such as "3M" or "-1Y" and moving dates by them
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <type_traits>

#include "datetime/date.hpp"
#include "enums/tenor_unit.hpp"

namespace vantorel {

// A signed count of units: calendar days, business days, weeks, months or years.
struct Tenor {
    std::int16_t count;
    TenorUnit unit;

    // "3M": the count in plain decimal followed by the unit letter.
    [[nodiscard]] std::string to_str() const;
};

static_assert(std::is_trivially_copyable_v<Tenor>);

// Longest text form: "-32768D".
inline constexpr std::size_t max_tenor_text = 7;

// D, B, W, M or Y.
constexpr char unit_letter(TenorUnit unit) noexcept {
    constexpr char letters[] = {'D', 'B', 'W', 'M', 'Y'};
    return letters[static_cast<std::uint8_t>(unit)];
}

// Parses "<count><unit>": the last byte is the unit letter, the bytes before it
// a signed 16-bit decimal with an optional sign. A bad count is reported before
// a bad unit. An empty text, or one whose last character is not ASCII, cannot be
// split into count and unit and is a Failure.
std::expected<Tenor, std::string> parse_tenor(std::string_view text);

// Writes the text form into buf (at least max_tenor_text bytes); returns its length.
std::size_t write_tenor(const Tenor& tenor, char* buf) noexcept;

// Moves a date by a tenor: days and weeks by serial number, months and years
// on the calendar with the day clamped to the end of a shorter month (no
// end-of-month rule). Business days need a calendar and are a Failure; a
// result outside the date range is a Failure with the date's own text.
Date add_tenor(const Date& date, const Tenor& tenor);

// add_tenor with the tenor given as text: a text that does not parse is the
// parse error, a move that cannot be made a Failure.
std::expected<Date, std::string> add_parsed_tenor(const Date& date, std::string_view text);

}  // namespace vantorel
