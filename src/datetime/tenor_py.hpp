// src/datetime/tenor_py.hpp: the Python class Tenor
#pragma once

#include "binding/class_builder.hpp"
#include "datetime/tenor.hpp"

namespace vantorel::py {

template <>
struct PyClass<Tenor> {
    static constexpr const char* name = "Tenor";
    static PyTypeObject* create();
};

}  // namespace vantorel::py
