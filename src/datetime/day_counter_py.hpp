// src/datetime/day_counter_py.hpp: the Python class DayCounter
#pragma once

#include "binding/class_builder.hpp"
#include "datetime/day_counter.hpp"

namespace vantorel::py {

template <>
struct PyClass<DayCounter> {
    static constexpr const char* name = "DayCounter";
    static PyTypeObject* create();
};

}  // namespace vantorel::py
