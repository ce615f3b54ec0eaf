// src/binding/class_builder.hpp: heap types holding one native value, created once per process
#pragma once

#include <new>
#include <type_traits>
#include <utility>

#include "binding/errors.hpp"
#include "binding/state.hpp"

namespace vantorel::py {

// Specialised for every native type that has a Python class:
//   static constexpr const char* name;   // the bare class name, "Date"
//   static PyTypeObject* create();       // builds the type (new reference)
template <class T>
struct PyClass;

template <class T>
concept HasPyClass = requires {
    { PyClass<T>::name } -> std::convertible_to<const char*>;
    PyClass<T>::create;
};

// A Python object is the object header and exactly one native value, inline.
template <class T>
struct Box {
    PyObject_HEAD
    T value;
};

// The process-state slot of T's type object.
template <class T>
inline const std::size_t type_slot = process_state.reserve(1);

// Raise RuntimeError "An error occurred while initializing class NAME",
// chained to the error that stopped the type's creation.
void raise_class_init_error(const char* name) noexcept;

// The type object of T, built on first use and kept in the process state.
// Borrowed reference; nullptr with an exception set on failure.
template <HasPyClass T>
PyTypeObject* type_of() noexcept {
    PyObject*& slot = process_state.slot(type_slot<T>);
    if (slot == nullptr) [[unlikely]] {
        PyObject* type = firewall([] { return reinterpret_cast<PyObject*>(PyClass<T>::create()); });
        if (type == nullptr) {
            slot = nullptr;  // create() may have remembered a half-built type (borrowed)
            raise_class_init_error(PyClass<T>::name);
            return nullptr;
        }
        slot = type;  // owned by the process state from here on
    }
    return reinterpret_cast<PyTypeObject*>(slot);
}

template <class T>
T& unbox(PyObject* o) noexcept {
    return reinterpret_cast<Box<T>*>(o)->value;
}

// How a method reaches the native receiver R of its member function from the
// Python instance: by default R is the boxed value itself. A class holding
// its value through a handle specialises this (YieldCurve).
template <class R>
struct ReceiverOf {
    static const R& get(PyObject* self) noexcept { return unbox<R>(self); }
};

// Freed instances of T kept for reuse, so that the many short-lived results
// (dates, weekdays, enumeration members) skip the allocator. Every call runs
// under the interpreter lock and the module refuses sub-interpreters, so one
// list per type is safe. Sanitized builds allocate each object afresh, so that
// use-after-free stays detectable.
// The blocks belong to the interpreter's allocator: a reset of the process
// state drops them with it.
template <class T>
struct FreeList {
#ifdef VANTOREL_SANITIZE
    static constexpr int capacity = 0;
#else
    static constexpr int capacity = 64;
#endif
    inline static void* items[capacity > 0 ? capacity : 1] = {};
    inline static int size = 0;
    static void drop() noexcept { size = 0; }
    inline static const bool registered = (process_state.on_forget(&drop), true);
};

// A new instance of T's class owning a copy (or move) of value.
template <HasPyClass T, class V>
PyObject* box(V&& value) {
    PyTypeObject* type = type_of<T>();
    if (type == nullptr) throw ErrorAlreadySet{};
    using List = FreeList<T>;
    static_cast<void>(List::registered);
    void* memory = List::size > 0 ? List::items[--List::size] : PyObject_Malloc(sizeof(Box<T>));
    if (memory == nullptr) throw std::bad_alloc{};
    auto* o = static_cast<Box<T>*>(memory);
    try {
        new (&o->value) T(std::forward<V>(value));
    } catch (...) {
        PyObject_Free(memory);
        throw;
    }
    return PyObject_Init(reinterpret_cast<PyObject*>(o), type);
}

template <class T>
void box_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    if constexpr (!std::is_trivially_destructible_v<T>) unbox<T>(self).~T();
    using List = FreeList<T>;
    if (List::size < List::capacity)
        List::items[List::size++] = self;
    else
        PyObject_Free(self);
    Py_DECREF(type);
}

// Builds a final heap type without __dict__ or weak references: __name__ and
// __qualname__ are the bare name, __module__ is the process state's module name, and messages that
// name the type say just the bare name. `slots` holds the type's own slots,
// closed by {0, nullptr}, without Py_tp_new: calling the class runs
// `constructor` (its vectorcall, also behind an explicit T.__new__(T, ...)),
// or raises TypeError "No constructor defined" when there is none. The type
// records `name` for its tp_name, so it must be a string with static storage.
// Returns a new reference.
PyTypeObject* build_class(const char* name, int basicsize, const PyType_Slot* slots,
                          vectorcallfunc constructor = nullptr);

// Stores the type in T's slot (used by create() before adding class
// attributes that are instances of the type itself). Borrowed: the slot
// takes over the reference create() returns.
template <class T>
PyTypeObject* remember_type(PyTypeObject* type) noexcept {
    process_state.slot(type_slot<T>) = reinterpret_cast<PyObject*>(type);
    return type;
}

// Adds a class attribute to a type built by build_class (whose type is
// immutable from Python). Steals value. Returns false with an error set.
bool add_class_attribute(PyTypeObject* type, const char* name, PyObject* value) noexcept;

}  // namespace vantorel::py
