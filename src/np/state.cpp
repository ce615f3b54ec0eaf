// src/np/state.cpp: the extension's process-wide state, taken once at import
#include "np/state.hpp"

namespace vantorel::np {

State state;

namespace {

// Takes vantorel.NAME into its slot, a class whose instances are one
// Instance<Value> of this build. Returns false with an error set when it is
// missing or has another size (a vantorel from a different build).
template <ObjectOperand T>
bool take_class(PyObject* vantorel_module) noexcept {
    PyTypeObject*& slot = state.*Vantorel<T>::slot;
    if (slot != nullptr) return true;
    PyObject* cls = PyObject_GetAttrString(vantorel_module, Vantorel<T>::name);
    if (cls == nullptr) return false;
    using Layout = Instance<typename Vantorel<T>::Value>;
    if (!PyType_Check(cls) ||
        reinterpret_cast<PyTypeObject*>(cls)->tp_basicsize != static_cast<Py_ssize_t>(sizeof(Layout))) {
        Py_DECREF(cls);
        PyErr_Format(PyExc_ImportError, "vantorel.%s does not match this build of vantorel_np", Vantorel<T>::name);
        return false;
    }
    slot = reinterpret_cast<PyTypeObject*>(cls);
    return true;
}

}  // namespace

bool take_state() noexcept {
    if (state.fatal_error == nullptr) {
        PyObject* runtime = PyImport_ImportModule("native_runtime");
        if (runtime == nullptr) return false;
        state.fatal_error = PyObject_GetAttrString(runtime, "FatalError");
        Py_DECREF(runtime);
        if (state.fatal_error == nullptr) return false;
    }
    PyObject* vantorel_module = PyImport_ImportModule("vantorel");
    if (vantorel_module == nullptr) return false;
    const bool ok = take_class<YearMonthDay>(vantorel_module) && take_class<YieldCurve>(vantorel_module) &&
                    take_class<BlackScholesMetrics>(vantorel_module) && take_class<Interpolator>(vantorel_module) &&
                    take_class<Calendar>(vantorel_module) && take_class<DayCounter>(vantorel_module) &&
                    take_class<Tenor>(vantorel_module) && take_class<BusDayAdj>(vantorel_module);
    Py_DECREF(vantorel_module);
    return ok;
}

}  // namespace vantorel::np
