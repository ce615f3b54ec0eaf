// src/datetime/day_counter.cpp: year fractions of the day-count conventions
#include "datetime/day_counter.hpp"

#include "core/failure.hpp"

namespace vantorel {

double get_dcf(DayCounter dc, const Date& date1, const Date& date2) {
    switch (dc) {
        case DayCounter::Act365:
            return dcf_act365(date1, date2);
        case DayCounter::Act360:
            return dcf_act360(date1, date2);
        case DayCounter::Thirty360:
            break;
    }
    fail("not implemented");
}

}  // namespace vantorel
