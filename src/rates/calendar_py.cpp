// src/rates/calendar_py.cpp: Calendar as a Python class, and the arguments of the rates callables
#include "binding/call.hpp"
#include "conventions/business_days.hpp"
#include "rates/rates_py.hpp"

#include <datetime.h>

namespace vantorel::py {

VantorelClasses vantorel_classes;

namespace {

template <class T>
bool take_class(PyObject* module, const char* name, PyTypeObject*& out) noexcept {
    if (out != nullptr) return true;
    PyObject* cls = PyObject_GetAttrString(module, name);
    if (cls == nullptr) return false;
    if (!PyType_Check(cls) ||
        reinterpret_cast<PyTypeObject*>(cls)->tp_basicsize != static_cast<Py_ssize_t>(sizeof(Box<T>))) {
        Py_DECREF(cls);
        PyErr_Format(PyExc_ImportError, "vantorel.%s does not match this build of vantorel_rates", name);
        return false;
    }
    out = reinterpret_cast<PyTypeObject*>(cls);
    return true;
}

constexpr const char* day_kinds = "a date (vantorel.Date, datetime.date, numpy.datetime64 or 'yyyy-mm-dd')";

// Serial day 0 is 1899-12-30: a day number read from outside is kept only
// when a Date can hold it, so that no later step fails on it.
bool serial_in_range(long long serial, DayArg& out) noexcept {
    if (serial < min_serial || serial > max_serial) {
        PyErr_Format(PyExc_ValueError, "Date serial number (%lld) is out of range", serial);
        return false;
    }
    out.serial = static_cast<std::int32_t>(serial);
    return true;
}

template <class E>
bool enum_member(PyObject* o, PyTypeObject* cls, E& out) noexcept {
    if (Py_TYPE(o) == cls) {
        out = unbox<E>(o);
        return true;
    }
    if (PyLong_Check(o)) {
        const long code = PyLong_AsLong(o);
        if (code == -1 && PyErr_Occurred()) return false;
        if (code >= 0 && code < static_cast<long>(enum_size<E>)) {
            out = static_cast<E>(code);
            return true;
        }
        PyErr_Format(PyExc_ValueError, "%s code (%ld) is out of range", EnumInfo<E>::name.data(), code);
        return false;
    }
    PyErr_Format(PyExc_TypeError, "expected a vantorel.%s member, got %.200s", EnumInfo<E>::name.data(),
                 Py_TYPE(o)->tp_name);
    return false;
}

}  // namespace

bool take_vantorel_classes() noexcept {
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) return false;
    Ref vantorel(PyImport_ImportModule("vantorel"));
    return vantorel && take_class<Date>(vantorel, "Date", vantorel_classes.date) &&
           take_class<Tenor>(vantorel, "Tenor", vantorel_classes.tenor) &&
           take_class<BusDayAdj>(vantorel, "BusDayAdj", vantorel_classes.bus_day_adj) &&
           take_class<StubType>(vantorel, "StubType", vantorel_classes.stub_type);
}

bool Convert<DayArg>::from_py(PyObject* o, DayArg& out) noexcept {
    if (Py_TYPE(o) == vantorel_classes.date) {
        out.serial = unbox<Date>(o).serial();
        return true;
    }
    if (PyDate_Check(o)) {
        const auto ymd = YearMonthDay::make(PyDateTime_GET_YEAR(o), PyDateTime_GET_MONTH(o), PyDateTime_GET_DAY(o));
        if (!ymd) {
            raise_value_error(ymd.error());
            return false;
        }
        out.serial = serial_from_ymd(*ymd);
        return true;
    }
    if (PyUnicode_Check(o)) {
        std::string_view text;
        if (!Convert<std::string_view>::from_py(o, text)) return false;
        const auto d = parse_date(text);
        if (!d) {
            raise_value_error(d.error());
            return false;
        }
        out.serial = d->serial();
        return true;
    }
    if (vantorel_classes.datetime64 != nullptr && PyObject_TypeCheck(o, reinterpret_cast<PyTypeObject*>(
                                                                           vantorel_classes.datetime64))) {
        // Days since 1970-01-01 through the package's converter (NaT is a ValueError there).
        Ref days(PyObject_CallOneArg(vantorel_classes.to_days, o));
        if (!days) return false;
        const long long n = PyLong_AsLongLong(days);
        if (n == -1 && PyErr_Occurred()) return false;
        return serial_in_range(n + 25569, out);
    }
    return type_error(o, day_kinds);
}

PyObject* Convert<DayArg>::to_py(DayArg d) noexcept {
    if (d.serial < min_serial || d.serial > max_serial) {
        PyErr_Format(PyExc_ValueError, "Date serial number (%ld) is out of range", static_cast<long>(d.serial));
        return nullptr;
    }
    PyObject* o = PyType_GenericAlloc(vantorel_classes.date, 0);
    if (o == nullptr) return nullptr;
    unbox<Date>(o) = from_int(d.serial);  // in range: does not fail
    return o;
}

bool Convert<PeriodArg>::from_py(PyObject* o, PeriodArg& out) noexcept {
    if (Py_TYPE(o) == vantorel_classes.tenor) {
        out.tenor = unbox<Tenor>(o);
        return true;
    }
    if (!PyUnicode_Check(o)) return type_error(o, "a tenor ('3M', '-2B') or vantorel.Tenor");
    std::string_view text;
    if (!Convert<std::string_view>::from_py(o, text)) return false;
    // Texts that cannot even be split are errors of the value here, not failures.
    if (text.empty() || static_cast<unsigned char>(text.back()) >= 0x80) {
        raise_value_error("Invalid tenor string (" + std::string(text) + "), need to be of the form '<count><unit>'");
        return false;
    }
    const auto t = parse_tenor(text);
    if (!t) {
        raise_value_error(t.error());
        return false;
    }
    out.tenor = *t;
    return true;
}

bool Convert<AdjArg>::from_py(PyObject* o, AdjArg& out) noexcept {
    return enum_member(o, vantorel_classes.bus_day_adj, out.value);
}

bool Convert<StubArg>::from_py(PyObject* o, StubArg& out) noexcept {
    return enum_member(o, vantorel_classes.stub_type, out.value);
}

bool Convert<OptionalDay>::from_py(PyObject* o, OptionalDay& out) noexcept {
    if (o == Py_None) {
        out.serial.reset();
        return true;
    }
    DayArg d;
    if (!Convert<DayArg>::from_py(o, d)) return false;
    out.serial = d.serial;
    return true;
}

// ---- Calendar --------------------------------------------------------------------

namespace {

template <class T>
std::expected<CalendarRef, std::string> as_ref(std::expected<T, std::string> made) {
    if (!made) return std::unexpected(std::move(made.error()));
    return CalendarRef{std::move(*made)};
}

std::expected<CalendarRef, std::string> calendar_new(std::string_view name) {
    return as_ref(HolidayCalendar::make(name));
}

std::vector<std::int32_t> serials(const std::vector<DayArg>& days) {
    std::vector<std::int32_t> out;
    out.reserve(days.size());
    for (const DayArg& d : days) out.push_back(d.serial);
    return out;
}

std::vector<DayArg> day_list(const std::vector<std::int32_t>& s) {
    std::vector<DayArg> out;
    out.reserve(s.size());
    for (std::int32_t v : s) out.push_back(DayArg{v});
    return out;
}

std::expected<CalendarRef, std::string> calendar_join(std::vector<CalendarRef> calendars, std::string_view rule) {
    if (!rule.empty() && rule != "any" && rule != "all")
        return std::unexpected("Join rule (" + std::string(rule) + ") must be 'any' or 'all'");
    std::vector<const HolidayCalendar*> cals;
    for (const CalendarRef& c : calendars) cals.push_back(c.cal.get());
    return as_ref(HolidayCalendar::join(cals, rule == "all"));
}

std::expected<CalendarRef, std::string> calendar_from_holidays(std::string_view name, std::vector<DayArg> holidays,
                                                               std::uint16_t first_year, std::uint16_t last_year,
                                                               std::optional<std::vector<std::uint8_t>> weekend) {
    std::uint8_t mask = 0x60;
    if (weekend) {
        mask = 0;
        for (std::uint8_t w : *weekend) {
            if (w > 6) return std::unexpected("Weekday code (" + std::to_string(w) + ") must be between 0 and 6");
            mask = static_cast<std::uint8_t>(mask | (1u << w));
        }
    }
    const auto s = serials(holidays);
    return as_ref(HolidayCalendar::from_holidays(std::string(name), mask, s, first_year, last_year));
}

std::expected<CalendarRef, std::string> calendar_with_holidays(const CalendarRef& self, std::vector<DayArg> added,
                                                               std::vector<DayArg> removed) {
    const auto a = serials(added), r = serials(removed);
    return as_ref(self.cal->with_changes(a, r));
}

std::string calendar_name(const CalendarRef& self) { return self.cal->name(); }
int calendar_first_year(const CalendarRef& self) noexcept { return self.cal->first_year(); }
int calendar_last_year(const CalendarRef& self) noexcept { return self.cal->last_year(); }
std::expected<bool, std::string> is_business_day(const CalendarRef& self, DayArg d) {
    return self.cal->is_business_day(d.serial);
}
std::expected<bool, std::string> is_holiday(const CalendarRef& self, DayArg d) { return self.cal->is_holiday(d.serial); }
std::expected<bool, std::string> is_weekend(const CalendarRef& self, DayArg d) { return self.cal->is_weekend(d.serial); }

template <class T>
std::expected<DayArg, std::string> as_day(std::expected<T, std::string> s) {
    if (!s) return std::unexpected(std::move(s.error()));
    return DayArg{*s};
}

std::expected<DayArg, std::string> calendar_adjust(const CalendarRef& self, DayArg d, AdjArg convention) {
    return as_day(adjust(*self.cal, d.serial, convention.value));
}
std::expected<DayArg, std::string> calendar_advance(const CalendarRef& self, DayArg d, PeriodArg period,
                                                    AdjArg convention, bool end_of_month_rule) {
    return as_day(advance(*self.cal, d.serial, period.tenor, convention.value, end_of_month_rule));
}
std::expected<DayArg, std::string> calendar_end_of_month(const CalendarRef& self, DayArg d) {
    return as_day(end_of_month(*self.cal, d.serial));
}
std::expected<bool, std::string> calendar_is_end_of_month(const CalendarRef& self, DayArg d) {
    return is_end_of_month(*self.cal, d.serial);
}
std::expected<std::vector<DayArg>, std::string> calendar_holidays(const CalendarRef& self, DayArg start, DayArg end,
                                                                  bool include_weekends) {
    auto h = self.cal->holidays(start.serial, end.serial, include_weekends);
    if (!h) return std::unexpected(std::move(h.error()));
    return day_list(*h);
}

std::expected<std::int64_t, std::string> calendar_business_days_between(const CalendarRef& self, DayArg start,
                                                                        DayArg end, std::optional<bool> include_first,
                                                                        bool include_last) {
    return self.cal->business_days_between(start.serial, end.serial, include_first.value_or(true), include_last);
}

PyObject* calendar_repr(PyObject* self) noexcept {
    const std::string& name = unbox<CalendarRef>(self).cal->name();
    return PyUnicode_FromFormat("Calendar('%s')", name.c_str());
}

using R = Rows<"Calendar">;
using NewParams = Params<"name">;

}  // namespace

PyTypeObject* PyClass<CalendarRef>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    static PyMethodDef methods[] = {
        R::method<"get_name", &calendar_name>(),
        R::method<"first_year", &calendar_first_year>(),
        R::method<"last_year", &calendar_last_year>(),
        R::method<"is_business_day", &is_business_day, Params<"date">>(),
        R::method<"is_holiday", &is_holiday, Params<"date">>(),
        R::method<"is_weekend", &is_weekend, Params<"date">>(),
        R::method<"adjust", &calendar_adjust, Params<"date", "convention=BusDayAdj.Following">>(),
        R::method<"advance", &calendar_advance,
                  Params<"date", "period", "convention=BusDayAdj.Following", "end_of_month=False">>(),
        R::method<"end_of_month", &calendar_end_of_month, Params<"date">>(),
        R::method<"is_end_of_month", &calendar_is_end_of_month, Params<"date">>(),
        R::method<"holidays", &calendar_holidays, Params<"start", "end", "include_weekends=False">>(),
        R::method<"business_days_between", &calendar_business_days_between,
                  Params<"start", "end", "include_first=True", "include_last=False">>(),
        R::method<"with_holidays", &calendar_with_holidays, Params<"added=()", "removed=()">>(),
        R::static_method<"join", &calendar_join, Params<"calendars", "rule='any'">>(),
        R::static_method<"from_holidays", &calendar_from_holidays,
                         Params<"name", "holidays", "first_year", "last_year", "weekend=None">>(),
        {},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<CalendarRef>)},
        {Py_tp_repr, reinterpret_cast<void*>(&calendar_repr)},
        {Py_tp_doc, const_cast<char*>(R::class_doc<NewParams>())},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<CalendarRef>), slots, R::constructor<&calendar_new, NewParams>);
}

}  // namespace vantorel::py
