// src/binding/call.hpp: table rows that turn a native function into a Python callable
#pragma once

#include <functional>
#include <string>
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
struct TailOf;
template <class H, class... T>
struct TailOf<std::tuple<H, T...>> {
    using type = std::tuple<T...>;
};

// ---- receiver adaptors --------------------------------------------------------

// A const member function of the argument, with the receiver as its one
// parameter: Date.is_business_day(cal) is cal.is_business_day(date).
template <auto MemFn, class Args = typename FnTraits<decltype(MemFn)>::Args>
struct OnArgument;
template <auto MemFn, class A>
struct OnArgument<MemFn, std::tuple<A>> {
    using Object = typename FnTraits<decltype(MemFn)>::Self;
    static auto call(const std::remove_cvref_t<A>& self, const Object& object) {
        return std::invoke(MemFn, object, self);
    }
};
template <auto MemFn>
constexpr auto on_argument = &OnArgument<MemFn>::call;

// A free function bound as a method of R that does not look at its receiver.
template <class R, auto Fn, class Args = typename FnTraits<decltype(Fn)>::Args>
struct IgnoringReceiver;
template <class R, auto Fn, class... A>
struct IgnoringReceiver<R, Fn, std::tuple<A...>> {
    static auto call(const R&, A... a) { return Fn(std::forward<A>(a)...); }
};
template <class R, auto Fn>
constexpr auto ignoring_receiver = &IgnoringReceiver<R, Fn>::call;

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

// ---- the one call path ----------------------------------------------------------

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
        // A parameter with a default that was left out keeps its storage's
        // value-initialised state, which the converter's type makes the default.
        if (slots[K] == nullptr) return true;
        if (ConvertOf<A>::from_py(slots[K], std::get<K>(storage))) [[likely]]
            return true;
        name_argument_error(names[K]);
        return false;
    };
    (void)one;  // unused for callables without parameters
    return (one(std::integral_constant<std::size_t, I>{}) && ...);
}

// Calls Fn on the converted arguments (after the receiver, if any) and
// converts its result. Only functions that may throw run inside the firewall.
template <auto Fn, class Args, class St, class... Self, std::size_t... I>
PyObject* invoke(St& storage, std::index_sequence<I...>, const Self&... self) noexcept {
    const auto body = [&]() -> PyObject* {
        using R = typename FnTraits<decltype(Fn)>::Ret;
        if constexpr (std::is_void_v<R>) {
            std::invoke(Fn, self..., ConvertOf<std::tuple_element_t<I, Args>>::get(std::get<I>(storage))...);
            return Py_NewRef(Py_None);
        } else if constexpr (noexcept(ConvertOf<R>::to_py(std::declval<R>()))) {
            // Returns nullptr with the error set when the object cannot be made.
            return ConvertOf<R>::to_py(std::invoke(
                Fn, self..., ConvertOf<std::tuple_element_t<I, Args>>::get(std::get<I>(storage))...));
        } else {
            return to_python(std::invoke(
                Fn, self..., ConvertOf<std::tuple_element_t<I, Args>>::get(std::get<I>(storage))...));
        }
    };
    if constexpr (noexcept(body())) {
        return body();
    } else {
        return firewall(body);
    }
}

template <auto Fn, class S, class Args>
PyObject* call_bound(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const auto&... self) noexcept {
    constexpr std::size_t N = std::tuple_size_v<Args>;
    static_assert(N == S::params::size, "parameter names and native arguments differ");
    // All positional and exactly as many as the parameters (the common case):
    // the arguments are the slots. Otherwise the binder fills a local array.
    PyObject* bound[N > 0 ? N : 1];
    PyObject* const* slots = args;
    if (kwnames != nullptr || nargs != static_cast<Py_ssize_t>(N)) [[unlikely]] {
        if (!bind_arguments(S::callable, S::params::names.data(), S::interned(), N, S::params::required, args,
                            nargs, kwnames, bound))
            return nullptr;
        slots = bound;
    }
    typename Storages<Args>::type storage;
    if (!convert_arguments<Args>(S::params::names.data(), slots, storage, std::make_index_sequence<N>{}))
        return nullptr;
    return invoke<Fn, Args>(storage, std::make_index_sequence<N>{}, self...);
}

// ---- entry points handed to CPython ---------------------------------------

template <auto Fn, class S>
PyObject* fastcall_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_bound<Fn, S, typename FnTraits<decltype(Fn)>::Args>(args, nargs, kwnames);
}

// Methods: the method descriptor has already checked that self is an instance.
template <auto Fn, class S>
PyObject* fastcall_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    using Shape = MethodShape<Fn>;
    return call_bound<Fn, S, typename Shape::Params>(args, nargs, kwnames,
                                                     ReceiverOf<typename Shape::Receiver>::get(self));
}

// The class's constructor: Fn returns the native value (or an error text);
// the result is a new instance.
template <auto Fn, class S>
PyObject* constructor_vectorcall(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
    return call_bound<Fn, S, typename FnTraits<decltype(Fn)>::Args>(args, PyVectorcall_NARGS(nargsf), kwnames);
}

template <class S, FixedString Doc>
const char* doc_of(const char* name, bool self) {
    static const std::string doc = make_doc(name, S::params::texts.data(), S::params::size, self, Doc.text);
    return doc.c_str();
}

template <class F>
PyCFunction as_cfunction(F f) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

// ---- table rows ---------------------------------------------------------------------
//
// Rows of the method table of class Class (an empty Class: the module's
// functions). Each row names the Python callable, the native function it
// binds and its parameters, once:
//   Rows<"Date">::method<"add_tenor", &add_parsed_tenor, Params<"t">>()
template <FixedString Class>
struct Rows {
    template <FixedString Name, class P>
    using Sig = Signature<qualified<Class, Name>(), P>;

    // Module-level function, or a static method of the class.
    template <FixedString Name, auto Fn, class P = Params<>, FixedString Doc = "">
    static PyMethodDef function() {
        using S = Sig<Name, P>;
        return {.ml_name = Name.text,
                .ml_meth = as_cfunction(&fastcall_function<Fn, S>),
                .ml_flags = METH_FASTCALL | METH_KEYWORDS | (Class.length > 0 ? METH_STATIC : 0),
                .ml_doc = doc_of<S, Doc>(Name.text, false)};
    }
    template <FixedString Name, auto Fn, class P = Params<>>
    static PyMethodDef static_method() {
        return function<Name, Fn, P>();
    }

    // Instance method: a member function of the native receiver (reached
    // through ReceiverOf), or a free function taking the receiver first.
    template <FixedString Name, auto Fn, class P = Params<>>
    static PyMethodDef method() {
        using S = Sig<Name, P>;
        return {.ml_name = Name.text,
                .ml_meth = as_cfunction(&fastcall_method<Fn, S>),
                .ml_flags = METH_FASTCALL | METH_KEYWORDS,
                .ml_doc = doc_of<S, "">(Name.text, true)};
    }

    // The constructor: its vectorcall and the class docstring "Class(params)\n--\n\n".
    template <auto Fn, class P>
    static constexpr vectorcallfunc constructor = &constructor_vectorcall<Fn, Sig<"__new__", P>>;
    template <class P>
    static const char* class_doc() {
        return doc_of<Sig<"__new__", P>, "">(Class.text, false);
    }
};

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
    return {.name = name, .get = &member_getter<Member>, .set = nullptr, .doc = nullptr, .closure = nullptr};
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
