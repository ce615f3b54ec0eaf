// src/datetime/day_counter.cpp: year fractions of the day-count conventions
#include "datetime/day_counter.hpp"

#include "core/failure.hpp"

namespace vantorel {

std::expected<DayCounter, std::string> parse_day_counter(std::string_view name) {
    const auto& members = EnumInfo<DayCounter>::members;
    for (std::size_t code = 0; code < members.size(); ++code)
        if (name == members[code]) return static_cast<DayCounter>(code);
    return std::unexpected("Unknown day-counter name (" + std::string(name) + ")");
}

double get_dcf(DayCounter dc, const Date& date1, const Date& date2) {
    switch (dc) {
        case DayCounter::Act365:
            return dcf_act365(date1, date2);
        case DayCounter::Act360:
            return dcf_act360(date1, date2);
        case DayCounter::Thirty360:
            break;
    }
    dcf_30360(date1, date2);
}

double dcf_30360(const Date&, const Date&) { fail("not implemented"); }

}  // namespace vantorel
