// src/np/native_state.cpp: reading and rebuilding the native values behind vantorel's opaque objects
#include "np/native_state.hpp"

#include "binding/class_builder.hpp"
#include "datetime/calendars/calendar.hpp"
#include "maths/interpolator.hpp"
#include "enums/enum_info.hpp"
#include "mkt_data/yield_curve_flat.hpp"
#include "mkt_data/yield_curve_noded.hpp"
#include "mkt_data/yield_curve_py.hpp"
#include "pricers/black_scholes.hpp"

namespace vantorel::np {

namespace {

// Takes vantorel.NAME, a class whose instances are one Box<T>. Returns false
// with an error set when it is missing or has another size (a vantorel from a
// different build).
template <class T>
bool take_class(PyObject* vantorel_module, const char* name, PyTypeObject*& out) noexcept {
    if (out != nullptr) return true;
    PyObject* cls = PyObject_GetAttrString(vantorel_module, name);
    if (cls == nullptr) return false;
    if (!PyType_Check(cls) ||
        reinterpret_cast<PyTypeObject*>(cls)->tp_basicsize != static_cast<Py_ssize_t>(sizeof(py::Box<T>))) {
        Py_DECREF(cls);
        PyErr_Format(PyExc_ImportError, "vantorel.%s does not match this build of vantorel_np", name);
        return false;
    }
    out = reinterpret_cast<PyTypeObject*>(cls);
    return true;
}

// The member's name, the class attribute that holds it. The names are literals.
template <class E>
const char* member_name(E e) noexcept {
    return EnumInfo<E>::members[code_of(e)].data();
}

PyObject* serial_list(const std::vector<Date>& dates) noexcept {
    py::Ref list(PyList_New(static_cast<Py_ssize_t>(dates.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < dates.size(); ++i) {
        PyObject* item = PyLong_FromLong(dates[i].serial());
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* float_list(const std::vector<double>& values) noexcept {
    py::Ref list(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* curve_state(const YieldCurve& curve) noexcept {
    const long date = curve.get_curve_date().serial();
    const char* dc = member_name(curve.get_dc());
    if (const auto* flat = dynamic_cast<const YieldCurveFlat*>(&curve))
        return Py_BuildValue("(slsd)", "flat", date, dc, flat->get_flat_rate());
    if (const auto* noded = dynamic_cast<const YieldCurveNoded*>(&curve)) {
        py::Ref dates(serial_list(noded->get_node_dates()));
        py::Ref factors(dates ? float_list(noded->get_discount_factors()) : nullptr);
        if (!factors) return nullptr;
        return Py_BuildValue("(slsOOs)", "noded", date, dc, dates.get(), factors.get(),
                             member_name(noded->get_interpolator().get_interp_type()));
    }
    PyErr_SetString(PyExc_TypeError, "native_state(): a curve of unknown kind");
    return nullptr;
}

}  // namespace

VantorelClasses classes;

bool take_classes(PyObject* vantorel_module) noexcept {
    return take_class<YearMonthDay>(vantorel_module, "YearMonthDay", classes.ymd) &&
           take_class<py::YieldCurvePy>(vantorel_module, "YieldCurve", classes.curve) &&
           take_class<BlackScholesMetrics>(vantorel_module, "BlackScholesMetrics", classes.metrics) &&
           take_class<Interpolator>(vantorel_module, "Interpolator", classes.interpolator) &&
           take_class<Calendar>(vantorel_module, "Calendar", classes.calendar);
}

PyObject* native_state(PyObject*, PyObject* obj) noexcept {
    if (Py_TYPE(obj) == classes.ymd) {
        const YearMonthDay& ymd = py::unbox<YearMonthDay>(obj);
        return Py_BuildValue("(iii)", int{ymd.year()}, int{ymd.month()}, int{ymd.day()});
    }
    if (Py_TYPE(obj) == classes.curve) return curve_state(*py::unbox<py::YieldCurvePy>(obj).curve);
    PyErr_Format(PyExc_TypeError, "native_state(): expected a YearMonthDay or YieldCurve, got %.200s",
                 Py_TYPE(obj)->tp_name);
    return nullptr;
}

PyObject* make_metrics(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    if (nargs != 7) {
        PyErr_Format(PyExc_TypeError, "make_metrics() takes 7 arguments (%zd given)", nargs);
        return nullptr;
    }
    double v[7];
    for (int k = 0; k < 7; ++k) {
        v[k] = PyFloat_AsDouble(args[k]);
        if (v[k] == -1.0 && PyErr_Occurred()) return nullptr;
    }
    // The class's own allocator, so that vantorel's deallocator may free or reuse it.
    PyObject* o = PyType_GenericAlloc(classes.metrics, 0);
    if (o == nullptr) return nullptr;
    py::unbox<BlackScholesMetrics>(o) = BlackScholesMetrics{v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
    return o;
}

}  // namespace vantorel::np
