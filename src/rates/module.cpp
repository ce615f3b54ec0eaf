// src/rates/module.cpp: vantorel_rates._native: its classes, functions, ufuncs and entry point
#include "np/loops.hpp"
#include "np/state.hpp"
#include "np/ufunc_table.hpp"

#include <string>

#include "binding/call.hpp"
#include "binding/errors.hpp"
#include "binding/registration.hpp"
#include "binding/state.hpp"
#include "conventions/business_days.hpp"
#include "core/failure.hpp"
#include "rates/rates_py.hpp"
#include "instruments/instruments_py.hpp"

namespace vantorel::np {

// A day of an array operand as its serial number only: the loops of the
// calendar questions need no year, month and day. A day no date can hold is
// a ValueError, as the scalar functions give it.
struct Day {
    std::int32_t serial;
};

template <>
struct Arg<Day> {
    static constexpr Kind kind = Kind::Day;
    using type = Day;
    static Day load(const char* p, bool) {
        const auto days = read<std::int64_t>(p);
        if (days < min_serial - serial_of_unix_epoch || days > max_serial - serial_of_unix_epoch)
            throw BadOperand{PyExc_ValueError, "Date serial number (" + std::to_string(days + serial_of_unix_epoch) +
                                                   ") is out of range"};
        return Day{static_cast<std::int32_t>(days + serial_of_unix_epoch)};
    }
};
template <>
struct Out<Day> {
    static constexpr Kind kinds[] = {Kind::Day};
    static void store(char* const* p, Day d) noexcept { write<std::int64_t>(p[0], d.serial - serial_of_unix_epoch); }
    static void missing(char* const* p) noexcept { write(p[0], nat); }
};

namespace {

// ---- kernels -------------------------------------------------------------------------
//
// A date outside a calendar's years is the calendar's ValueError, element by
// element as for one date.

template <class T>
T value_of(std::expected<T, std::string>&& r) {
    if (!r) throw BadOperand{PyExc_ValueError, std::move(r.error())};
    return *r;
}

const HolidayCalendar& covering(const HolidayCalendar& cal, std::int32_t s) {
    if (!cal.covers(s)) throw BadOperand{PyExc_ValueError, cal.range_error(s)};
    return cal;
}

bool k_is_business_day(const HolidayCalendar& cal, Day d) { return !covering(cal, d.serial).closed(d.serial); }
bool k_is_holiday(const HolidayCalendar& cal, Day d) { return covering(cal, d.serial).closed(d.serial); }
bool k_is_weekend(const HolidayCalendar& cal, Day d) { return covering(cal, d.serial).weekend(d.serial); }

Day k_adjust(const HolidayCalendar& cal, Day d, BusDayAdj convention) {
    // The common case first: a business day is itself.
    if (cal.covers(d.serial) && !cal.closed(d.serial)) return d;
    return Day{value_of(adjust(cal, d.serial, convention))};
}

Day k_advance(const HolidayCalendar& cal, Day d, const Tenor& period, BusDayAdj convention, bool end_of_month_rule) {
    return Day{value_of(advance(cal, d.serial, period, convention, end_of_month_rule))};
}

std::int64_t k_business_days_between(const HolidayCalendar& cal, Day start, Day end) {
    return value_of(cal.business_days_between(start.serial, end.serial, true, false));
}

double k_30360(Day a, Day b) { return dcf_30360_us(a.serial, b.serial); }
double k_30e360(Day a, Day b) { return dcf_30e360(a.serial, b.serial); }
double k_30e360_isda(Day a, Day b, Day termination) { return dcf_30e360_isda(a.serial, b.serial, termination.serial); }
double k_act_act_isda(Day a, Day b) { return dcf_act_act_isda(a.serial, b.serial); }
double k_act_act_icma(Day a, Day b, Day rs, Day re) { return dcf_act_act_icma(a.serial, b.serial, rs.serial, re.serial); }
double k_act365(Day a, Day b) noexcept { return dcf_act365_serial(a.serial, b.serial); }
double k_act360(Day a, Day b) noexcept { return dcf_act360_serial(a.serial, b.serial); }
double k_bus252(const HolidayCalendar& cal, Day a, Day b) { return value_of(dcf_bus252(cal, a.serial, b.serial)); }

// One row per ufunc. The calendar is an object operand (a vantorel_rates.Calendar),
// the convention a vantorel.BusDayAdj member, the period a vantorel.Tenor.
const Row rows[] = {
    row<&k_is_business_day>("is_business_day"),
    row<&k_is_holiday>("is_holiday"),
    row<&k_is_weekend>("is_weekend"),
    row<&k_adjust>("adjust"),
    row<&k_advance>("advance"),
    row<&k_business_days_between>("business_days_between"),
    row<&k_30360>("yf_thirty360"),
    row<&k_30e360>("yf_thirty360e"),
    row<&k_30e360_isda>("yf_thirty360e_isda"),
    row<&k_act_act_isda>("yf_act_act_isda"),
    row<&k_act_act_icma>("yf_act_act_icma"),
    row<&k_act365>("yf_act365"),
    row<&k_act360>("yf_act360"),
    row<&k_bus252>("yf_bus252"),
};

// Days since 1970-01-01 of a numpy.datetime64 scalar, for the scalar converter.
PyObject* datetime64_days(PyObject*, PyObject* o) noexcept {
    Py_INCREF(state.day);
    Owned arr(PyArray_FromAny(o, state.day, 0, 0, NPY_ARRAY_FORCECAST, nullptr));
    if (!arr) return nullptr;
    auto* a = reinterpret_cast<PyArrayObject*>(arr.get());
    if (PyArray_NDIM(a) != 0) {
        PyErr_SetString(PyExc_TypeError, "expected one date, got an array");
        return nullptr;
    }
    const auto days = read<std::int64_t>(static_cast<const char*>(PyArray_DATA(a)));
    if (days == nat) {
        PyErr_SetString(PyExc_ValueError, "NaT is not a date");
        return nullptr;
    }
    return PyLong_FromLongLong(days);
}

PyMethodDef days_def = {"_datetime64_days", &datetime64_days, METH_O, nullptr};

}  // namespace

// datetime64[D] array of serial days.
PyObject* day_array(const std::vector<std::int32_t>& serials) noexcept {
    npy_intp n = static_cast<npy_intp>(serials.size());
    Py_INCREF(state.day);
    PyObject* arr = PyArray_NewFromDescr(&PyArray_Type, state.day, 1, &n, nullptr, nullptr, 0, nullptr);
    if (arr == nullptr) return nullptr;
    auto* out = static_cast<std::int64_t*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(arr)));
    for (npy_intp i = 0; i < n; ++i) out[i] = serials[static_cast<std::size_t>(i)] - serial_of_unix_epoch;
    return arr;
}

PyObject* bool_array(const std::vector<std::uint8_t>& flags) noexcept {
    npy_intp n = static_cast<npy_intp>(flags.size());
    PyObject* arr = PyArray_SimpleNew(1, &n, NPY_BOOL);
    if (arr == nullptr) return nullptr;
    auto* out = static_cast<npy_bool*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(arr)));
    for (npy_intp i = 0; i < n; ++i) out[i] = flags[static_cast<std::size_t>(i)] != 0;
    return arr;
}

// The ufuncs into module (their twins with a status output into module.with_status).
bool add_ufuncs(PyObject* module, PyTypeObject* calendar_class) noexcept {
    if (PyArray_ImportNumPyAPI() < 0 || PyUFunc_ImportUFuncAPI() < 0) return false;
    if (state.day == nullptr) {
        Owned unit(PyUnicode_FromString("M8[D]"));
        if (!unit || PyArray_DescrConverter(unit.get(), &state.day) == 0) return false;
    }
    if (!take_state()) return false;
    state.rates_calendar = calendar_class;
    Owned numpy(PyImport_ImportModule("numpy"));
    if (!numpy) return false;
    if (py::vantorel_classes.datetime64 == nullptr) {
        py::vantorel_classes.datetime64 = PyObject_GetAttrString(numpy.get(), "datetime64");
        if (py::vantorel_classes.datetime64 == nullptr) return false;
        py::vantorel_classes.to_days = PyCFunction_NewEx(&days_def, nullptr, nullptr);
        if (py::vantorel_classes.to_days == nullptr) return false;
    }
    Owned with_status(PyDict_New());
    if (!with_status) return false;
    for (const Row& r : rows)
        if (!r.add(module, with_status.get(), r.name)) return false;
    return PyModule_AddObjectRef(module, "with_status", with_status.get()) == 0;
}

}  // namespace vantorel::np

// ---- Schedule, the scalar functions and the module ---------------------------------------

namespace vantorel::py {

// The array functions read a calendar as vantorel_np reads its objects: one shared handle inline.
static_assert(sizeof(Box<CalendarRef>) == sizeof(np::Instance<std::shared_ptr<const HolidayCalendar>>));

namespace {

std::expected<Schedule, std::string> schedule(DayArg effective, DayArg termination, PeriodArg tenor,
                                              const CalendarRef& calendar, AdjArg convention,
                                              std::optional<AdjArg> termination_convention, StubArg stub,
                                              bool end_of_month_rule, OptionalDay first_date,
                                              OptionalDay next_to_last_date) {
    ScheduleTerms terms{.effective = effective.serial,
                      .termination = termination.serial,
                      .tenor = tenor.tenor,
                      .convention = convention.value,
                      .termination_convention = termination_convention.value_or(convention).value,
                      .stub = stub.value,
                      .end_of_month = end_of_month_rule,
                      .first_date = first_date.serial,
                      .next_to_last_date = next_to_last_date.serial};
    auto made = make_schedule(*calendar.cal, terms);
    if (made) {
        made->terms = terms;
        made->calendar = calendar.cal;
    }
    return made;
}

std::expected<double, std::string> year_fraction(DayCount dc, DayArg start, DayArg end,
                                                 std::optional<CalendarRef> calendar, OptionalDay reference_start,
                                                 OptionalDay reference_end, OptionalDay termination) {
    const std::int32_t a = start.serial, b = end.serial;
    switch (dc) {
        case DayCount::Thirty360: return dcf_30360_us(a, b);
        case DayCount::Thirty360E: return dcf_30e360(a, b);
        case DayCount::Thirty360EIsda: return dcf_30e360_isda(a, b, termination.serial.value_or(INT32_MIN));
        case DayCount::ActActIsda: return dcf_act_act_isda(a, b);
        case DayCount::ActActIcma:
            return dcf_act_act_icma(a, b, reference_start.serial.value_or(a), reference_end.serial.value_or(b));
        case DayCount::Act365: return dcf_act365_serial(a, b);
        case DayCount::Act360: return dcf_act360_serial(a, b);
        case DayCount::Bus252:
            if (!calendar) return std::unexpected(std::string("DayCount.Bus252 needs a calendar"));
            return dcf_bus252(*calendar->cal, a, b);
    }
    return std::unexpected(std::string("Unknown day count"));
}

std::vector<std::string> calendar_names() {
    std::vector<std::string> names;
    for (const MarketTable& t : market_tables()) names.emplace_back(t.name);
    return names;
}

template <auto Member>
PyObject* schedule_days(PyObject* self, void*) noexcept {
    return np::day_array(unbox<Schedule>(self).*Member);
}

PyObject* schedule_regular(PyObject* self, void*) noexcept { return np::bool_array(unbox<Schedule>(self).regular); }

// Period starts and ends: the adjusted dates without the last / the first.
PyObject* schedule_starts(PyObject* self, void*) noexcept {
    const auto& a = unbox<Schedule>(self).adjusted;
    return np::day_array(std::vector<std::int32_t>(a.begin(), a.end() - 1));
}
PyObject* schedule_ends(PyObject* self, void*) noexcept {
    const auto& a = unbox<Schedule>(self).adjusted;
    return np::day_array(std::vector<std::int32_t>(a.begin() + 1, a.end()));
}

Py_ssize_t schedule_len(PyObject* self) noexcept {
    return static_cast<Py_ssize_t>(unbox<Schedule>(self).adjusted.size());
}

PyObject* schedule_repr(PyObject* self) noexcept {
    const Schedule& s = unbox<Schedule>(self);
    return PyUnicode_FromFormat("Schedule(%s .. %s, %zd dates)", from_int(s.adjusted.front()).to_str().c_str(),
                                from_int(s.adjusted.back()).to_str().c_str(),
                                static_cast<Py_ssize_t>(s.adjusted.size()));
}

// The arguments of schedule() that make it again: (effective, termination, tenor text,
// calendar, convention code, termination convention code, stub code, end_of_month,
// first date or None, next-to-last date or None).
PyObject* schedule_terms(PyObject* self, void*) noexcept {
    const Schedule& s = unbox<Schedule>(self);
    const ScheduleTerms& t = s.terms;
    auto day = [](std::optional<std::int32_t> d) -> PyObject* {
        return d ? Convert<DayArg>::to_py(DayArg{*d}) : Py_NewRef(Py_None);
    };
    PyObject* items[] = {
        Convert<DayArg>::to_py(DayArg{t.effective}),
        Convert<DayArg>::to_py(DayArg{t.termination}),
        Convert<std::string>::to_py(t.tenor.to_str()),
        Convert<CalendarRef>::to_py(CalendarRef{s.calendar}),
        PyLong_FromLong(static_cast<long>(t.convention)),
        PyLong_FromLong(static_cast<long>(t.termination_convention)),
        PyLong_FromLong(static_cast<long>(t.stub)),
        Py_NewRef(t.end_of_month ? Py_True : Py_False),
        day(t.first_date),
        day(t.next_to_last_date),
    };
    constexpr Py_ssize_t n = sizeof(items) / sizeof(items[0]);
    PyObject* out = nullptr;
    bool ok = true;
    for (PyObject* o : items) ok = ok && o != nullptr;
    if (ok) out = PyTuple_New(n);
    for (Py_ssize_t i = 0; i < n; ++i) {
        if (out != nullptr) PyTuple_SET_ITEM(out, i, items[i]);
        else Py_XDECREF(items[i]);
    }
    return out;
}

PyGetSetDef getset_def(const char* name, getter get, const char* doc) {
    return {.name = name, .get = get, .set = nullptr, .doc = doc, .closure = nullptr};
}

}  // namespace

PyTypeObject* PyClass<Schedule>::create() {
    static PyGetSetDef getset[] = {
        getset_def("dates", &schedule_days<&Schedule::adjusted>, "The adjusted dates (datetime64[D])."),
        getset_def("unadjusted_dates", &schedule_days<&Schedule::unadjusted>, "The dates before adjustment."),
        getset_def("start_dates", &schedule_starts, "Adjusted start of each period."),
        getset_def("end_dates", &schedule_ends, "Adjusted end of each period."),
        getset_def("reference_start", &schedule_days<&Schedule::reference_start>,
                   "Unadjusted start of each period's reference period."),
        getset_def("reference_end", &schedule_days<&Schedule::reference_end>,
                   "Unadjusted end of each period's reference period."),
        getset_def("is_regular", &schedule_regular, "Whether each period is a full tenor."),
        getset_def("_terms", &schedule_terms, "The arguments of schedule() that make it again."),
        {},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<Schedule>)},
        {Py_tp_repr, reinterpret_cast<void*>(&schedule_repr)},
        {Py_sq_length, reinterpret_cast<void*>(&schedule_len)},
        {Py_tp_getset, getset},
        {Py_tp_doc, const_cast<char*>("The dates of a schedule and the boundaries of its periods.")},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<Schedule>), slots);
}

namespace {

PyModuleDef module_def = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "vantorel_rates._native",
    .m_doc = "",
    .m_size = 0,
    .m_methods = nullptr,
};

using M = Rows<"">;

// The module's attributes in the order they are added. Later additions go at the end.
constexpr Entry registration[] = {
    {"Calendar", &make_class<CalendarRef>},
    {"Schedule", &make_class<Schedule>},
    {"DayCount", &make_class<DayCount>},
    {"schedule",
     &make_function<"vantorel_rates",
                    &M::function<"schedule", &schedule,
                                 Params<"effective", "termination", "tenor", "calendar",
                                        "convention=BusDayAdj.Following", "termination_convention=None",
                                        "stub=StubType.FrontShort", "end_of_month=False", "first_date=None",
                                        "next_to_last_date=None">>>},
    {"year_fraction",
     &make_function<"vantorel_rates",
                    &M::function<"year_fraction", &year_fraction,
                                 Params<"day_count", "start", "end", "calendar=None", "reference_start=None",
                                        "reference_end=None", "termination=None">>>},
    {"calendar_names", &make_function<"vantorel_rates", &M::function<"calendar_names", &calendar_names>>},
    {"Compounding", &make_class<Compounding>},
    {"FixedLeg", &make_class<FixedLeg>},
    {"FloatLeg", &make_class<FloatLeg>},
    {"CurveInstrument", &make_class<CurveQuote>},
    {"FixedRateBond", &make_class<FixedRateBond>},
    {"Swap", &make_class<Swap>},
    {"bootstrap", &make_function<"vantorel_rates", &bootstrap_def>},
    {"_bond_book", &make_function<"vantorel_rates", &bond_book_def>},
    {"_swap_book", &make_function<"vantorel_rates", &swap_book_def>},
};

PyObject* init() noexcept {
    process_state.set_module_name("vantorel_rates");
    PyInterpreterState* interp = PyInterpreterState_Get();
    const std::int64_t id = PyInterpreterState_GetID(interp);
    if (id < 0) return nullptr;
    if (interp != PyInterpreterState_Main() || (process_state.owner() != -1 && process_state.owner() != id)) {
        PyErr_SetString(PyExc_ImportError, "vantorel_rates does not support sub-interpreters");
        return nullptr;
    }
    if (PyObject* module = process_state.module_of(id)) return Py_NewRef(module);
    if (!process_state.intern_names()) return nullptr;
    if (fatal_error_type() == nullptr) return nullptr;
    if (!take_vantorel_classes()) return nullptr;
    Ref module(PyModule_Create(&module_def));
    if (!module) return nullptr;
    for (const Entry& entry : registration) {
        PyObject* value = entry.make();
        if (value == nullptr || PyModule_AddObject(module, entry.name, value) < 0) {
            Py_XDECREF(value);
            return nullptr;
        }
    }
    Ref ufuncs(PyModule_New("vantorel_rates._native.ufuncs"));
    if (!ufuncs || !np::add_ufuncs(ufuncs, type_of<CalendarRef>()) || PyModule_AddObjectRef(module, "ufuncs", ufuncs) < 0)
        return nullptr;
    if (!process_state.adopt_module(module, id)) return nullptr;
    return module.release();
}

}  // namespace

}  // namespace vantorel::py

PyMODINIT_FUNC PyInit__native() { return vantorel::py::init(); }
