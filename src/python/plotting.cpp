// src/python/plotting.cpp: plot_function, which samples a Python callable and draws it with matplotlib
#include "python/plotting.hpp"

#include <cstdint>
#include <optional>

#include "binding/call.hpp"

namespace vantorel::py {

namespace {

using PlotSig = Signature<"plot_function", Params<"func", "x0", "x1", "n=100", "grid=True", "show=True", "figsize=None">>;

// The converted arguments of one call. func and figsize are held strongly:
// the conversions and the callable run Python code.
struct PlotArgs {
    Ref func;
    double x0 = 0.0;
    double x1 = 0.0;
    std::uint64_t n = 100;
    bool grid = true;
    bool show = true;
    Ref figsize;    // a tuple, or empty for None
    Ref py_kwargs;  // a dict, or empty when no extra keyword was given
};

// Binds and converts every argument before anything is imported or drawn.
// Returns false with an error set.
bool parse_arguments(PyObject* args, PyObject* kwargs, PlotArgs& out) noexcept {
    PyObject* slots[7];
    if (!bind_tuple_and_dict<PlotSig>(args, kwargs, slots, &out.py_kwargs)) return false;
    // Own the bound objects: a conversion may run code that drops the caller's
    // last reference to a later argument.
    Ref held[7];
    for (std::size_t i = 0; i < 7; ++i) held[i] = Ref::borrow(slots[i]);
    const char* const* names = PlotSig::params::names.data();
    std::optional<TupleArg> figsize;
    if (!convert_argument<double>(held[1], names[1], out.x0) ||
        !convert_argument<double>(held[2], names[2], out.x1) ||
        !convert_argument<std::uint64_t>(held[3], names[3], out.n) ||
        !convert_argument<bool>(held[4], names[4], out.grid) ||
        !convert_argument<bool>(held[5], names[5], out.show) ||
        !convert_argument<std::optional<TupleArg>>(held[6], names[6], figsize))
        return false;
    out.func = std::move(held[0]);
    if (figsize) out.figsize = Ref::borrow(figsize->tuple);
    return true;
}

// pyplot.NAME(*args, **kwargs), the result dropped; args nullptr for none.
void call_pyplot(PyObject* pyplot, const char* name, PyObject* args = nullptr,
                 PyObject* kwargs = nullptr) {
    Ref fn(PyObject_GetAttrString(pyplot, name));
    if (!fn) throw ErrorAlreadySet{};
    Ref no_args;
    if (args == nullptr) {
        no_args = Ref(PyTuple_New(0));
        if (!no_args) throw ErrorAlreadySet{};
        args = no_args;
    }
    Ref result(PyObject_Call(fn, args, kwargs));
    if (!result) throw ErrorAlreadySet{};
}

Ref checked(PyObject* o) {
    if (o == nullptr) throw ErrorAlreadySet{};
    return Ref(o);
}

// 1. Import matplotlib.pyplot.
// 2. figure(figsize=tuple(figsize)) when a figure size is given.
// 3. Sample func at x_i = (i*(x1 - x0))/n + x0 for i in [0, n): x1 is not sampled.
// 4. plot(xs, ys, **py_kwargs).
// 5. A legend just outside the upper right corner when the curve has a label.
// 6. tight_layout(), then grid(True) and show() as asked.
// Any exception stops the sequence where it occurs and propagates unchanged.
PyObject* draw(const PlotArgs& a) {
    Ref pyplot = checked(PyImport_ImportModule("matplotlib.pyplot"));
    if (a.figsize) {
        Ref size = checked(PySequence_Tuple(a.figsize));
        Ref kw = checked(PyDict_New());
        if (PyDict_SetItemString(kw, "figsize", size) < 0) throw ErrorAlreadySet{};
        call_pyplot(pyplot, "figure", nullptr, kw);
    }
    Ref xs = checked(PyList_New(0));
    Ref ys = checked(PyList_New(0));
    const double span = a.x1 - a.x0;
    const double count = static_cast<double>(a.n);
    for (std::uint64_t i = 0; i < a.n; ++i) {
        // A callable written in C never checks for signals: let Ctrl-C in.
        if ((i & 4095) == 4095 && PyErr_CheckSignals() < 0) throw ErrorAlreadySet{};
        const double x = (static_cast<double>(i) * span) / count + a.x0;
        Ref x_obj = checked(PyFloat_FromDouble(x));
        Ref result = checked(PyObject_CallOneArg(a.func, x_obj));
        const double y = PyFloat_AsDouble(result);
        if (y == -1.0 && PyErr_Occurred()) throw ErrorAlreadySet{};
        Ref y_obj = checked(PyFloat_FromDouble(y));
        if (PyList_Append(xs, x_obj) < 0 || PyList_Append(ys, y_obj) < 0) throw ErrorAlreadySet{};
    }
    Ref points = checked(PyTuple_Pack(2, xs.get(), ys.get()));
    call_pyplot(pyplot, "plot", points, a.py_kwargs);
    if (a.py_kwargs) {
        Ref label = checked(PyUnicode_FromString("label"));
        const int labelled = PyDict_Contains(a.py_kwargs, label);
        if (labelled < 0) throw ErrorAlreadySet{};
        if (labelled == 1) {
            Ref anchor = checked(Py_BuildValue("(dd)", 1.03, 1.0));
            Ref loc = checked(PyUnicode_FromString("upper left"));
            Ref pad = checked(PyFloat_FromDouble(0.0));
            Ref kw = checked(PyDict_New());
            if (PyDict_SetItemString(kw, "bbox_to_anchor", anchor) < 0 ||
                PyDict_SetItemString(kw, "loc", loc) < 0 ||
                PyDict_SetItemString(kw, "borderaxespad", pad) < 0)
                throw ErrorAlreadySet{};
            call_pyplot(pyplot, "legend", nullptr, kw);
        }
    }
    call_pyplot(pyplot, "tight_layout");
    if (a.grid) {
        Ref on = checked(PyTuple_Pack(1, Py_True));
        call_pyplot(pyplot, "grid", on);
    }
    if (a.show) call_pyplot(pyplot, "show");
    return Py_NewRef(Py_None);
}

PyObject* plot_function(PyObject*, PyObject* args, PyObject* kwargs) noexcept {
    return firewall([&]() -> PyObject* {
        PlotArgs parsed;
        if (!parse_arguments(args, kwargs, parsed)) return nullptr;
        return draw(parsed);
    });
}

}  // namespace

PyMethodDef plot_function_def = {
    .ml_name = "plot_function",
    .ml_meth = as_cfunction(&plot_function),
    .ml_flags = METH_VARARGS | METH_KEYWORDS,
    .ml_doc = "plot_function(func, x0, x1, n=100, grid=True, show=True, figsize=None, **py_kwargs)\n--\n\n"};

}  // namespace vantorel::py
