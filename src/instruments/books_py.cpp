// src/instruments/books_py.cpp: many bonds or swaps off one curve in one call, without the GIL in the loop
#include <algorithm>
#include <optional>

#include "instruments/curve_cache.hpp"
#include "instruments/instruments_py.hpp"

namespace vantorel::py {

namespace {

// A sequence of instances of T, read in place: a tuple of the items holds
// every one of them for the call, whatever other threads do to the sequence
// while the loop runs without the GIL.
template <class T>
struct Book {
    Ref items;
    std::vector<const T*> values;
};

// A writable C-contiguous float64 buffer (a NumPy array), released after the call.
struct OutBuffer {
    Py_buffer view{};
    bool held = false;
    OutBuffer() = default;
    OutBuffer(const OutBuffer&) = delete;
    OutBuffer& operator=(const OutBuffer&) = delete;
    ~OutBuffer() {
        if (held) PyBuffer_Release(&view);
    }
    [[nodiscard]] double* data() const noexcept { return static_cast<double*>(view.buf); }
    [[nodiscard]] std::size_t size() const noexcept { return static_cast<std::size_t>(view.len) / sizeof(double); }
};

// The thread state is given back when the scope ends, also by an exception.
class WithoutGil {
public:
    WithoutGil() noexcept : state_(PyEval_SaveThread()) {}
    ~WithoutGil() { PyEval_RestoreThread(state_); }
    WithoutGil(const WithoutGil&) = delete;
    WithoutGil& operator=(const WithoutGil&) = delete;

private:
    PyThreadState* state_;
};

}  // namespace

template <class T>
struct Convert<Book<T>> {
    using Storage = Book<T>;
    static bool from_py(PyObject* o, Book<T>& out) noexcept {
        PyTypeObject* type = type_of<T>();
        if (type == nullptr) return false;
        if (PyUnicode_Check(o) || !PySequence_Check(o)) return type_error(o, "a sequence");
        out.items = Ref(PySequence_Tuple(o));
        if (!out.items) return false;
        const Py_ssize_t n = PyTuple_GET_SIZE(out.items.get());
        try {
            out.values.reserve(static_cast<std::size_t>(n));
            for (Py_ssize_t i = 0; i < n; ++i) {
                PyObject* item = PyTuple_GET_ITEM(out.items.get(), i);
                if (Py_TYPE(item) != type) return type_error(item, PyClass<T>::name);
                out.values.push_back(&unbox<T>(item));
            }
        } catch (...) {
            raise_current_exception();
            return false;
        }
        return true;
    }
    static const Book<T>& get(const Book<T>& s) noexcept { return s; }
};

template <>
struct Convert<OutBuffer> {
    using Storage = OutBuffer;
    static bool from_py(PyObject* o, OutBuffer& out) noexcept {
        if (PyObject_GetBuffer(o, &out.view, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0) return false;
        out.held = true;
        if (out.view.itemsize != sizeof(double) || out.view.format == nullptr || std::string_view(out.view.format) != "d")
            return type_error(o, "a writable contiguous float64 array");
        return true;
    }
    static const OutBuffer& get(const OutBuffer& s) noexcept { return s; }
};

namespace {

// Rows of out (3 x n): dirty price, clean price, accrued interest per 100 of face.
std::expected<std::optional<double>, std::string> bond_book(const Book<FixedRateBond>& bonds, const CurveArg& curve,
                                            DayArg settlement_date, const OutBuffer& out) {
    const std::size_t n = bonds.values.size();
    if (out.size() != 3 * n) return std::unexpected("out must hold 3 x " + std::to_string(n) + " floats");
    const Date settle = from_int(settlement_date.serial);
    double* o = out.data();
    WithoutGil unlocked;
    std::int32_t last = settle.serial();
    for (const FixedRateBond* b : bonds.values) last = std::max(last, b->flows().back().pay.serial());
    const CachedCurve cached(*curve, (*curve).get_curve_date().serial(), last);
    for (std::size_t i = 0; i < n; ++i) {
        const double dirty = bonds.values[i]->dirty_price_on(cached, settle);
        const double acc = bonds.values[i]->accrued(settle);
        o[i] = dirty;
        o[n + i] = dirty - acc;
        o[2 * n + i] = acc;
    }
    return std::nullopt;
}

// Rows of out (3 x n): NPV, fair rate, annuity.
std::expected<std::optional<double>, std::string> swap_book(const Book<Swap>& swaps, const CurveArg& projection_curve,
                                            const CurveArg& discount_curve, const OutBuffer& out) {
    const std::size_t n = swaps.values.size();
    if (out.size() != 3 * n) return std::unexpected("out must hold 3 x " + std::to_string(n) + " floats");
    double* o = out.data();
    WithoutGil unlocked;
    std::int32_t last = (*discount_curve).get_curve_date().serial();
    for (const Swap* s : swaps.values) last = std::max({last, last_date(s->fixed(), s->fixed().back().pay).serial(),
                                                       last_date(s->floating(), s->floating().back().pay).serial()});
    const CachedCurve projection(*projection_curve, (*projection_curve).get_curve_date().serial(), last);
    const CachedCurve discount(*discount_curve, (*discount_curve).get_curve_date().serial(), last);
    for (std::size_t i = 0; i < n; ++i) {
        const SwapValues v = swaps.values[i]->values_on(projection, discount);
        o[i] = v.npv;
        o[n + i] = v.fair_rate;
        o[2 * n + i] = v.annuity;
    }
    return std::nullopt;
}

}  // namespace

PyMethodDef bond_book_def() {
    return Rows<"">::function<"_bond_book", &bond_book, Params<"bonds", "curve", "settlement_date", "out">>();
}

PyMethodDef swap_book_def() {
    return Rows<"">::function<"_swap_book", &swap_book,
                              Params<"swaps", "projection_curve", "discount_curve", "out">>();
}

}  // namespace vantorel::py
