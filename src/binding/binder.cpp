// src/binding/binder.cpp: argument matching and the binding TypeErrors
#include "binding/binder.hpp"

#include <cstring>
#include <new>

namespace vantorel::py {

const char* short_name(const char* callable) noexcept {
    const char* dot = std::strrchr(callable, '.');
    return dot != nullptr ? dot + 1 : callable;
}

std::string make_doc(const char* callable, const char* const* params, std::size_t n, bool self,
                     const char* text) {
    std::string doc = short_name(callable);
    doc += '(';
    const char* sep = "";
    if (self) {
        doc += "$self";
        sep = ", ";
    }
    for (std::size_t i = 0; i < n; ++i) {
        doc += sep;
        doc += params[i];
        sep = ", ";
    }
    doc += ")\n--\n\n";
    doc += text;
    return doc;
}

namespace {

std::ptrdiff_t find_keyword(PyObject* key, const char* const* names, PyObject* const* interned,
                            std::size_t n, std::size_t hint) noexcept {
    // Keywords mostly come in parameter order: try the next slot first.
    if (hint < n && interned[hint] == key) return static_cast<std::ptrdiff_t>(hint);
    for (std::size_t i = 0; i < n; ++i)
        if (interned[i] == key) return static_cast<std::ptrdiff_t>(i);
    // Never raises: the names are ASCII and key is a str.
    for (std::size_t i = 0; i < n; ++i)
        if (PyUnicode_CompareWithASCIIString(key, names[i]) == 0) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

void too_many_positional(const char* callable, std::size_t n, std::size_t required,
                         Py_ssize_t given) noexcept {
    if (required == n) {
        PyErr_Format(PyExc_TypeError, "%s() takes %zu positional argument%s but %zd %s given",
                     callable, n, n == 1 ? "" : "s", given, given == 1 ? "was" : "were");
    } else {
        PyErr_Format(PyExc_TypeError,
                     "%s() takes from %zu to %zu positional arguments but %zd %s given", callable,
                     required, n, given, given == 1 ? "was" : "were");
    }
}

void missing_arguments(const char* callable, const char* const* names, PyObject** out,
                       std::size_t required) noexcept {
    try {
        std::string list;
        std::size_t count = 0;
        for (std::size_t i = 0; i < required; ++i)
            if (out[i] == nullptr) ++count;
        std::size_t seen = 0;
        for (std::size_t i = 0; i < required; ++i) {
            if (out[i] != nullptr) continue;
            ++seen;
            if (seen > 1) list += seen == count ? (count > 2 ? ", and " : " and ") : ", ";
            list += '\'';
            list += names[i];
            list += '\'';
        }
        PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s",
                     callable, count, count == 1 ? "" : "s", list.c_str());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    }
}

}  // namespace

bool bind_arguments(const char* callable, const char* const* names, PyObject* const* interned,
                    std::size_t n, std::size_t required, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** out, Ref* extra) noexcept {
    if (nargs > static_cast<Py_ssize_t>(n)) {
        too_many_positional(callable, n, required, nargs);
        return false;
    }
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<Py_ssize_t>(i) < nargs ? args[i] : nullptr;
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            PyObject* key = PyTuple_GET_ITEM(kwnames, k);
            PyObject* value = args[nargs + k];
            const std::ptrdiff_t i = find_keyword(key, names, interned, n, static_cast<std::size_t>(nargs + k));
            if (i < 0) {
                if (extra != nullptr) {
                    if (!*extra) *extra = Ref(PyDict_New());
                    if (!*extra || PyDict_SetItem(*extra, key, value) < 0) return false;
                    continue;
                }
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'",
                             callable, key);
                return false;
            }
            if (out[i] != nullptr) {
                PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'",
                             callable, names[i]);
                return false;
            }
            out[i] = value;
        }
    }
    for (std::size_t i = 0; i < required; ++i) {
        if (out[i] == nullptr) {
            missing_arguments(callable, names, out, required);
            return false;
        }
    }
    return true;
}

void name_argument_error(const char* name) noexcept {
    if (!PyErr_Occurred()) return;
    PyObject* cause = PyErr_GetRaisedException();
    if (!Py_IS_TYPE(cause, reinterpret_cast<PyTypeObject*>(PyExc_TypeError))) {
        PyErr_SetRaisedException(cause);
        return;
    }
    Ref text(PyObject_Str(cause));
    if (!text) {
        Py_DECREF(cause);
        return;
    }
    Ref named(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
    if (!named) {
        Py_DECREF(cause);
        return;
    }
    PyObject* exc = PyObject_CallOneArg(PyExc_TypeError, named);
    if (exc == nullptr) {
        Py_DECREF(cause);
        return;
    }
    PyException_SetContext(exc, Py_NewRef(cause));
    PyException_SetCause(exc, cause);  // steals cause
    PyErr_SetRaisedException(exc);
}

PyObject* unexpected_keyword(const char* callable, PyObject* kwnames) noexcept {
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", callable,
                 PyTuple_GET_ITEM(kwnames, 0));
    return nullptr;
}

bool VectorcallArgs::lay_out(const char* callable, PyObject* args, PyObject* kwargs) noexcept {
    nargs = PyTuple_GET_SIZE(args);
    const Py_ssize_t nkw = kwargs == nullptr ? 0 : PyDict_GET_SIZE(kwargs);
    try {
        stack.assign(&PyTuple_GET_ITEM(args, 0), &PyTuple_GET_ITEM(args, 0) + nargs);
        if (nkw == 0) return true;
        kwnames = Ref(PyTuple_New(nkw));
        if (!kwnames) return false;
        stack.reserve(static_cast<std::size_t>(nargs + nkw));
        Py_ssize_t pos = 0, k = 0;
        PyObject *key = nullptr, *value = nullptr;
        while (k < nkw && PyDict_Next(kwargs, &pos, &key, &value)) {
            if (!PyUnicode_Check(key)) {  // a C caller may hand over any dict
                PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", callable);
                return false;
            }
            PyTuple_SET_ITEM(kwnames.get(), k++, Py_NewRef(key));
            stack.push_back(value);  // borrowed from kwargs
        }
    } catch (...) {
        PyErr_NoMemory();
        return false;
    }
    return true;
}

}  // namespace vantorel::py
