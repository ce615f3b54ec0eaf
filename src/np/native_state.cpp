// src/np/native_state.cpp: reading and rebuilding the native values behind vantorel's opaque objects
#include "np/native_state.hpp"

#include <string>
#include <vector>

#include "enums/enum_info.hpp"
#include "mkt_data/yield_curve_flat.hpp"
#include "mkt_data/yield_curve_noded.hpp"
#include "np/state.hpp"

namespace vantorel::np {

namespace {

// The member's name, the class attribute that holds it. The names are literals.
template <class E>
const char* member_name(E e) noexcept {
    return EnumInfo<E>::members[code_of(e)].data();
}

PyObject* serial_list(const std::vector<Date>& dates) noexcept {
    Owned list(PyList_New(static_cast<Py_ssize_t>(dates.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < dates.size(); ++i) {
        PyObject* item = PyLong_FromLong(dates[i].serial());
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* float_list(const std::vector<double>& values) noexcept {
    Owned list(PyList_New(static_cast<Py_ssize_t>(values.size())));
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
        Owned dates(serial_list(noded->get_node_dates()));
        Owned factors(dates ? float_list(noded->get_discount_factors()) : nullptr);
        if (!factors) return nullptr;
        return Py_BuildValue("(slsOOs)", "noded", date, dc, dates.get(), factors.get(),
                             member_name(noded->get_interpolator().get_interp_type()));
    }
    PyErr_SetString(PyExc_TypeError, "native_state(): a curve of unknown kind");
    return nullptr;
}

}  // namespace

PyObject* native_state(PyObject*, PyObject* obj) noexcept {
    if (const YearMonthDay* ymd = native_of<YearMonthDay>(obj))
        return Py_BuildValue("(iii)", int{ymd->year()}, int{ymd->month()}, int{ymd->day()});
    if (const YieldCurve* curve = native_of<YieldCurve>(obj)) return curve_state(*curve);
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
    PyObject* o = PyType_GenericAlloc(class_of<BlackScholesMetrics>(), 0);
    if (o == nullptr) return nullptr;
    reinterpret_cast<Instance<BlackScholesMetrics>*>(o)->value = BlackScholesMetrics{v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
    return o;
}

}  // namespace vantorel::np
