// src/np/state.hpp: everything vantorel_np._ufuncs keeps between calls, in one structure
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

#include "conventions/holiday_calendar.hpp"
#include "datetime/calendars/calendar.hpp"
#include "datetime/day_counter.hpp"
#include "datetime/tenor.hpp"
#include "enums/bus_day_adj.hpp"
#include "maths/interpolator.hpp"
#include "mkt_data/yield_curve.hpp"
#include "pricers/black_scholes.hpp"

struct _PyArray_Descr;

namespace vantorel::np {

// One owned reference (or none).
struct Decref {
    void operator()(PyObject* o) const noexcept { Py_DECREF(o); }
};
using Owned = std::unique_ptr<PyObject, Decref>;

// The extension's process-wide state, filled once by the module's init and
// kept for the process: the classes of the vantorel module imported then (an
// operand is checked against these by identity, never against what the
// vantorel module holds at call time), the FatalError class the scalar API
// raises, and datetime64[D].
struct State {
    PyTypeObject* ymd = nullptr;
    PyTypeObject* curve = nullptr;
    PyTypeObject* metrics = nullptr;
    PyTypeObject* interpolator = nullptr;
    PyTypeObject* calendar = nullptr;
    PyTypeObject* day_counter = nullptr;
    PyTypeObject* tenor = nullptr;
    PyTypeObject* bus_day_adj = nullptr;
    // vantorel_rates.Calendar, set by that package's extension (not taken from vantorel).
    PyTypeObject* rates_calendar = nullptr;
    PyObject* fatal_error = nullptr;
    _PyArray_Descr* day = nullptr;
};
extern State state;

// A vantorel object is the object header and one native value inline. The
// extension reads that value for the classes below; init checks each class's
// instance size against Instance<Value> so that a vantorel of another build
// is refused at import.
template <class V>
struct Instance {
    PyObject_HEAD
    V value;
};

// Vantorel<T>: the vantorel class whose instances hold a T, its state slot,
// the value stored inline and how T is reached from it. A curve is held by a
// shared handle.
template <class T>
struct Vantorel {
    using Value = T;
    static const T& get(const Value& v) noexcept { return v; }
};
template <>
struct Vantorel<YieldCurve> {
    static constexpr const char* name = "YieldCurve";
    static constexpr PyTypeObject* State::*slot = &State::curve;
    using Value = std::shared_ptr<const YieldCurve>;
    static const YieldCurve& get(const Value& v) noexcept { return *v; }
};
// The calendars of vantorel_rates hold their rules by a shared handle too;
// the name completes "vantorel" in messages.
template <>
struct Vantorel<HolidayCalendar> {
    static constexpr const char* name = "_rates.Calendar";
    static constexpr PyTypeObject* State::*slot = &State::rates_calendar;
    using Value = std::shared_ptr<const HolidayCalendar>;
    static const HolidayCalendar& get(const Value& v) noexcept { return *v; }
};
#define VANTOREL_NP_CLASS(T, NAME, SLOT)                                      \
    template <>                                                               \
    struct Vantorel<T> {                                                      \
        static constexpr const char* name = NAME;                             \
        static constexpr PyTypeObject* State::*slot = &State::SLOT;           \
        using Value = T;                                                      \
        static const T& get(const Value& v) noexcept { return v; }            \
    };
VANTOREL_NP_CLASS(YearMonthDay, "YearMonthDay", ymd)
VANTOREL_NP_CLASS(BlackScholesMetrics, "BlackScholesMetrics", metrics)
VANTOREL_NP_CLASS(Interpolator, "Interpolator", interpolator)
VANTOREL_NP_CLASS(Calendar, "Calendar", calendar)
VANTOREL_NP_CLASS(DayCounter, "DayCounter", day_counter)
VANTOREL_NP_CLASS(Tenor, "Tenor", tenor)
VANTOREL_NP_CLASS(BusDayAdj, "BusDayAdj", bus_day_adj)
#undef VANTOREL_NP_CLASS

template <class T>
concept ObjectOperand = requires { Vantorel<T>::slot; };

// The class of T taken at import (borrowed, kept for the process).
template <ObjectOperand T>
PyTypeObject* class_of() noexcept {
    return state.*Vantorel<T>::slot;
}

// The T inside o, or nullptr when o is not an instance of exactly that class.
// Reads only the object's memory: callable without the GIL while o is kept alive.
template <ObjectOperand T>
const T* native_of(PyObject* o) noexcept {
    if (o == nullptr || Py_TYPE(o) != class_of<T>()) return nullptr;
    return &Vantorel<T>::get(reinterpret_cast<Instance<typename Vantorel<T>::Value>*>(o)->value);
}

// Takes the classes and FatalError at import. Returns false with an error set.
bool take_state() noexcept;

}  // namespace vantorel::np
