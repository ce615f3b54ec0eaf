// src/np/native_state.hpp: the native state of vantorel objects that Python cannot read, for pickling
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vantorel::np {

// native_state(obj): what rebuilds obj through vantorel's public constructors.
//   YearMonthDay:       (year, month, day)
//   flat YieldCurve:    ("flat", curve date serial, DayCounter name, flat rate)
//   noded YieldCurve:   ("noded", curve date serial, DayCounter name,
//                        [node date serials], [discount factors], InterpType name)
// TypeError for any other object.
PyObject* native_state(PyObject* module, PyObject* obj) noexcept;

// make_metrics(npv, delta, gamma, vega, theta, rho_r, rho_q): a
// vantorel.BlackScholesMetrics holding the seven floats as given.
PyObject* make_metrics(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;

}  // namespace vantorel::np
