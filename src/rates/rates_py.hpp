// src/rates/rates_py.hpp: the classes of vantorel_rates and the arguments its callables take
#pragma once

#include <memory>

#include "binding/convert.hpp"
#include "conventions/day_counts.hpp"
#include "conventions/holiday_calendar.hpp"
#include "conventions/schedule.hpp"
#include "enums/bus_day_adj.hpp"
#include "enums/stub_type.hpp"

namespace vantorel::py {

// A calendar as users hold it: shared, immutable rules and bitset.
struct CalendarRef {
    std::shared_ptr<const HolidayCalendar> cal;
    const HolidayCalendar& operator*() const noexcept { return *cal; }
};

template <>
struct PyClass<CalendarRef> {
    static constexpr const char* name = "Calendar";
    static PyTypeObject* create();
};

template <>
struct PyClass<Schedule> {
    static constexpr const char* name = "Schedule";
    static PyTypeObject* create();
};

// The classes of vantorel this package takes and gives, taken once at import
// and checked for this build's layout.
struct VantorelClasses {
    PyTypeObject* date = nullptr;
    PyTypeObject* tenor = nullptr;
    PyTypeObject* bus_day_adj = nullptr;
    PyTypeObject* stub_type = nullptr;
    PyObject* datetime64 = nullptr;  // numpy.datetime64
    PyObject* to_days = nullptr;     // the package's converter of anything else
};
extern VantorelClasses vantorel_classes;
bool take_vantorel_classes() noexcept;

// A day given as vantorel.Date, datetime.date (or datetime, pandas Timestamp),
// numpy.datetime64 or "yyyy-mm-dd"; given back as vantorel.Date.
struct DayArg {
    std::int32_t serial = 0;
};

template <>
struct Convert<DayArg> {
    using Storage = DayArg;
    static bool from_py(PyObject* o, DayArg& out) noexcept;
    static DayArg get(DayArg s) noexcept { return s; }
    static PyObject* to_py(DayArg d) noexcept;
};

// A period given as tenor text ("3M", "-2B") or vantorel.Tenor.
struct PeriodArg {
    Tenor tenor{0, TenorUnit::D};
};

template <>
struct Convert<PeriodArg> {
    using Storage = PeriodArg;
    static bool from_py(PyObject* o, PeriodArg& out) noexcept;
    static PeriodArg get(PeriodArg s) noexcept { return s; }
};

// A member of vantorel's BusDayAdj / StubType (or its integer code); left out:
// the default given by the storage's initial value.
struct AdjArg {
    BusDayAdj value = BusDayAdj::Following;
};
struct StubArg {
    StubType value = StubType::FrontShort;
};

template <>
struct Convert<AdjArg> {
    using Storage = AdjArg;
    static bool from_py(PyObject* o, AdjArg& out) noexcept;
    static AdjArg get(AdjArg s) noexcept { return s; }
};
template <>
struct Convert<StubArg> {
    using Storage = StubArg;
    static bool from_py(PyObject* o, StubArg& out) noexcept;
    static StubArg get(StubArg s) noexcept { return s; }
};

// An optional day: None or left out is no day.
struct OptionalDay {
    std::optional<std::int32_t> serial;
};
template <>
struct Convert<OptionalDay> {
    using Storage = OptionalDay;
    static bool from_py(PyObject* o, OptionalDay& out) noexcept;
    static const OptionalDay& get(const OptionalDay& s) noexcept { return s; }
};

}  // namespace vantorel::py
