// src/datetime/tenor_py.hpp: the Python class Tenor and the Date method add_tenor
#pragma once

#include "binding/class_builder.hpp"
#include "datetime/tenor.hpp"

namespace vantorel::py {

template <>
struct PyClass<Tenor> {
    static constexpr const char* name = "Tenor";
    static PyTypeObject* create();
};

// Date.add_tenor($self, t), for the Date class's method table.
PyMethodDef date_add_tenor_def();

}  // namespace vantorel::py
