// src/module.cpp: the vantorel module: its entry point and the registration table
#include <atomic>
#include <cstdint>

#include "binding/class_builder.hpp"
#include "datetime/calendars/calendar_py.hpp"
#include "datetime/date_py.hpp"
#include "datetime/day_counter_py.hpp"
#include "datetime/tenor_py.hpp"
#include "enums/enums_py.hpp"
#include "python/plotting.hpp"
#include "maths/interpolator_py.hpp"
#include "mkt_data/yield_curve_py.hpp"
#include "maths/functions/functions_py.hpp"
#include "pricers/black_scholes_py.hpp"

namespace vantorel::py {

namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "vantorel",
    "",       // docstring
    0,        // no per-module state: a repeated import calls PyInit again
    nullptr,  // functions are added one by one, in registration order
};

// The interpreter that initialised the module (-1: none yet; only ever the
// main interpreter) and the module object built for it.
std::atomic<std::int64_t> owner_interpreter{-1};
PyObject* module_object = nullptr;

PyObject* make_version() noexcept { return PyUnicode_FromString("0.1.0"); }

template <class T>
PyObject* make_class() noexcept {
    return reinterpret_cast<PyObject*>(Py_XNewRef(type_of<T>()));
}

template <PyMethodDef& Def>
PyObject* make_function() noexcept {
    Ref module_name(PyUnicode_FromString("vantorel"));
    if (!module_name) return nullptr;
    return PyCFunction_NewEx(&Def, nullptr, module_name);
}

struct Entry {
    const char* name;
    PyObject* (*make)() noexcept;
};

// The module's attributes in the order they are added; __all__ lists them in
// this order.
const Entry registration[] = {
    {"__version__", &make_version},
    {"plot_function", &make_function<plot_function_def>},
    {"Calendar", &make_class<Calendar>},
    {"YearMonthDay", &make_class<YearMonthDay>},
    {"Date", &make_class<Date>},
    {"DayCounter", &make_class<DayCounter>},
    {"Tenor", &make_class<Tenor>},
    {"BlackScholesMetrics", &make_class<BlackScholesMetrics>},
    {"BlackScholes", &make_class<BlackScholes>},
    {"Interpolator", &make_class<Interpolator>},
    {"YieldCurve", &make_class<YieldCurvePy>},
    {"BusDayAdj", &make_class<BusDayAdj>},
    {"ExtrapType", &make_class<ExtrapType>},
    {"InterpType", &make_class<InterpType>},
    {"StubType", &make_class<StubType>},
    {"TenorUnit", &make_class<TenorUnit>},
    {"PutCallFlag", &make_class<PutCallFlag>},
    {"PayerReceiverFlag", &make_class<PayerReceiverFlag>},
    {"Weekday", &make_class<Weekday>},
    {"exp", &make_function<exp_def>},
    {"ln", &make_function<ln_def>},
    {"log10", &make_function<log10_def>},
    {"log2", &make_function<log2_def>},
    {"pow2", &make_function<pow2_def>},
    {"sqrt", &make_function<sqrt_def>},
    {"sin", &make_function<sin_def>},
    {"cos", &make_function<cos_def>},
    {"tan", &make_function<tan_def>},
    {"erf", &make_function<erf_def>},
    {"erfc", &make_function<erfc_def>},
    {"erf_inv", &make_function<erf_inv_def>},
    {"erfc_inv", &make_function<erfc_inv_def>},
};

// Appends name to __all__ (creating the list on first use), then sets the
// attribute. Steals value. Returns false with an error set.
bool add(PyObject* module, const char* name, PyObject* value) noexcept {
    Ref owned(value);
    if (!owned) return false;
    Ref all_ref(PyObject_GetAttrString(module, "__all__"));
    if (!all_ref) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all_ref = Ref(PyList_New(0));
        if (!all_ref || PyObject_SetAttrString(module, "__all__", all_ref) < 0) return false;
    }
    Ref text(PyUnicode_FromString(name));
    if (!text || PyList_Append(all_ref, text) < 0) return false;
    return PyObject_SetAttrString(module, name, owned) == 0;
}

PyObject* init() noexcept {
    // 1. Which interpreter is importing.
    PyInterpreterState* interp = PyInterpreterState_Get();
    const std::int64_t id = PyInterpreterState_GetID(interp);
    if (id < 0) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        return nullptr;
    }
    // 2. Only the main interpreter may own the module, and only one interpreter
    // ever does. The module's state (type objects, module object) is kept for
    // the process, so its owner must live as long: a sub-interpreter is refused
    // before anything is recorded or built, whether or not the main interpreter
    // has imported the module yet (CPython 3.12 runs this function in an isolated
    // sub-interpreter before refusing the module there itself).
    std::int64_t expected = -1;
    if (interp != PyInterpreterState_Main() ||
        (!owner_interpreter.compare_exchange_strong(expected, id) && expected != id)) {
        PyErr_SetString(PyExc_ImportError,
                        "vantorel does not support sub-interpreters: it is already "
                        "initialised in another interpreter of this process");
        return nullptr;
    }
    // 3. A repeated import in the same interpreter gets the same module.
    if (module_object != nullptr) return Py_NewRef(module_object);
    // 4. Build and fill the module, stopping at the first failure.
    Ref module(PyModule_Create2(&module_def, 1013));
    if (!module) return nullptr;
    for (const Entry& entry : registration)
        if (!add(module, entry.name, entry.make())) return nullptr;
    // 5. Keep it for the life of the process.
    module_object = Py_NewRef(module.get());
    return module.release();
}

}  // namespace

}  // namespace vantorel::py

PyMODINIT_FUNC PyInit_vantorel() { return vantorel::py::init(); }
