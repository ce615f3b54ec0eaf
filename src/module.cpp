// src/module.cpp: the vantorel module: its entry point and the registration table
#include <cstdint>

#include "binding/call.hpp"
#include "binding/errors.hpp"
#include "binding/registration.hpp"
#include "binding/state.hpp"
#include "datetime/calendars/calendar_py.hpp"
#include "datetime/date_py.hpp"
#include "datetime/day_counter.hpp"
#include "datetime/tenor_py.hpp"
#include "enums/bus_day_adj.hpp"
#include "enums/extrap_type.hpp"
#include "enums/interp_type.hpp"
#include "enums/payer_receiver_flag.hpp"
#include "enums/put_call_flag.hpp"
#include "enums/stub_type.hpp"
#include "enums/tenor_unit.hpp"
#include "enums/weekday.hpp"
#include "maths/functions/err_functions.hpp"
#include "maths/functions/num_functions.hpp"
#include "maths/interpolator_py.hpp"
#include "mkt_data/yield_curve_py.hpp"
#include "pricers/black_scholes_py.hpp"
#include "python/plotting.hpp"

namespace vantorel::py {

namespace {

PyModuleDef module_def = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "vantorel",
    .m_doc = "",
    .m_size = 0,         // no per-module state: a repeated import calls PyInit again
    .m_methods = nullptr,  // functions are added one by one, in registration order
};

PyObject* make_version() noexcept { return PyUnicode_FromString("0.1.0"); }

PyObject* make_plot_function() noexcept {
    Ref module_name(PyUnicode_FromString("vantorel"));
    if (!module_name) return nullptr;
    return PyCFunction_NewEx(&plot_function_def, nullptr, module_name);
}

template <class T>
constexpr Entry class_entry() {
    return {PyClass<T>::name, &make_class<T>};
}

// A module function of one float x.
template <FixedString Name, auto Fn, FixedString Doc = "">
constexpr Entry function_of_x() {
    return {Name.text, &make_function<"vantorel", &Rows<"">::function<Name, Fn, Params<"x">, Doc>>};
}

// The module's attributes in the order they are added; __all__ lists them in
// this order.
constexpr Entry registration[] = {
    {"__version__", &make_version},
    {"plot_function", &make_plot_function},
    class_entry<Calendar>(),
    class_entry<YearMonthDay>(),
    class_entry<Date>(),
    class_entry<DayCounter>(),
    class_entry<Tenor>(),
    class_entry<BlackScholesMetrics>(),
    class_entry<BlackScholes>(),
    class_entry<Interpolator>(),
    class_entry<YieldCurvePy>(),
    class_entry<BusDayAdj>(),
    class_entry<ExtrapType>(),
    class_entry<InterpType>(),
    class_entry<StubType>(),
    class_entry<TenorUnit>(),
    class_entry<PutCallFlag>(),
    class_entry<PayerReceiverFlag>(),
    class_entry<Weekday>(),
    function_of_x<"exp", &vantorel::exp>(),
    function_of_x<"ln", &vantorel::ln>(),
    function_of_x<"log10", &vantorel::log10>(),
    function_of_x<"log2", &vantorel::log2>(),
    function_of_x<"pow2", &vantorel::pow2>(),
    function_of_x<"sqrt", &vantorel::sqrt>(),
    function_of_x<"sin", &vantorel::sin>(),
    function_of_x<"cos", &vantorel::cos>(),
    function_of_x<"tan", &vantorel::tan>(),
    function_of_x<"erf", &vantorel::erf, "`erf` calculates the error function at `x`.">(),
    function_of_x<"erfc", &vantorel::erfc, "`erfc` calculates the complementary error function\nat `x`.">(),
    function_of_x<"erf_inv", &vantorel::erf_inv, "`erf_inv` calculates the inverse error function\nat `x`.">(),
    function_of_x<"erfc_inv", &vantorel::erfc_inv,
                  "`erfc_inv` calculates the complementary inverse\nerror function at `x`.">(),
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
    // 2. Only the main interpreter may own the module: its state lives as
    // long as the process's main interpreter, and is reset when that is
    // finalised. A sub-interpreter is refused before anything is recorded or
    // built, whether or not the main interpreter has imported the module yet
    // (CPython 3.12 runs this function in an isolated sub-interpreter before
    // refusing the module there itself).
    if (interp != PyInterpreterState_Main() || (process_state.owner() != -1 && process_state.owner() != id)) {
        PyErr_SetString(PyExc_ImportError,
                        "vantorel does not support sub-interpreters: it is already "
                        "initialised in another interpreter of this process");
        return nullptr;
    }
    // 3. A repeated import in the same interpreter gets the same module.
    if (PyObject* module = process_state.module_of(id)) return Py_NewRef(module);
    // 4. The parameter names of every callable, interned all or none.
    if (!process_state.intern_names()) return nullptr;
    // 5. Take FatalError from native_runtime now: importing it later, on the
    // first failure, would run the import machinery in an error path, where
    // memory may be exhausted.
    if (fatal_error_type() == nullptr) return nullptr;
    // 6. Build and fill the module, stopping at the first failure.
    Ref module(PyModule_Create(&module_def));
    if (!module) return nullptr;
    for (const Entry& entry : registration)
        if (!add(module, entry.name, entry.make())) return nullptr;
    // 7. The process state keeps it until the interpreter is finalised.
    if (!process_state.adopt_module(module, id)) return nullptr;
    return module.release();
}

}  // namespace

}  // namespace vantorel::py

PyMODINIT_FUNC PyInit_vantorel() { return vantorel::py::init(); }
