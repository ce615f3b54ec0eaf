// src/np/loops.hpp: one generic strided ufunc loop per kernel, typed from the kernel's signature
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

// Included by the one translation unit of the extension, which imports the
// NumPy C API tables.
#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#define NPY_TARGET_VERSION NPY_2_0_API_VERSION
#include <numpy/arrayobject.h>
#include <numpy/dtype_api.h>
#include <numpy/ufuncobject.h>

#include <array>
#include <cfenv>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "datetime/date.hpp"
#include "enums/put_call_flag.hpp"
#include "enums/weekday.hpp"
#include "np/lanes.hpp"
#include "np/state.hpp"
#include "pricers/black_scholes.hpp"

namespace vantorel::np {

// What an operand of a loop holds. A row of the kernel table never names
// these: they follow from the kernel's parameter and result types.
enum class Kind : std::uint8_t {
    F64,     // double
    I64,     // int64: counts
    Bool,    // bool
    Flag,    // PutCallFlag: int64 codes 0 (put) and 1 (call), or bool (True = call)
    Day,     // datetime64[D]: days since 1970-01-01, NaT = int64 min
    Object,  // a vantorel object, held by an object array for the call
    Status,  // uint8 per element: 0 computed, 1 the core failed, 2 a bad operand
};

// The element status of the loops with a status output.
enum Status : std::uint8_t { computed = 0, failed = 1, bad_operand = 2 };

// Serial day 0 is 1899-12-30, 25569 days before 1970-01-01.
inline constexpr std::int64_t serial_of_unix_epoch = 25569;
inline constexpr std::int64_t nat = std::numeric_limits<std::int64_t>::min();

// An operand no kernel can take (an object of another class, a put-call code
// other than 0 and 1): raised as `type` with `text` whatever errors= says.
struct BadOperand {
    PyObject* type;
    std::string text;
};

// Raises type(text); takes the GIL.
void raise_from_loop(PyObject* type, const char* text) noexcept;

// An element whose operands the kernel refuses (a dividend list out of order):
// its text names the argument; raised as ValueError, or the element is missing.
struct ElementFailure {
    const char* text;
};

// One element's computation under the rule of every loop: a bad operand raises
// under either errors=; a failing element raises without a status output and is
// `failed` with one; no memory raises MemoryError and stops the loop (nullopt).
template <bool WithStatus, class Body>
std::optional<Status> guarded(Body&& body) noexcept {
    try {
        body();
        return computed;
    } catch (const BadOperand& e) {
        if (!WithStatus) raise_from_loop(e.type, e.text.c_str());
        return bad_operand;
    } catch (const ElementFailure& e) {
        if (!WithStatus) raise_from_loop(PyExc_ValueError, e.text);
    } catch (const std::bad_alloc&) {
        raise_from_loop(PyExc_MemoryError, "");
        return std::nullopt;
    } catch (const std::exception& e) {
        if (!WithStatus) raise_from_loop(state.fatal_error, e.what());
    } catch (...) {
        if (!WithStatus) raise_from_loop(state.fatal_error, "native code failed without a message");
    }
    return failed;
}

template <class T>
T read(const char* p) noexcept {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class T>
void write(char* p, T v) noexcept {
    std::memcpy(p, &v, sizeof v);
}

// ---- operands: kernel parameter types -------------------------------------------
//
// Arg<A>::kind names the operand; load() reads one element as Arg<A>::type
// (as_bool: the flag operand is a bool array).

template <class A>
struct Arg;

template <>
struct Arg<double> {
    static constexpr Kind kind = Kind::F64;
    using type = double;
    static double load(const char* p, bool) noexcept { return read<double>(p); }
};
template <>
struct Arg<bool> {
    static constexpr Kind kind = Kind::Bool;
    using type = bool;
    static bool load(const char* p, bool) noexcept { return read<npy_bool>(p) != 0; }
};
template <>
struct Arg<PutCallFlag> {
    static constexpr Kind kind = Kind::Flag;
    using type = PutCallFlag;
    static PutCallFlag load(const char* p, bool as_bool) {
        if (as_bool) return read<npy_bool>(p) != 0 ? PutCallFlag::Call : PutCallFlag::Put;
        const auto code = read<std::int64_t>(p);
        if (code == 0) return PutCallFlag::Put;
        if (code == 1) return PutCallFlag::Call;
        throw BadOperand{PyExc_ValueError,
                         "Put-call code (" + std::to_string(code) + ") must be 0 (put), 1 (call) or a bool"};
    }
};
template <>
struct Arg<Date> {
    static constexpr Kind kind = Kind::Day;
    using type = Date;
    // Never NaT: the loop skips elements with a NaT operand.
    static Date load(const char* p, bool) {
        const auto days = read<std::int64_t>(p);
        // A day outside the date range is the core's own failure.
        constexpr std::int64_t top = std::numeric_limits<std::int64_t>::max() - serial_of_unix_epoch;
        return from_int(days > top ? days : days + serial_of_unix_epoch);
    }
};
// An object operand: the element is a PyObject* the array keeps alive; it must
// be an instance of exactly the class taken at import.
template <ObjectOperand T>
struct Arg<T> {
    static constexpr Kind kind = Kind::Object;
    using type = const T&;
    static const T& load(const char* p, bool) {
        PyObject* o = read<PyObject*>(p);
        if (const T* value = native_of<T>(o)) return *value;
        throw BadOperand{PyExc_TypeError, std::string("expected a vantorel.") + Vantorel<T>::name + ", got " +
                                              (o == nullptr ? "NULL" : Py_TYPE(o)->tp_name)};
    }
};

// ---- results ---------------------------------------------------------------------
//
// Out<R>: the number of outputs, their kinds, and how one result (or a missing
// element) is stored.

// True for a NaT date operand: its element is missing, whatever the others hold.
template <class A>
bool is_nat(const char* p) noexcept {
    return Arg<A>::kind == Kind::Day && read<std::int64_t>(p) == nat;
}

template <class R>
struct Out;

template <>
struct Out<double> {
    static constexpr Kind kinds[] = {Kind::F64};
    static void store(char* const* p, double v) noexcept { write(p[0], v); }
    static void missing(char* const* p) noexcept { write(p[0], std::numeric_limits<double>::quiet_NaN()); }
};
template <>
struct Out<std::optional<double>> {
    static constexpr Kind kinds[] = {Kind::F64};
    static void store(char* const* p, const std::optional<double>& v) noexcept {
        write(p[0], v ? *v : std::numeric_limits<double>::quiet_NaN());
    }
    static void missing(char* const* p) noexcept { Out<double>::missing(p); }
};
// A weekday as its code (Monday 0 .. Sunday 6) in float64, so that NaT has NaN.
template <>
struct Out<Weekday> {
    static constexpr Kind kinds[] = {Kind::F64};
    static void store(char* const* p, Weekday w) noexcept { write(p[0], static_cast<double>(code_of(w))); }
    static void missing(char* const* p) noexcept { Out<double>::missing(p); }
};
template <>
struct Out<std::int64_t> {
    static constexpr Kind kinds[] = {Kind::I64};
    static void store(char* const* p, std::int64_t v) noexcept { write(p[0], v); }
    static void missing(char* const* p) noexcept { write<std::int64_t>(p[0], 0); }
};
template <>
struct Out<bool> {
    static constexpr Kind kinds[] = {Kind::Bool};
    static void store(char* const* p, bool v) noexcept { write<npy_bool>(p[0], v ? 1 : 0); }
    static void missing(char* const* p) noexcept { write<npy_bool>(p[0], 0); }
};
template <>
struct Out<Date> {
    static constexpr Kind kinds[] = {Kind::Day};
    static void store(char* const* p, const Date& d) noexcept {
        write<std::int64_t>(p[0], std::int64_t{d.serial()} - serial_of_unix_epoch);
    }
    static void missing(char* const* p) noexcept { write(p[0], nat); }
};
// The seven metrics in field order, NaN where the scalar gives None.
template <>
struct Out<std::optional<BlackScholesMetrics>> {
    static constexpr Kind kinds[] = {Kind::F64, Kind::F64, Kind::F64, Kind::F64,
                                     Kind::F64, Kind::F64, Kind::F64};
    static void store(char* const* p, const std::optional<BlackScholesMetrics>& m) noexcept {
        if (!m) return missing(p);
        const double v[] = {m->npv, m->delta, m->gamma, m->vega, m->theta, m->rho_r, m->rho_q};
        for (int k = 0; k < 7; ++k) write(p[k], v[k]);
    }
    static void missing(char* const* p) noexcept {
        for (int k = 0; k < 7; ++k) Out<double>::missing(p + k);
    }
};

// ---- the kernel's shape -------------------------------------------------------------
//
// A kernel is a free function or a const member function; a member function's
// receiver is its first operand (`&YieldCurve::get_df` takes a curve and a date).

template <class R, bool NoThrow, class... A>
struct KernelShape {
    using Result = R;
    using Params = std::tuple<std::remove_cvref_t<A>...>;
    using Loaded = std::tuple<typename Arg<std::remove_cvref_t<A>>::type...>;
    static constexpr std::size_t nin = sizeof...(A);
    static constexpr std::size_t nout = std::size(Out<R>::kinds);
    static constexpr Kind in_kinds[] = {Arg<std::remove_cvref_t<A>>::kind...};
    static constexpr bool has(Kind k) noexcept { return ((Arg<std::remove_cvref_t<A>>::kind == k) || ...); }
    static constexpr bool has_flag = has(Kind::Flag);
    static constexpr bool has_day = has(Kind::Day) || Out<R>::kinds[0] == Kind::Day;
    // An element can fail: the kernel may throw or an operand may be refused.
    static constexpr bool can_fail = !NoThrow || has(Kind::Day) || has(Kind::Flag) || has(Kind::Object);
};

template <class F>
struct Kernel;
template <class R, class... A>
struct Kernel<R (*)(A...)> : KernelShape<R, false, A...> {};
template <class R, class... A>
struct Kernel<R (*)(A...) noexcept> : KernelShape<R, true, A...> {};
template <class R, class C, class... A>
struct Kernel<R (C::*)(A...) const> : KernelShape<R, false, C, A...> {};
template <class R, class C, class... A>
struct Kernel<R (C::*)(A...) const noexcept> : KernelShape<R, true, C, A...> {};

template <auto Fn>
using KernelOf = Kernel<decltype(Fn)>;

// The operand kinds in order: inputs, outputs, then the status when WithStatus.
template <auto Fn, bool WithStatus>
constexpr auto operand_kinds() noexcept {
    using K = KernelOf<Fn>;
    std::array<Kind, K::nin + K::nout + (WithStatus ? 1 : 0)> kinds{};
    for (std::size_t i = 0; i < K::nin; ++i) kinds[i] = K::in_kinds[i];
    for (std::size_t i = 0; i < K::nout; ++i) kinds[K::nin + i] = Out<typename K::Result>::kinds[i];
    if constexpr (WithStatus) kinds.back() = Kind::Status;
    return kinds;
}

// The strided loop: every element is one call of Fn on the loaded operands,
// exactly as the scalar binding calls it; an element with a NaT operand is
// missing (NaN, NaT or False) without a call. Runs without the GIL.
//
// Without a status output a failing element stops the loop with the error
// raised (the loop takes the GIL only for that): the core's failure as the
// scalar API's FatalError, a bad operand as its TypeError or ValueError.
// With one, a failing element is missing and its status says why; the loop
// goes on and raises nothing (errors="coerce", and the search for the first
// failing element).
//
// Floating-point flags the kernels raise are cleared: a NaN or an infinity is
// a result here, never a warning, whatever casts NumPy adds around the loop
// (the flags raised before the loop are kept for NumPy to report).
template <auto Fn, bool FlagAsBool, bool WithStatus>
int strided_loop(PyArrayMethod_Context*, char* const data[], const npy_intp dimensions[],
                 const npy_intp strides[], NpyAuxData*) noexcept {
    using K = KernelOf<Fn>;
    using Params = typename K::Params;
    using Loaded = typename K::Loaded;
    constexpr std::size_t nin = K::nin, nout = K::nout, nall = nin + nout + (WithStatus ? 1 : 0);
    const npy_intp n = dimensions[0];
    char* p[nall];
    for (std::size_t k = 0; k < nall; ++k) p[k] = data[k];
    char* const* out = p + nin;
    std::fexcept_t flags;
    std::fegetexceptflag(&flags, FE_ALL_EXCEPT);
    int rc = 0;
    // The leading elements the kernel's lane loop computes, if it has one.
    const npy_intp done = run_lanes<Fn, FlagAsBool>(data, strides, n);
    for (std::size_t k = 0; k < nall; ++k) p[k] += done * strides[k];
    if constexpr (WithStatus)
        for (npy_intp i = 0; i < done; ++i) write<std::uint8_t>(data[nall - 1] + i * strides[nall - 1], computed);
    for (npy_intp i = done; i < n; ++i) {
        const std::optional<Status> status = guarded<WithStatus>([&] {
            [&]<std::size_t... I>(std::index_sequence<I...>) {
                if ((is_nat<std::tuple_element_t<I, Params>>(p[I]) || ...)) {
                    Out<typename K::Result>::missing(out);
                    return;
                }
                // A braced list is evaluated left to right: the first failing operand reports.
                const Loaded args{Arg<std::tuple_element_t<I, Params>>::load(p[I], FlagAsBool)...};
                Out<typename K::Result>::store(out, std::invoke(Fn, std::get<I>(args)...));
            }(std::make_index_sequence<nin>{});
        });
        if (!status) {
            rc = -1;
            break;
        }
        if constexpr (WithStatus) {
            if (*status != computed) Out<typename K::Result>::missing(out);
            write<std::uint8_t>(p[nall - 1], *status);
        } else if (*status != computed) {
            rc = -1;
            break;
        }
        for (std::size_t k = 0; k < nall; ++k) p[k] += strides[k];
    }
    std::fesetexceptflag(&flags, FE_ALL_EXCEPT);
    return rc;
}

// The DType class NumPy dispatches on for an operand kind.
inline PyArray_DTypeMeta* dtype_of(Kind kind, bool flag_as_bool) noexcept {
    switch (kind) {
        case Kind::F64: return &PyArray_DoubleDType;
        case Kind::I64: return &PyArray_Int64DType;
        case Kind::Bool: return &PyArray_BoolDType;
        case Kind::Flag: return flag_as_bool ? &PyArray_BoolDType : &PyArray_Int64DType;
        case Kind::Day: return &PyArray_DatetimeDType;
        case Kind::Object: return &PyArray_ObjectDType;
        case Kind::Status: return &PyArray_UInt8DType;
    }
    return &PyArray_DoubleDType;
}

// Promoter: every operand goes to its loop's DType, whatever was given, so
// that NumPy casts inputs under the ufunc's casting rule (strings, objects and
// other dates are refused with NumPy's TypeError; an object operand takes
// anything, and the loop checks its class). A bool array in a flag position
// selects the bool loop; anything else the int64 loop.
template <auto Fn, bool WithStatus>
int promote(PyObject*, PyArray_DTypeMeta* const op_dtypes[], PyArray_DTypeMeta* const signature[],
            PyArray_DTypeMeta* new_op_dtypes[]) noexcept {
    constexpr auto kinds = operand_kinds<Fn, WithStatus>();
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        PyArray_DTypeMeta* dt = signature[i];
        if (dt == nullptr)
            dt = dtype_of(kinds[i], kinds[i] == Kind::Flag && op_dtypes[i] == &PyArray_BoolDType);
        new_op_dtypes[i] = reinterpret_cast<PyArray_DTypeMeta*>(Py_NewRef(reinterpret_cast<PyObject*>(dt)));
    }
    return 0;
}

// Descriptors of a loop with dates: datetime64[D] for every date operand (a
// date of another unit is cast to days), the native descriptor elsewhere.
template <auto Fn, bool WithStatus>
NPY_CASTING resolve_descriptors(PyObject*, PyArray_DTypeMeta* const dtypes[], PyArray_Descr* const[],
                                PyArray_Descr* loop_descrs[], npy_intp*) noexcept {
    constexpr auto kinds = operand_kinds<Fn, WithStatus>();
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        PyArray_Descr* d = kinds[i] == Kind::Day ? state.day : dtypes[i]->singleton;
        Py_INCREF(d);
        loop_descrs[i] = d;
    }
    return NPY_NO_CASTING;
}

}  // namespace vantorel::np
