// src/mkt_data/yield_curve_py.hpp: the Python class YieldCurve, holding one shared curve
#pragma once

#include <memory>

#include "binding/class_builder.hpp"
#include "mkt_data/yield_curve.hpp"

namespace vantorel::py {

// The native value of a Python YieldCurve: a shared handle (atomically counted)
// to a flat or noded curve. The box's destructor releases it.
struct YieldCurvePy {
    std::shared_ptr<const YieldCurve> curve;
};

template <>
struct PyClass<YieldCurvePy> {
    static constexpr const char* name = "YieldCurve";
    static PyTypeObject* create();
};

// Methods bind the curve interface's member functions directly: the receiver
// is the shared curve.
template <>
struct ReceiverOf<YieldCurve> {
    static const YieldCurve& get(PyObject* self) noexcept { return *unbox<YieldCurvePy>(self).curve; }
};

}  // namespace vantorel::py
