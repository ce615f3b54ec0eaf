// src/binding/errors.hpp: FatalError and the exception firewall around every entry point
#pragma once

#include <string_view>

#include "binding/ref.hpp"

namespace vantorel {
class Failure;
}

namespace vantorel::py {

// Thrown inside binding code when a Python exception is already set.
struct ErrorAlreadySet {};

// native_runtime.FatalError, derived from BaseException; created on first need.
// Returns a borrowed reference, or nullptr with an exception set.
PyObject* fatal_error_type() noexcept;

// Raise FatalError for a core Failure (text and source position on stderr).
void raise_fatal(const Failure& failure) noexcept;
// Raise FatalError with a text, for failures without a source position.
void raise_fatal(const char* text) noexcept;
// Translate the C++ exception being handled into a Python exception.
void raise_current_exception() noexcept;

// Runs body() and turns every C++ exception into a Python exception, so none
// crosses into the interpreter. body returns a new reference or nullptr with
// an error set.
template <class Body>
PyObject* firewall(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        raise_current_exception();
        return nullptr;
    }
}

// Raise ValueError with a UTF-8 text; returns nullptr.
PyObject* raise_value_error(std::string_view text) noexcept;

}  // namespace vantorel::py
