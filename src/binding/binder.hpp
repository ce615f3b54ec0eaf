// src/binding/binder.hpp: matching vectorcall arguments to named parameters
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "binding/ref.hpp"

namespace vantorel::py {

// A callable's Python-side description: its name as error messages show it
// ("npv", "Tenor.__new__", "Date.is_leap_year"), its parameter names in order
// (self excluded), how many of them are required, and the documentation text
// that follows the text signature. The interned names are filled on first use.
template <std::size_t N>
struct Sig {
    const char* callable;
    std::array<const char*, N> names;
    std::size_t required = N;
    const char* doc_text = "";
    std::array<PyObject*, N> interned{};
};

template <class S>
constexpr std::size_t param_count = std::tuple_size_v<decltype(S::names)>;

// The name after the last full stop: "Date.year" -> "year".
const char* short_name(const char* callable) noexcept;

// "name($self, a, b)\n--\n\n" followed by the documentation text.
std::string make_doc(const char* callable, const char* const* names, std::size_t n, bool self,
                     const char* text);

// Matches args[0..nargs) and the keywords named by kwnames to the n parameter
// slots of out (nullptr where nothing was given). Raises TypeError, worded as
// the interpreter words its own, for too many positional arguments, a
// duplicated or unknown keyword, or missing required parameters. Keyword names
// are compared by pointer with the interned names first, by value second;
// the names are interned into `interned` on first use.
// With `extra` non-null, unknown keywords are collected there (a new dict,
// created on the first one) instead of failing.
bool bind_arguments(const char* callable, const char* const* names, PyObject** interned,
                    std::size_t n, std::size_t required, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** out, Ref* extra = nullptr) noexcept;

template <std::size_t N>
bool bind(Sig<N>& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          PyObject** out) noexcept {
    if (kwnames == nullptr && nargs == static_cast<Py_ssize_t>(N)) {  // the common case
        for (std::size_t i = 0; i < N; ++i) out[i] = args[i];
        return true;
    }
    return bind_arguments(sig.callable, sig.names.data(), sig.interned.data(), N, sig.required,
                          args, nargs, kwnames, out);
}

// Re-raise a pending TypeError (exactly TypeError) as "argument 'NAME': ..."
// with the first exception as its __cause__; other exceptions stay as they are.
void name_argument_error(const char* name) noexcept;

// TypeError "CALLABLE() got an unexpected keyword argument 'KW'" for the first
// keyword of kwnames; returns nullptr.
PyObject* unexpected_keyword(const char* callable, PyObject* kwnames) noexcept;

// The tuple-and-dictionary convention laid out as a vectorcall stack:
// positional values, then the keyword values in the order of kwnames. The
// values are borrowed from args and kwargs.
struct VectorcallArgs {
    std::vector<PyObject*> stack;
    Ref kwnames;
    Py_ssize_t nargs = 0;
    // Returns false with an error set (a non-str keyword, no memory).
    bool lay_out(const char* callable, PyObject* args, PyObject* kwargs) noexcept;
};

// bind_arguments for the tuple-and-dictionary calling convention: args is the
// positional tuple, kwargs the keyword dict (or nullptr). The bound slots are
// borrowed from args and kwargs.
bool bind_tuple_and_dict(const char* callable, const char* const* names, PyObject** interned,
                         std::size_t n, std::size_t required, PyObject* args, PyObject* kwargs,
                         PyObject** out, Ref* extra = nullptr) noexcept;

}  // namespace vantorel::py
