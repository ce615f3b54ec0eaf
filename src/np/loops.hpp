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

#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

#include "datetime/date.hpp"
#include "np/lanes.hpp"
#include "enums/put_call_flag.hpp"
#include "pricers/black_scholes.hpp"

namespace vantorel::np {

// What an operand of a loop holds. A row of the kernel table never names
// these: they follow from the kernel's parameter and result types.
enum class Kind : std::uint8_t {
    F64,     // double
    I64,     // int64: counts and enumeration codes
    Bool,    // bool
    Flag,    // PutCallFlag: int64 (non-zero = call) or bool (True = call)
    Day,     // datetime64[D]: days since 1970-01-01, NaT = int64 min
    Handle,  // the address of a native value the caller keeps alive
};

// Serial day 0 is 1899-12-30, 25569 days before 1970-01-01.
inline constexpr std::int64_t serial_of_unix_epoch = 25569;
inline constexpr std::int64_t nat = std::numeric_limits<std::int64_t>::min();

// datetime64[D], created once at import.
inline PyArray_Descr* day_descr = nullptr;

// Raise the loop's element failure with the core's text; takes the GIL.
void raise_element_failure(const char* text) noexcept;

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
// Arg<A>::kind names the operand; load() reads one element (as_bool: the flag
// operand is a bool array).

template <class A>
struct Arg;

template <>
struct Arg<double> {
    static constexpr Kind kind = Kind::F64;
    static double load(const char* p, bool) noexcept { return read<double>(p); }
};
template <>
struct Arg<std::int64_t> {
    static constexpr Kind kind = Kind::I64;
    static std::int64_t load(const char* p, bool) noexcept { return read<std::int64_t>(p); }
};
template <>
struct Arg<PutCallFlag> {
    static constexpr Kind kind = Kind::Flag;
    static PutCallFlag load(const char* p, bool as_bool) noexcept {
        const bool call = as_bool ? read<npy_bool>(p) != 0 : read<std::int64_t>(p) != 0;
        return call ? PutCallFlag::Call : PutCallFlag::Put;
    }
};
template <>
struct Arg<Date> {
    static constexpr Kind kind = Kind::Day;
    // Never NaT: the loop skips elements with a NaT operand.
    static Date load(const char* p, bool) {
        const auto days = read<std::int64_t>(p);
        // A day outside the date range is the core's own failure.
        constexpr std::int64_t top = std::numeric_limits<std::int64_t>::max() - serial_of_unix_epoch;
        return from_int(days > top ? days : days + serial_of_unix_epoch);
    }
};
template <class T>
struct Arg<const T*> {
    static constexpr Kind kind = Kind::Handle;
    static const T* load(const char* p, bool) noexcept {
        return reinterpret_cast<const T*>(static_cast<std::intptr_t>(read<std::int64_t>(p)));
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

template <class F>
struct Kernel;
template <class R, class... A>
struct Kernel<R (*)(A...)> {
    using Result = R;
    using Args = std::tuple<std::remove_cvref_t<A>...>;
    static constexpr std::size_t nin = sizeof...(A);
    static constexpr std::size_t nout = std::size(Out<R>::kinds);
    static constexpr Kind in_kinds[] = {Arg<std::remove_cvref_t<A>>::kind...};
    static constexpr bool has_flag = ((Arg<std::remove_cvref_t<A>>::kind == Kind::Flag) || ...);
    static constexpr bool has_day = ((Arg<std::remove_cvref_t<A>>::kind == Kind::Day) || ...) ||
                                    ((Out<R>::kinds[0] == Kind::Day));
};
template <class R, class... A>
struct Kernel<R (*)(A...) noexcept> : Kernel<R (*)(A...)> {};

template <auto Fn>
using KernelOf = Kernel<decltype(Fn)>;

// The operand kinds in order, inputs then outputs.
template <auto Fn>
constexpr Kind kind_at(std::size_t i) noexcept {
    using K = KernelOf<Fn>;
    return i < K::nin ? K::in_kinds[i] : Out<typename K::Result>::kinds[i - K::nin];
}

// The strided loop: every element is one call of Fn on the loaded operands,
// exactly as the scalar binding calls it; an element with a NaT operand is
// missing (NaN, NaT or False) without a call. Runs without the GIL. A core failure
// stops the loop and raises the element failure (the loop takes the GIL only
// for that); NumPy then stops the whole iteration.
template <auto Fn, bool FlagAsBool>
int strided_loop(PyArrayMethod_Context*, char* const data[], const npy_intp dimensions[],
                 const npy_intp strides[], NpyAuxData*) noexcept {
    using K = KernelOf<Fn>;
    using Args = typename K::Args;
    constexpr std::size_t nin = K::nin, nout = K::nout;
    const npy_intp n = dimensions[0];
    // The elements the kernel's lane loop computes, if it has one.
    const npy_intp done = run_lanes<Fn, FlagAsBool>(data, strides, n);
    char* in[nin];
    char* out[nout];
    for (std::size_t k = 0; k < nin; ++k) in[k] = data[k] + done * strides[k];
    for (std::size_t k = 0; k < nout; ++k) out[k] = data[nin + k] + done * strides[nin + k];
    try {
        for (npy_intp i = done; i < n; ++i) {
            [&]<std::size_t... I>(std::index_sequence<I...>) {
                if ((is_nat<std::tuple_element_t<I, Args>>(in[I]) || ...)) {
                    Out<typename K::Result>::missing(out);
                    return;
                }
                // A braced list is evaluated left to right: the first failing operand reports.
                const Args args{Arg<std::tuple_element_t<I, Args>>::load(in[I], FlagAsBool)...};
                Out<typename K::Result>::store(out, Fn(std::get<I>(args)...));
            }(std::make_index_sequence<nin>{});
            for (std::size_t k = 0; k < nin; ++k) in[k] += strides[k];
            for (std::size_t k = 0; k < nout; ++k) out[k] += strides[nin + k];
        }
    } catch (const std::exception& e) {
        raise_element_failure(e.what());
        return -1;
    } catch (...) {
        raise_element_failure("native code failed without a message");
        return -1;
    }
    return 0;
}

// The DType class NumPy dispatches on for an operand kind.
inline PyArray_DTypeMeta* dtype_of(Kind kind, bool flag_as_bool) noexcept {
    switch (kind) {
        case Kind::F64: return &PyArray_DoubleDType;
        case Kind::I64:
        case Kind::Handle: return &PyArray_Int64DType;
        case Kind::Bool: return &PyArray_BoolDType;
        case Kind::Flag: return flag_as_bool ? &PyArray_BoolDType : &PyArray_Int64DType;
        case Kind::Day: return &PyArray_DatetimeDType;
    }
    return &PyArray_DoubleDType;
}

// Promoter: every operand goes to its loop's DType, whatever was given, so
// that NumPy casts inputs under the ufunc's casting rule (strings, objects and
// other dates are refused with NumPy's TypeError). A bool array in a flag
// position selects the bool loop; anything else the int64 loop.
template <auto Fn>
int promote(PyObject*, PyArray_DTypeMeta* const op_dtypes[], PyArray_DTypeMeta* const signature[],
            PyArray_DTypeMeta* new_op_dtypes[]) noexcept {
    using K = KernelOf<Fn>;
    for (std::size_t i = 0; i < K::nin + K::nout; ++i) {
        const Kind kind = kind_at<Fn>(i);
        PyArray_DTypeMeta* dt = signature[i];
        if (dt == nullptr)
            dt = dtype_of(kind, kind == Kind::Flag && op_dtypes[i] == &PyArray_BoolDType);
        new_op_dtypes[i] = reinterpret_cast<PyArray_DTypeMeta*>(Py_NewRef(reinterpret_cast<PyObject*>(dt)));
    }
    return 0;
}

// Descriptors of a loop with dates: datetime64[D] for every date operand (a
// date of another unit is cast to days), the native descriptor elsewhere.
template <auto Fn>
NPY_CASTING resolve_descriptors(PyObject*, PyArray_DTypeMeta* const dtypes[], PyArray_Descr* const[],
                                PyArray_Descr* loop_descrs[], npy_intp*) noexcept {
    using K = KernelOf<Fn>;
    for (std::size_t i = 0; i < K::nin + K::nout; ++i) {
        if (kind_at<Fn>(i) == Kind::Day) {
            Py_INCREF(day_descr);
            loop_descrs[i] = day_descr;
        } else {
            Py_INCREF(dtypes[i]->singleton);
            loop_descrs[i] = dtypes[i]->singleton;
        }
    }
    return NPY_NO_CASTING;
}

}  // namespace vantorel::np
