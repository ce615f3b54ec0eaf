// src/pricers/black_scholes_py.hpp: the Python classes BlackScholes and BlackScholesMetrics
#pragma once

#include "binding/class_builder.hpp"
#include "pricers/black_scholes.hpp"

namespace vantorel::py {

// BlackScholes is a namespace of static methods; it has no native value and
// no instances.
struct BlackScholes {};

template <>
struct PyClass<BlackScholes> {
    static constexpr const char* name = "BlackScholes";
    static PyTypeObject* create();
};

template <>
struct PyClass<BlackScholesMetrics> {
    static constexpr const char* name = "BlackScholesMetrics";
    static PyTypeObject* create();
};

}  // namespace vantorel::py
