// src/binding/convert.hpp: conversions between Python objects and native values
#pragma once

#include <concepts>
#include <cstdint>
#include <expected>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/class_builder.hpp"
#include "binding/enum_class.hpp"

namespace vantorel::py {

// Convert<T> knows how to take a parameter of type T from a Python object and
// how to give a result of type T back:
//   using Storage;                                    // what the call keeps
//   static bool from_py(PyObject*, Storage&) noexcept; // false: error set
//   static T/const T& get(Storage&);                   // the native argument
//   static PyObject* to_py(const T&);                  // new reference
// A TypeError raised by from_py is later prefixed with the parameter's name.
template <class T>
struct Convert;

// TypeError "expected WHAT, got TYPE". Returns false.
bool type_error(PyObject* got, const char* expected) noexcept;
// OverflowError "out of range integral type conversion attempted". Returns false.
bool overflow_error() noexcept;

template <>
struct Convert<double> {
    using Storage = double;
    static bool from_py(PyObject* o, double& out) noexcept {
        if (PyFloat_CheckExact(o)) [[likely]] {
            out = PyFloat_AS_DOUBLE(o);
            return true;
        }
        out = PyFloat_AsDouble(o);
        return !(out == -1.0 && PyErr_Occurred());
    }
    static double get(double s) noexcept { return s; }
    static PyObject* to_py(double v) noexcept { return PyFloat_FromDouble(v); }
};

template <>
struct Convert<bool> {
    using Storage = bool;
    static bool from_py(PyObject* o, bool& out) noexcept {
        if (o == Py_True || o == Py_False) {
            out = o == Py_True;
            return true;
        }
        return type_error(o, "bool");
    }
    static bool get(bool s) noexcept { return s; }
    static PyObject* to_py(bool v) noexcept { return Py_NewRef(v ? Py_True : Py_False); }
};

// Reads an integer (or an object with __index__) into [lo, hi]. A float is a
// TypeError; a value outside the range an OverflowError with the fixed text.
bool int64_in_range(PyObject* o, std::int64_t lo, std::int64_t hi, std::int64_t& out) noexcept;
bool uint64_from_py(PyObject* o, std::uint64_t& out) noexcept;

template <std::integral I>
    requires(!std::same_as<I, bool>)
struct Convert<I> {
    using Storage = I;
    static bool from_py(PyObject* o, I& out) noexcept {
        if constexpr (std::same_as<I, std::uint64_t>) {
            return uint64_from_py(o, out);
        } else {
            std::int64_t v = 0;
            if (!int64_in_range(o, std::numeric_limits<I>::min(), std::numeric_limits<I>::max(), v))
                return false;
            out = static_cast<I>(v);
            return true;
        }
    }
    static I get(I s) noexcept { return s; }
    static PyObject* to_py(I v) noexcept {
        if constexpr (std::is_signed_v<I>)
            return PyLong_FromLongLong(v);
        else
            return PyLong_FromUnsignedLongLong(v);
    }
};

// Text parameters: only str (or a subclass), taken as UTF-8. The view points
// into the str object, which the caller keeps alive for the call.
template <>
struct Convert<std::string_view> {
    using Storage = std::string_view;
    static bool from_py(PyObject* o, std::string_view& out) noexcept {
        if (!PyUnicode_Check(o)) return type_error(o, "str");
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(o, &size);
        if (data == nullptr) return false;
        out = std::string_view(data, static_cast<std::size_t>(size));
        return true;
    }
    static std::string_view get(std::string_view s) noexcept { return s; }
    static PyObject* to_py(std::string_view v) noexcept {
        return PyUnicode_DecodeUTF8(v.data(), static_cast<Py_ssize_t>(v.size()), "strict");
    }
};

template <>
struct Convert<std::string> {
    static PyObject* to_py(const std::string& v) noexcept {
        return Convert<std::string_view>::to_py(v);
    }
};

// Instances of the module's classes: the argument must be an instance of T's
// class; the native value is read in place.
template <HasPyClass T>
struct Convert<T> {
    using Storage = const T*;
    static bool from_py(PyObject* o, const T*& out) noexcept {
        PyTypeObject* type = type_of<T>();
        if (type == nullptr) return false;
        if (!PyObject_TypeCheck(o, type)) return type_error(o, PyClass<T>::name);
        out = &unbox<T>(o);
        return true;
    }
    static const T& get(const T* s) noexcept { return *s; }
    template <class V>
    static PyObject* to_py(V&& v) {
        return box<T>(std::forward<V>(v));
    }
};

// A tuple (or a subclass), borrowed for the call. Other sequences are refused.
struct TupleArg {
    PyObject* tuple = nullptr;
};

template <>
struct Convert<TupleArg> {
    using Storage = TupleArg;
    static bool from_py(PyObject* o, TupleArg& out) noexcept {
        if (!PyTuple_Check(o)) return type_error(o, "tuple");
        out.tuple = o;
        return true;
    }
    static TupleArg get(TupleArg s) noexcept { return s; }
};

// Sequences other than str, item by item.
template <class T>
struct Convert<std::vector<T>> {
    using Storage = std::vector<T>;
    static bool from_py(PyObject* o, std::vector<T>& out) noexcept {
        if (PyUnicode_Check(o) || !PySequence_Check(o)) return type_error(o, "a sequence");
        Ref fast(PySequence_Fast(o, "expected a sequence"));
        if (!fast) return false;
        try {
            out.clear();
            out.reserve(static_cast<std::size_t>(PySequence_Fast_GET_SIZE(fast.get())));
            // A list is converted in place, and an item's conversion may run
            // Python code (__float__) that changes the list: re-read the size
            // and the item on every step and hold the item while converting it.
            for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(fast.get()); ++i) {
                const Ref held = Ref::borrow(PySequence_Fast_GET_ITEM(fast.get(), i));
                typename Convert<T>::Storage item{};
                if (!Convert<T>::from_py(held.get(), item)) return false;
                out.push_back(Convert<T>::get(item));
            }
        } catch (...) {
            raise_current_exception();
            return false;
        }
        return true;
    }
    // The converted list is handed over: a native parameter taken by value
    // receives it without another copy.
    static std::vector<T>&& get(std::vector<T>& s) noexcept { return std::move(s); }
    static PyObject* to_py(const std::vector<T>& v) {
        Ref list(PyList_New(static_cast<Py_ssize_t>(v.size())));
        if (!list) throw ErrorAlreadySet{};
        for (std::size_t i = 0; i < v.size(); ++i) {
            PyObject* item = Convert<T>::to_py(v[i]);
            if (item == nullptr) throw ErrorAlreadySet{};
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
        }
        return list.release();
    }
};

// None <-> no value; any other argument must convert to T.
template <class T>
struct Convert<std::optional<T>> {
    using Storage = std::optional<T>;
    static bool from_py(PyObject* o, std::optional<T>& out) noexcept {
        if (o == Py_None) {
            out.reset();
            return true;
        }
        typename Convert<T>::Storage item{};
        if (!Convert<T>::from_py(o, item)) return false;
        out.emplace(Convert<T>::get(item));
        return true;
    }
    static const std::optional<T>& get(const std::optional<T>& s) noexcept { return s; }
    static PyObject* to_py(const std::optional<T>& v) noexcept(noexcept(Convert<T>::to_py(*v))) {
        if (!v) return Py_NewRef(Py_None);
        return Convert<T>::to_py(*v);
    }
};

// An error text -> ValueError with exactly that text.
template <class T>
struct Convert<std::expected<T, std::string>> {
    template <class E>
    static PyObject* to_py(E&& v) {
        if (!v) return raise_value_error(v.error());
        return Convert<T>::to_py(*std::forward<E>(v));
    }
};

template <class T>
using ConvertOf = Convert<std::remove_cvref_t<T>>;

// Converts a native result to a new reference (throws ErrorAlreadySet when the
// conversion itself fails).
template <class R>
PyObject* to_python(R&& result) {
    PyObject* o = ConvertOf<R>::to_py(std::forward<R>(result));
    if (o == nullptr && !PyErr_Occurred()) throw ErrorAlreadySet{};
    return o;
}

}  // namespace vantorel::py
