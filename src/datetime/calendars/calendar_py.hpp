// src/datetime/calendars/calendar_py.hpp: the Python class Calendar and the Date methods that take one
#pragma once

#include "binding/class_builder.hpp"
#include "datetime/calendars/calendar.hpp"

namespace vantorel::py {

template <>
struct PyClass<Calendar> {
    static constexpr const char* name = "Calendar";
    static PyTypeObject* create();
};

// Date.is_business_day($self, cal) and Date.is_weekend($self, cal), for the
// Date class's method table.
PyMethodDef date_is_business_day_def();
PyMethodDef date_is_weekend_def();

}  // namespace vantorel::py
