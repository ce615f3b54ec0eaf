// src/np/ufuncs.cpp: vantorel_np._ufuncs, the ufuncs built from one table of core kernels
#include "np/loops.hpp"
#include "np/native_state.hpp"

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/failure.hpp"
#include "datetime/calendars/calendar.hpp"
#include "datetime/day_counter.hpp"
#include "datetime/tenor.hpp"
#include "maths/functions/err_functions.hpp"
#include "maths/interpolator.hpp"
#include "mkt_data/yield_curve_py.hpp"
#include "pricers/implied_vol.hpp"

namespace vantorel::np {

namespace {

// ---- kernels that adapt a core call to plain operands ------------------------------

double weekday_code(Date d) noexcept { return code_of(d.weekday()); }

bool business_day(const Calendar* cal, Date d) noexcept { return cal->is_business_day(d); }
bool weekend(const Calendar* cal, Date d) noexcept { return cal->is_weekend(d); }

// The Python layer hands over a tenor as its count and unit code; a count or
// code no Tenor can hold is a failure here, never undefined behaviour.
Date add_count(Date d, std::int64_t count, std::int64_t unit) {
    if (count < INT16_MIN || count > INT16_MAX || unit < 0 || unit >= std::int64_t{enum_size<TenorUnit>})
        fail("Invalid tenor (" + std::to_string(count) + ", unit code " + std::to_string(unit) + ")");
    return add_tenor(d, Tenor{static_cast<std::int16_t>(count), static_cast<TenorUnit>(unit)});
}

double year_fraction(std::int64_t dc, Date start, Date end) {
    if (dc < 0 || dc >= std::int64_t{enum_size<DayCounter>}) fail("not implemented");
    return get_dcf(static_cast<DayCounter>(dc), start, end);
}

// Calendar days over 365.0, as the pricer's _with_dates forms take tau.
double tau_from_dates(Date eval_date, Date expiry_date) noexcept {
    const std::int32_t days = expiry_date.serial() - eval_date.serial();
    return static_cast<double>(days) / 365.0;
}

double discount_factor(const YieldCurve* c, Date d) { return c->get_df(d); }
double fwd_df(const YieldCurve* c, Date start, Date end) { return c->get_fwd_df(start, end); }
double overnight_rate(const YieldCurve* c, Date d) { return c->get_overnight_rate(d); }
double fwd_rate(const YieldCurve* c, Date start, Date end) { return c->get_fwd_rate(start, end); }
// Continuously compounded: -ln(df) / year fraction from the curve date. At the
// curve date that is 0/0, NaN.
double zero_rate(const YieldCurve* c, Date d) {
    return -std::log(c->get_df(d)) / get_dcf(c->get_dc(), c->get_curve_date(), d);
}

double interpolate(const Interpolator* i, double x) { return i->interpolate(x); }

// An operand every element of the loop shares (a scalar broadcast), or nothing.
template <class A>
std::optional<A> shared(const char* p, std::ptrdiff_t step, std::ptrdiff_t n) noexcept {
    if (n == 0 || (step != 0 && n > 1)) return std::nullopt;
    return Arg<A>::load(p, false);
}

}  // namespace

// ---- the same kernels over whole date columns -------------------------------------------

template <>
struct DateLanes<&weekday_code> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        return lanes::active()->dates.weekday(data[0], steps[0], data[1], steps[1], n);
    }
};

// A calendar without holidays, the same for every element: its weekend decides.
template <bool Business>
std::ptrdiff_t weekend_days(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
    const auto cal = shared<const Calendar*>(data[0], steps[0], n);
    const int weekend = cal ? (*cal)->impl().weekend_only() : -1;
    if (weekend < 0) return 0;
    return lanes::active()->dates.weekend(data[1], steps[1], data[2], steps[2], n, static_cast<unsigned>(weekend),
                                          Business);
}
template <>
struct DateLanes<&business_day> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        return weekend_days<true>(data, steps, n);
    }
};
template <>
struct DateLanes<&weekend> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        return weekend_days<false>(data, steps, n);
    }
};

// One tenor for every element: D and W are one addition, M and Y month arithmetic.
template <>
struct DateLanes<&add_count> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        const auto count = shared<std::int64_t>(data[1], steps[1], n);
        const auto unit = shared<std::int64_t>(data[2], steps[2], n);
        if (!count || !unit || *count < INT16_MIN || *count > INT16_MAX) return 0;
        const auto& dates = lanes::active()->dates;
        switch (*unit) {
            case static_cast<std::int64_t>(TenorUnit::D): return dates.add_days(data[0], steps[0], data[3], steps[3], n, *count);
            case static_cast<std::int64_t>(TenorUnit::W): return dates.add_days(data[0], steps[0], data[3], steps[3], n, 7 * *count);
            case static_cast<std::int64_t>(TenorUnit::M): return dates.add_months(data[0], steps[0], data[3], steps[3], n, *count);
            case static_cast<std::int64_t>(TenorUnit::Y): return dates.add_months(data[0], steps[0], data[3], steps[3], n, 12 * *count);
            default: return 0;
        }
    }
};

template <>
struct DateLanes<&year_fraction> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        const auto dc = shared<std::int64_t>(data[0], steps[0], n);
        if (!dc || (*dc != static_cast<std::int64_t>(DayCounter::Act365) && *dc != static_cast<std::int64_t>(DayCounter::Act360)))
            return 0;
        const double divisor = *dc == static_cast<std::int64_t>(DayCounter::Act365) ? 365.0 : 360.0;
        return lanes::active()->dates.day_fraction(data[1], steps[1], data[2], steps[2], data[3], steps[3], n, divisor);
    }
};

template <>
struct DateLanes<&tau_from_dates> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        return lanes::active()->dates.day_fraction(data[0], steps[0], data[1], steps[1], data[2], steps[2], n, 365.0);
    }
};

namespace {

// ---- the table ----------------------------------------------------------------------

struct Row {
    const char* name;
    const char* doc;
    bool (*add)(PyObject* module, const Row& row) noexcept;
};

template <auto Fn, bool FlagAsBool>
bool add_loop(PyObject* ufunc) noexcept {
    using K = KernelOf<Fn>;
    PyArray_DTypeMeta* dtypes[K::nin + K::nout];
    for (std::size_t i = 0; i < K::nin + K::nout; ++i) dtypes[i] = dtype_of(kind_at<Fn>(i), FlagAsBool);
    PyType_Slot slots[] = {
        {NPY_METH_strided_loop, reinterpret_cast<void*>(&strided_loop<Fn, FlagAsBool>)},
        {K::has_day ? NPY_METH_resolve_descriptors : 0, reinterpret_cast<void*>(&resolve_descriptors<Fn>)},
        {0, nullptr},
    };
    PyArrayMethod_Spec spec{};
    spec.name = "vantorel_np_loop";
    spec.nin = static_cast<int>(K::nin);
    spec.nout = static_cast<int>(K::nout);
    spec.casting = NPY_NO_CASTING;
    spec.flags = NPY_METH_NO_FLOATINGPOINT_ERRORS;  // no Python API: NumPy drops the GIL
    spec.dtypes = dtypes;
    spec.slots = slots;
    return PyUFunc_AddLoopFromSpec(ufunc, &spec) == 0;
}

// "(),(),()->(),()" for a kernel with several results: a gufunc, so that
// dask dispatches it.
std::string scalar_signature(std::size_t nin, std::size_t nout) {
    std::string s;
    for (std::size_t i = 0; i < nin; ++i) s += i == 0 ? "()" : ",()";
    s += "->";
    for (std::size_t i = 0; i < nout; ++i) s += i == 0 ? "()" : ",()";
    return s;
}

// Creates the ufunc of a row, registers its loops (two when the kernel takes
// a PutCallFlag: int64 codes and bool) and the promoter, and adds it to the
// module. Returns false with an error set.
template <auto Fn>
bool add_ufunc(PyObject* module, const Row& row) noexcept {
    using K = KernelOf<Fn>;
    constexpr int nin = static_cast<int>(K::nin), nout = static_cast<int>(K::nout);
    static const std::string signature = scalar_signature(K::nin, K::nout);
    py::Ref ufunc(nout > 1 ? PyUFunc_FromFuncAndDataAndSignature(nullptr, nullptr, nullptr, 0, nin, nout,
                                                                 PyUFunc_None, row.name, row.doc, 0,
                                                                 signature.c_str())
                           : PyUFunc_FromFuncAndData(nullptr, nullptr, nullptr, 0, nin, nout,
                                                     PyUFunc_None, row.name, row.doc, 0));
    if (!ufunc || !add_loop<Fn, false>(ufunc)) return false;
    if (K::has_flag && !add_loop<Fn, true>(ufunc)) return false;
    py::Ref any(PyTuple_New(nin + nout));
    if (!any) return false;
    for (int i = 0; i < nin + nout; ++i) PyTuple_SET_ITEM(any.get(), i, Py_NewRef(Py_None));
    py::Ref promoter(PyCapsule_New(reinterpret_cast<void*>(&promote<Fn>), "numpy._ufunc_promoter", nullptr));
    if (!promoter || PyUFunc_AddPromoter(ufunc, any, promoter) < 0) return false;
    // Pickle (dask's graphs, process pools) finds a ufunc by its module and name;
    // without a module it searches every imported module for it.
    py::Ref module_name(PyModule_GetNameObject(module));
    if (!module_name || PyObject_SetAttrString(ufunc, "__module__", module_name) < 0) return false;
    return PyModule_AddObjectRef(module, row.name, ufunc) == 0;
}

template <auto Fn>
constexpr Row row(const char* name, const char* doc) {
    return {name, doc, &add_ufunc<Fn>};
}

// The pricer's operands; pc_flag is an int64 code (non-zero: call) or a bool.
#define VANTOREL_PRICER_DOC(what)                                                   \
    "(spot, strike, rate, div_yield, tau, pc_flag, vol): " what                     \
    " as BlackScholes gives it; NaN where spot, strike or vol is negative (None there)."

// One row per ufunc: its name, its docstring, the core kernel it runs. The
// operand types follow from the kernel's signature: double, int64, a
// PutCallFlag (int64 codes or bool), a Date (datetime64[D]), a native handle.
const Row rows[] = {
    row<&vantorel::npv>("npv", VANTOREL_PRICER_DOC("Black-Scholes value")),
    row<&vantorel::delta>("delta", VANTOREL_PRICER_DOC("Black-Scholes delta")),
    row<&vantorel::gamma>("gamma", VANTOREL_PRICER_DOC("Black-Scholes gamma")),
    row<&vantorel::vega>("vega", VANTOREL_PRICER_DOC("Black-Scholes vega")),
    row<&vantorel::theta>("theta", VANTOREL_PRICER_DOC("Black-Scholes theta")),
    row<&vantorel::rho_r>("rho_r", VANTOREL_PRICER_DOC("Black-Scholes rho to the rate")),
    row<&vantorel::rho_q>("rho_q", VANTOREL_PRICER_DOC("Black-Scholes rho to the dividend yield")),
    row<&vantorel::get_metrics>("metrics", VANTOREL_PRICER_DOC("the seven closed-form metrics, in field order,")),
    row<&vantorel::get_metrics_fd>("metrics_fd", VANTOREL_PRICER_DOC("the value and six finite-difference sensitivities")),
    row<&vantorel::implied_vol>("implied_vol",
                                "(price, spot, strike, rate, div_yield, tau, pc_flag): the vol at which the exact "
                                "Black-Scholes-Merton value is price; 0.0 at the discounted intrinsic value, inf at "
                                "spot*df_q (call) or strike*df_r (put), NaN outside those bounds, for tau <= 0, a "
                                "negative spot or strike, or a NaN or infinite input."),
    row<&vantorel::erf>("erf", "The error function."),
    row<&vantorel::erfc>("erfc", "The complementary error function."),
    row<&vantorel::erf_inv>("erf_inv", "The inverse of erf on (-1, 1)."),
    row<&vantorel::erfc_inv>("erfc_inv", "The inverse of erfc on (0, 2)."),
    row<&weekday_code>("weekday", "Weekday code of a date (Monday 0 .. Sunday 6); NaN for NaT."),
    row<&business_day>("is_business_day", "(calendar handle, date) -> bool; False for NaT."),
    row<&weekend>("is_weekend", "(calendar handle, date) -> bool; False for NaT."),
    row<&add_count>("add_tenor", "(date, count, TenorUnit code) -> date; NaT for NaT."),
    row<&year_fraction>("year_fraction", "(DayCounter code, start, end) -> year fraction; NaN for NaT."),
    row<&tau_from_dates>("tau_from_dates", "Calendar days from eval to expiry over 365.0; NaN for NaT."),
    row<&discount_factor>("discount_factor", "(curve handle, date) -> discount factor."),
    row<&fwd_df>("fwd_df", "(curve handle, start, end) -> forward discount factor."),
    row<&overnight_rate>("overnight_rate", "(curve handle, date) -> overnight rate."),
    row<&fwd_rate>("fwd_rate", "(curve handle, start, end) -> simple forward rate."),
    row<&zero_rate>("zero_rate", "(curve handle, date) -> continuously compounded zero rate."),
    row<&interpolate>("interpolate", "(interpolator handle, x) -> interpolated value."),
};

// ---- handles to native values -------------------------------------------------------

PyObject* element_failure = nullptr;  // vantorel_np._ufuncs.ElementFailure, kept for the process

const void* native_of(PyObject* o, PyTypeObject* cls) noexcept {
    if (cls == classes.curve) return py::unbox<py::YieldCurvePy>(o).curve.get();
    if (cls == classes.interpolator) return &py::unbox<Interpolator>(o);
    return &py::unbox<Calendar>(o);
}

// handle(obj, cls): the address of obj's native value as an int, for the
// duration of a call that keeps obj alive. The type is checked by identity
// with the class taken from vantorel (the classes are final); TypeError else.
PyObject* handle(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    if (nargs != 2) {
        PyErr_SetString(PyExc_TypeError, "handle() takes 2 arguments");
        return nullptr;
    }
    auto* cls = reinterpret_cast<PyTypeObject*>(args[1]);
    if (cls != classes.curve && cls != classes.interpolator && cls != classes.calendar) {
        PyErr_SetString(PyExc_TypeError, "handle(): not a class with a native value");
        return nullptr;
    }
    if (Py_TYPE(args[0]) != cls) {
        PyErr_Format(PyExc_TypeError, "expected a vantorel.%s, got %.200s", cls->tp_name,
                     Py_TYPE(args[0])->tp_name);
        return nullptr;
    }
    return PyLong_FromLongLong(static_cast<long long>(reinterpret_cast<std::intptr_t>(native_of(args[0], cls))));
}

PyMethodDef methods[] = {
    {"handle", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&handle)), METH_FASTCALL,
     "handle(obj, cls)\n--\n\nAddress of the native value of a vantorel object of class cls."},
    {"native_state", &native_state, METH_O,
     "native_state(obj)\n--\n\nWhat rebuilds a YearMonthDay or YieldCurve through vantorel's constructors."},
    {"make_metrics", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&make_metrics)), METH_FASTCALL,
     "make_metrics(npv, delta, gamma, vega, theta, rho_r, rho_q)\n--\n\nA BlackScholesMetrics of seven floats."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "vantorel_np._ufuncs", "", -1, methods};

PyObject* init() noexcept {
    // 1. The NumPy C API tables; datetime64[D].
    if (PyArray_ImportNumPyAPI() < 0 || PyUFunc_ImportUFuncAPI() < 0) return nullptr;
    if (day_descr == nullptr) {
        py::Ref unit(PyUnicode_FromString("M8[D]"));
        if (!unit || PyArray_DescrConverter(unit, &day_descr) == 0) return nullptr;
    }
    // 2. The classes whose native values the loops and the picklers read.
    py::Ref vantorel_module(PyImport_ImportModule("vantorel"));
    if (!vantorel_module || !take_classes(vantorel_module)) return nullptr;
    // 3. The module, its failure type and one ufunc per row.
    py::Ref module(PyModule_Create(&module_def));
    if (!module) return nullptr;
    if (element_failure == nullptr) {
        element_failure = PyErr_NewExceptionWithDoc(
            "vantorel_np._ufuncs.ElementFailure",
            "A core failure inside a loop; the package re-raises the scalar's exception.", nullptr, nullptr);
        if (element_failure == nullptr) return nullptr;
    }
    if (PyModule_AddObjectRef(module, "ElementFailure", element_failure) < 0) return nullptr;
    // 4. The instruction set of the lane loops, chosen once for the process.
    const lanes::Table* lane_table = lanes::active();
    if (lane_table == nullptr) {
        PyErr_Format(PyExc_ImportError, "VANTOREL_SIMD (%s) names no instruction set: avx512, avx2 or baseline",
                     std::getenv("VANTOREL_SIMD"));
        return nullptr;
    }
    if (PyModule_AddStringConstant(module, "simd_target", lane_table->target) < 0) return nullptr;
    for (const Row& r : rows)
        if (!r.add(module, r)) return nullptr;
    return module.release();
}

}  // namespace

void raise_element_failure(const char* text) noexcept {
    const PyGILState_STATE state = PyGILState_Ensure();
    PyErr_SetString(element_failure, text);
    PyGILState_Release(state);
}

}  // namespace vantorel::np

PyMODINIT_FUNC PyInit__ufuncs() { return vantorel::np::init(); }
