// src/binding/errors.cpp: FatalError and the translation of C++ exceptions
#include "binding/errors.hpp"

#include <cstdio>
#include <exception>
#include <new>
#include <string_view>

#include "binding/state.hpp"
#include "core/failure.hpp"

namespace vantorel::py {

namespace {

// Slot of the FatalError class in the process state.
const std::size_t fatal_error_slot = process_state.reserve(1);

constexpr const char* generic_fatal_text = "native code failed without a message";

void set_fatal(const char* text) noexcept {
    PyObject* type = fatal_error_type();
    if (type == nullptr) return;
    Ref message(PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::char_traits<char>::length(text)),
                                     "replace"));
    if (!message) return;
    PyErr_SetObject(type, message);
}

}  // namespace

// The class lives in the pure-Python module native_runtime that ships beside
// the extension, so that it can be imported (and unpickled) by name in a
// process that has not loaded vantorel.
PyObject* fatal_error_type() noexcept {
    PyObject*& fatal_error = process_state.slot(fatal_error_slot);
    if (fatal_error == nullptr) {
        Ref runtime(PyImport_ImportModule("native_runtime"));
        if (!runtime) return nullptr;
        fatal_error = PyObject_GetAttrString(runtime, "FatalError");
    }
    return fatal_error;
}

void raise_fatal(const Failure& failure) noexcept {
    const auto& where = failure.where();
    std::fprintf(stderr, "vantorel: fatal error at %s:%u in %s: %s\n", where.file_name(),
                 static_cast<unsigned>(where.line()), where.function_name(), failure.what());
    set_fatal(failure.what()[0] != '\0' ? failure.what() : generic_fatal_text);
}

void raise_fatal(const char* text) noexcept {
    std::fprintf(stderr, "vantorel: fatal error: %s\n", text);
    set_fatal(text);
}

void raise_current_exception() noexcept {
    try {
        throw;
    } catch (const Failure& failure) {
        raise_fatal(failure);
    } catch (const ErrorAlreadySet&) {
        if (!PyErr_Occurred()) raise_fatal(generic_fatal_text);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        raise_fatal(e.what()[0] != '\0' ? e.what() : generic_fatal_text);
    } catch (...) {
        raise_fatal(generic_fatal_text);
    }
}

PyObject* raise_value_error(std::string_view text) noexcept {
    PyObject* message = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    if (message != nullptr) {
        PyErr_SetObject(PyExc_ValueError, message);
        Py_DECREF(message);
    }
    return nullptr;
}

}  // namespace vantorel::py
