// src/np/ufuncs.cpp: vantorel_np._ufuncs, the ufuncs built from one table of core kernels
#include "np/loops.hpp"
#include "np/native_state.hpp"

#include <cmath>
#include <algorithm>
#include <string>
#include <vector>

#include "core/failure.hpp"
#include "datetime/calendars/calendar.hpp"
#include "datetime/day_counter.hpp"
#include "datetime/tenor.hpp"
#include "maths/functions/err_functions.hpp"
#include "maths/interpolator.hpp"
#include "mkt_data/yield_curve_py.hpp"
#include "pricers/american.hpp"
#include "pricers/american_fd.hpp"
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
    row<&vantorel::american_npv>("american_npv", VANTOREL_PRICER_DOC("American value")),
    row<&vantorel::american_get_metrics>("american_metrics",
                                         VANTOREL_PRICER_DOC("American value and six sensitivities")),
    row<&vantorel::american_implied_vol>("american_implied_vol",
                                         "(price, spot, strike, rate, div_yield, tau, pc_flag): the vol at which "
                                         "the American value is price; 0.0 at the zero-vol value, inf at strike "
                                         "(put) or spot (call), NaN outside those bounds."),
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

// ---- ufuncs with core dimensions: a dividend list, a boundary curve -------------------
//
// Legacy loops (NumPy releases the GIL around them for these plain dtypes).

// (spot, strike, rate, div_yield, tau, pc_flag, vol, american, div_times(n),
// div_amounts(n), space_steps) -> value; NaN times or amounts pad a list.
void cash_dividend_loop(char** args, const npy_intp* dims, const npy_intp* steps, void*) noexcept {
    const npy_intp count = dims[0], nd = dims[1];
    std::vector<CashDividend> divs;
    try {
        divs.reserve(static_cast<std::size_t>(nd));
    } catch (...) {  // no memory for the list: every value missing
        for (npy_intp i = 0; i < count; ++i) write(args[11] + i * steps[11], std::numeric_limits<double>::quiet_NaN());
        return;
    }
    for (npy_intp i = 0; i < count; ++i) {
        char* p[12];
        for (int k = 0; k < 12; ++k) p[k] = args[k] + i * steps[k];
        divs.clear();
        for (npy_intp j = 0; j < nd; ++j) {
            const double t = read<double>(p[8] + j * steps[12]), a = read<double>(p[9] + j * steps[13]);
            if (!std::isnan(t) && !std::isnan(a)) divs.push_back({t, a});  // within the reserved size
        }
        const auto flag = read<std::int64_t>(p[5]) != 0 ? PutCallFlag::Call : PutCallFlag::Put;
        const auto space = static_cast<int>(std::clamp<std::int64_t>(read<std::int64_t>(p[10]), 0, 1 << 20));
        write(p[11], fd_npv_richardson(read<double>(p[0]), read<double>(p[1]), read<double>(p[2]),
                                       read<double>(p[3]), read<double>(p[4]), flag, read<double>(p[6]),
                                       read<npy_bool>(p[7]) != 0, divs.data(), divs.size(),
                                       FdGrid{space, 4 * space}));
    }
}

// (strike, rate, div_yield, tau, pc_flag, vol) -> times(m), spots(m).
void boundary_loop(char** args, const npy_intp* dims, const npy_intp* steps, void*) noexcept {
    const npy_intp count = dims[0], m = dims[1];
    std::vector<double> t, s;
    try {
        t.resize(static_cast<std::size_t>(m));
        s.resize(static_cast<std::size_t>(m));
    } catch (...) {  // no memory: NaN boundaries
        for (npy_intp i = 0; i < count; ++i)
            for (npy_intp j = 0; j < m; ++j)
                for (int k = 6; k < 8; ++k)
                    write(args[k] + i * steps[k] + j * steps[k + 2], std::numeric_limits<double>::quiet_NaN());
        return;
    }
    for (npy_intp i = 0; i < count; ++i) {
        char* p[8];
        for (int k = 0; k < 8; ++k) p[k] = args[k] + i * steps[k];
        const auto flag = read<std::int64_t>(p[4]) != 0 ? PutCallFlag::Call : PutCallFlag::Put;
        american_boundary(read<double>(p[0]), read<double>(p[1]), read<double>(p[2]), read<double>(p[3]), flag,
                          read<double>(p[5]), static_cast<std::size_t>(m), t.data(), s.data());
        for (npy_intp j = 0; j < m; ++j) {
            write(p[6] + j * steps[8], t[static_cast<std::size_t>(j)]);
            write(p[7] + j * steps[9], s[static_cast<std::size_t>(j)]);
        }
    }
}

struct CoreRow {
    const char* name;
    const char* doc;
    const char* signature;
    int nin, nout;
    PyUFuncGenericFunction loop;
    const char* types;
};

constexpr char cash_dividend_types[] = {NPY_DOUBLE, NPY_DOUBLE, NPY_DOUBLE, NPY_DOUBLE, NPY_DOUBLE, NPY_INT64,
                                        NPY_DOUBLE, NPY_BOOL,   NPY_DOUBLE, NPY_DOUBLE, NPY_INT64,  NPY_DOUBLE};
constexpr char boundary_types[] = {NPY_DOUBLE, NPY_DOUBLE, NPY_DOUBLE, NPY_DOUBLE,
                                   NPY_INT64,  NPY_DOUBLE, NPY_DOUBLE, NPY_DOUBLE};

PyUFuncGenericFunction cash_dividend_loops[] = {&cash_dividend_loop};
PyUFuncGenericFunction boundary_loops[] = {&boundary_loop};
void* no_data[] = {nullptr};

bool add_core_ufunc(PyObject* module, const char* name, const char* doc, const char* signature, int nin, int nout,
                    PyUFuncGenericFunction* loops, const char* types) noexcept {
    py::Ref ufunc(PyUFunc_FromFuncAndDataAndSignature(loops, no_data, types, 1, nin, nout, PyUFunc_None, name, doc,
                                                      0, signature));
    if (!ufunc) return false;
    py::Ref module_name(PyModule_GetNameObject(module));
    if (!module_name || PyObject_SetAttrString(ufunc, "__module__", module_name) < 0) return false;
    return PyModule_AddObjectRef(module, name, ufunc) == 0;
}

bool add_core_ufuncs(PyObject* module) noexcept {
    return add_core_ufunc(module, "cash_dividend_npv",
                          "(spot, strike, rate, div_yield, tau, pc_flag, vol, american, div_times, div_amounts, "
                          "space_steps): finite-difference value with cash dividends, Richardson-extrapolated.",
                          "(),(),(),(),(),(),(),(),(n),(n),()->()", 11, 1, cash_dividend_loops,
                          cash_dividend_types) &&
           add_core_ufunc(module, "exercise_boundary",
                          "(strike, rate, div_yield, tau, pc_flag, vol) -> times(m), spots(m): the American "
                          "early-exercise boundary.",
                          "(),(),(),(),(),()->(m),(m)", 6, 2, boundary_loops, boundary_types);
}

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
    for (const Row& r : rows)
        if (!r.add(module, r)) return nullptr;
    if (!add_core_ufuncs(module)) return nullptr;
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
