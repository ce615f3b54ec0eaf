// src/binding/binder.hpp: compile-time descriptions of callables and the matching of vectorcall arguments
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "binding/ref.hpp"
#include "binding/state.hpp"

namespace vantorel::py {

// A string usable as a template argument: "npv", "BlackScholes", "n=100".
template <std::size_t N>
struct FixedString {
    char text[N]{};
    constexpr FixedString() = default;
    constexpr FixedString(const char (&s)[N]) { std::copy_n(s, N, text); }  // NOLINT: implicit by design
    static constexpr std::size_t length = N - 1;
    [[nodiscard]] constexpr std::string_view view() const { return {text, N - 1}; }
};

// "Class" + "." + "name"; an empty class gives the bare name.
template <FixedString Class, FixedString Name>
constexpr auto qualified() {
    if constexpr (Class.length == 0) {
        return Name;
    } else {
        FixedString<Class.length + Name.length + 2> out;
        std::copy_n(Class.text, Class.length, out.text);
        out.text[Class.length] = '.';
        std::copy_n(Name.text, Name.length + 1, out.text + Class.length + 1);
        return out;
    }
}

// A parameter's name: the text before '=' ("n=100" -> "n"); a parameter with
// '=' has a default and may be left out.
template <FixedString P>
struct ParamName {
    // A plain loop: GCC 12 under -fsanitize=undefined refuses string_view::find
    // in a constant expression.
    static constexpr std::size_t cut = [] {
        std::size_t i = 0;
        while (i < P.length && P.text[i] != '=') ++i;
        return i;
    }();
    static constexpr bool has_default = cut < P.length;
    static constexpr auto value = [] {
        FixedString<P.length + 1> out;
        std::copy_n(P.text, cut, out.text);
        return out;
    }();
};

// The parameter list of a callable (self excluded), in order; parameters with
// defaults come last.
template <FixedString... P>
struct Params {
    static constexpr std::size_t size = sizeof...(P);
    static constexpr std::size_t required = (std::size_t{0} + ... + (ParamName<P>::has_default ? 0 : 1));
    static constexpr std::array<const char*, size> names{ParamName<P>::value.text...};
    static constexpr std::array<const char*, size> texts{P.text...};
};

// A callable as error messages name it ("npv", "Tenor.__new__",
// "BlackScholes.npv") with its parameters. Its names are interned at import
// into the process state, from slot `first` on.
template <FixedString Callable, class P>
struct Signature {
    using params = P;
    static constexpr const char* callable = Callable.text;
    static inline const std::size_t first = process_state.reserve_names(P::names.data(), P::size);
    static PyObject* const* interned() noexcept { return process_state.slots() + first; }
};

// The name after the last full stop: "Date.year" -> "year".
const char* short_name(const char* callable) noexcept;

// "name($self, a, b=1)\n--\n\n" followed by the documentation text.
std::string make_doc(const char* callable, const char* const* params, std::size_t n, bool self,
                     const char* text);

// Matches args[0..nargs) and the keywords named by kwnames to the n parameter
// slots of out (nullptr where nothing was given). Raises TypeError, worded as
// the interpreter words its own, for too many positional arguments, a
// duplicated or unknown keyword, or missing required parameters. Keyword names
// are compared by pointer with the interned names first (a name not interned
// is nullptr and matches nothing), by value second.
// With `extra` non-null, unknown keywords are collected there (a new dict,
// created on the first one) instead of failing.
bool bind_arguments(const char* callable, const char* const* names, PyObject* const* interned,
                    std::size_t n, std::size_t required, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** out, Ref* extra = nullptr) noexcept;

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

// bind for the tuple-and-dictionary calling convention: args is the
// positional tuple, kwargs the keyword dict (or nullptr). The bound slots are
// borrowed from args and kwargs.
template <class S>
bool bind_tuple_and_dict(PyObject* args, PyObject* kwargs, PyObject** out, Ref* extra) noexcept {
    VectorcallArgs laid;
    if (!laid.lay_out(S::callable, args, kwargs)) return false;
    return bind_arguments(S::callable, S::params::names.data(), S::interned(), S::params::size,
                          S::params::required, laid.stack.data(), laid.nargs, laid.kwnames, out, extra);
}

}  // namespace vantorel::py
