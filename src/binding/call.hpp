// src/binding/call.hpp: one generic wrapper from a native function to a Python callable
#pragma once

#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

#include "binding/binder.hpp"
#include "binding/convert.hpp"

namespace vantorel::py {

// What a native callable takes and gives. Member functions take their
// receiver as Self; free functions used as methods take it as first argument.
template <class F>
struct FnTraits;
template <class R, class... A>
struct FnTraits<R (*)(A...)> {
    using Ret = R;
    using Args = std::tuple<A...>;
};
template <class R, class... A>
struct FnTraits<R (*)(A...) noexcept> : FnTraits<R (*)(A...)> {};
template <class R, class C, class... A>
struct FnTraits<R (C::*)(A...) const> {
    using Ret = R;
    using Self = C;
    using Args = std::tuple<A...>;
};
template <class R, class C, class... A>
struct FnTraits<R (C::*)(A...) const noexcept> : FnTraits<R (C::*)(A...) const> {};

template <class Tuple>
struct Storages;
template <class... A>
struct Storages<std::tuple<A...>> {
    using type = std::tuple<typename ConvertOf<A>::Storage...>;
};

// Converts the bound arguments in parameter order; the first failure stops,
// its TypeError named after the parameter.
template <class Args, class St, std::size_t... I>
bool convert_arguments(const char* const* names, PyObject* const* slots, St& storage,
                       std::index_sequence<I...>) noexcept {
    const auto one = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
        using A = std::tuple_element_t<K, Args>;
        if (ConvertOf<A>::from_py(slots[K], std::get<K>(storage))) return true;
        name_argument_error(names[K]);
        return false;
    };
    (void)one;  // unused for callables without parameters
    return (one(std::integral_constant<std::size_t, I>{}) && ...);
}

// Calls Fn on the converted arguments (after the receiver, if any) inside the
// firewall and converts its result.
template <auto Fn, class Args, class St, class... Self, std::size_t... I>
PyObject* invoke(St& storage, std::index_sequence<I...>, Self&... self) noexcept {
    return firewall([&]() -> PyObject* {
        using R = typename FnTraits<decltype(Fn)>::Ret;
        if constexpr (std::is_void_v<R>) {
            std::invoke(Fn, self..., ConvertOf<std::tuple_element_t<I, Args>>::get(std::get<I>(storage))...);
            return Py_NewRef(Py_None);
        } else {
            return to_python(std::invoke(
                Fn, self..., ConvertOf<std::tuple_element_t<I, Args>>::get(std::get<I>(storage))...));
        }
    });
}

template <class Tuple>
struct TailOf;
template <class H, class... T>
struct TailOf<std::tuple<H, T...>> {
    using type = std::tuple<T...>;
};

// The receiver type of a method: the class of a member function, else the
// first argument of a free function; Params are the arguments bound by name.
template <auto Fn, class = void>
struct MethodShape {
    using Receiver = std::remove_cvref_t<std::tuple_element_t<0, typename FnTraits<decltype(Fn)>::Args>>;
    using Params = typename TailOf<typename FnTraits<decltype(Fn)>::Args>::type;
};
template <auto Fn>
struct MethodShape<Fn, std::void_t<typename FnTraits<decltype(Fn)>::Self>> {
    using Receiver = typename FnTraits<decltype(Fn)>::Self;
    using Params = typename FnTraits<decltype(Fn)>::Args;
};

template <auto Fn, auto& S, class Args>
PyObject* call_bound(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, auto&... self) noexcept {
    constexpr std::size_t N = std::tuple_size_v<Args>;
    static_assert(N == std::tuple_size_v<decltype(S.names)>, "parameter names and native arguments differ");
    PyObject* slots[N > 0 ? N : 1];
    if (!bind(S, args, nargs, kwnames, slots)) return nullptr;
    typename Storages<Args>::type storage{};
    if (!convert_arguments<Args>(S.names.data(), slots, storage, std::make_index_sequence<N>{}))
        return nullptr;
    return invoke<Fn, Args>(storage, std::make_index_sequence<N>{}, self...);
}

// ---- entry points handed to CPython ---------------------------------------

template <auto Fn, auto& S>
PyObject* fastcall_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_bound<Fn, S, typename FnTraits<decltype(Fn)>::Args>(args, nargs, kwnames);
}

// Methods: the method descriptor has already checked that self is an instance.
template <auto Fn, auto& S>
PyObject* fastcall_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    using Shape = MethodShape<Fn>;
    const typename Shape::Receiver& receiver = unbox<typename Shape::Receiver>(self);
    return call_bound<Fn, S, typename Shape::Params>(args, nargs, kwnames, receiver);
}

template <auto& S>
const char* doc_of(bool self) {
    static const std::string doc =
        make_doc(S.callable, S.names.data(), std::tuple_size_v<decltype(S.names)>, self, S.doc_text);
    return doc.c_str();
}

template <class F>
PyCFunction as_cfunction(F f) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

// Module-level function.
template <auto Fn, auto& S>
PyMethodDef function_def() {
    return {short_name(S.callable), as_cfunction(&fastcall_function<Fn, S>),
            METH_FASTCALL | METH_KEYWORDS, doc_of<S>(false)};
}
// Static method of a class.
template <auto Fn, auto& S>
PyMethodDef static_method_def() {
    return {short_name(S.callable), as_cfunction(&fastcall_function<Fn, S>),
            METH_FASTCALL | METH_KEYWORDS | METH_STATIC, doc_of<S>(false)};
}
// Instance method: a member function of the native value, or a free function
// taking the native value first.
template <auto Fn, auto& S>
PyMethodDef method_def() {
    return {short_name(S.callable), as_cfunction(&fastcall_method<Fn, S>),
            METH_FASTCALL | METH_KEYWORDS, doc_of<S>(true)};
}

// ---- read-only attributes -------------------------------------------------------

template <class M>
struct MemberTraits;
template <class M, class C>
struct MemberTraits<M C::*> {
    using Class = C;
};

// Getter of a public field, or of a const member function without arguments,
// of the native value; the result is converted like any other result.
template <auto Member>
PyObject* member_getter(PyObject* self, void*) noexcept {
    using C = typename MemberTraits<decltype(Member)>::Class;
    return firewall([&]() -> PyObject* { return to_python(std::invoke(Member, unbox<C>(self))); });
}

// A read-only attribute: assigning it raises the interpreter's AttributeError.
template <auto Member>
PyGetSetDef getter_def(const char* name) {
    return {name, &member_getter<Member>, nullptr, nullptr, nullptr};
}

// ---- constructors ------------------------------------------------------------

// tp_vectorcall of a class whose constructor is Fn (returning the native value
// or an error text); the result is a new instance of T's class.
template <class T, auto Fn, auto& S>
PyObject* constructor_vectorcall(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
    return call_bound<Fn, S, typename FnTraits<decltype(Fn)>::Args>(args, PyVectorcall_NARGS(nargsf), kwnames);
}

// "Tenor(s)\n--\n\n": the class docstring carrying the constructor's signature.
template <auto& S>
const char* class_doc() {
    static const std::string doc = [] {
        std::string callable = S.callable;  // "Tenor.__new__" -> "Tenor"
        callable.resize(callable.rfind('.'));
        return make_doc(callable.c_str(), S.names.data(), std::tuple_size_v<decltype(S.names)>, false, "");
    }();
    return doc.c_str();
}



// Converts one bound argument into out, a TypeError named after the
// parameter. A parameter that was left out (slot nullptr) keeps the default
// already in out. Returns false with an error set.
template <class T>
bool convert_argument(PyObject* slot, const char* name, typename ConvertOf<T>::Storage& out) noexcept {
    if (slot == nullptr || ConvertOf<T>::from_py(slot, out)) return true;
    name_argument_error(name);
    return false;
}

}  // namespace vantorel::py
