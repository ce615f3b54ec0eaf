// src/datetime/date_py.hpp: the Python classes Date and YearMonthDay
#pragma once

#include "binding/class_builder.hpp"
#include "datetime/date.hpp"

namespace vantorel::py {

template <>
struct PyClass<Date> {
    static constexpr const char* name = "Date";
    static PyTypeObject* create();
};

template <>
struct PyClass<YearMonthDay> {
    static constexpr const char* name = "YearMonthDay";
    static PyTypeObject* create();
};

}  // namespace vantorel::py
