// src/datetime/calendars/calendar_py.hpp: the Python class Calendar
#pragma once

#include "binding/class_builder.hpp"
#include "datetime/calendars/calendar.hpp"

namespace vantorel::py {

template <>
struct PyClass<Calendar> {
    static constexpr const char* name = "Calendar";
    static PyTypeObject* create();
};

}  // namespace vantorel::py
