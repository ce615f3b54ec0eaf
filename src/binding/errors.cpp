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

// The most characters of a failure's text that the stderr diagnostic shows.
constexpr std::size_t diagnostic_chars = 200;

// Length of the UTF-8 sequence starting at text[i], or 0 if none starts there.
std::size_t utf8_length(std::string_view text, std::size_t i) noexcept {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    return n;
}

// Writes text to stderr on one line that the text cannot forge or flood:
// backslash and control characters (C0, DEL, C1) escaped, bytes that are not
// UTF-8 shown as \xNN, and at most diagnostic_chars characters, a longer text
// ending in a mark saying how long it was. No allocation.
void write_diagnostic_text(std::string_view text) noexcept {
    std::size_t i = 0;
    for (std::size_t shown = 0; i < text.size() && shown < diagnostic_chars; ++shown) {
        const std::size_t n = utf8_length(text, i);
        const auto c = static_cast<unsigned char>(text[i]);
        unsigned code = c;
        if (n == 2) code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
        if (n == 0 || code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            std::fprintf(stderr, "\\x%02x", code);
        } else if (code == '\\') {
            std::fputs("\\\\", stderr);
        } else {
            std::fwrite(text.data() + i, 1, n, stderr);
        }
        i += n == 0 ? 1 : n;
    }
    if (i < text.size()) std::fprintf(stderr, "... [cut, %zu bytes in all]", text.size());
    std::fputc('\n', stderr);
}

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
// process that has not loaded vantorel. The module's initialisation takes it
// first, so that no failure has to import it.
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
    std::fprintf(stderr, "vantorel: fatal error at %s:%u in %s: ", where.file_name(),
                 static_cast<unsigned>(where.line()), where.function_name());
    write_diagnostic_text(failure.what());
    set_fatal(failure.what()[0] != '\0' ? failure.what() : generic_fatal_text);
}

void raise_fatal(const char* text) noexcept {
    std::fputs("vantorel: fatal error: ", stderr);
    write_diagnostic_text(text);
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
