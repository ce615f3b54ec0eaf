// src/binding/ref.hpp: the owning reference to a Python object
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace vantorel::py {

// Owns one strong reference (or none). Converts to PyObject* for C-API calls.
class Ref {
public:
    Ref() noexcept = default;
    explicit Ref(PyObject* steal) noexcept : p_(steal) {}
    static Ref borrow(PyObject* p) noexcept { return Ref(Py_XNewRef(p)); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            Py_XDECREF(p_);
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    [[nodiscard]] PyObject* get() const noexcept { return p_; }
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    operator PyObject*() const noexcept { return p_; }  // NOLINT: C-API interop

private:
    PyObject* p_ = nullptr;
};

}  // namespace vantorel::py
