// src/maths/interpolator_py.hpp: the Python class Interpolator
#pragma once

#include "binding/class_builder.hpp"
#include "maths/interpolator.hpp"

namespace vantorel::py {

template <>
struct PyClass<Interpolator> {
    static constexpr const char* name = "Interpolator";
    static PyTypeObject* create();
};

}  // namespace vantorel::py
