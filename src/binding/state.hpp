// src/binding/state.hpp: every Python object the module keeps between calls, in one structure
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "binding/ref.hpp"

namespace vantorel::py {

// The module's process-wide Python state: the interned parameter names of
// every callable, the type objects, the enumeration text forms, the
// FatalError class, the module object and the interpreter that owns it.
// Everything lives in one array of slots; a user reserves its slots while the
// library is loaded (static initialisation) and keeps the index.
//
// Lifecycle: the names are interned at import, all or none; the other slots
// are filled on first need. When the interpreter is finalised the state
// forgets every object (they belonged to that interpreter and are never
// touched again), so that an interpreter initialised afterwards imports the
// module afresh.
class ProcessState {
public:
    constexpr ProcessState() = default;

    // Reserves n slots whose objects are the interned texts[0..n); returns the
    // index of the first. Only during static initialisation.
    std::size_t reserve_names(const char* const* texts, std::size_t n);
    // Reserves n slots filled by their users; returns the index of the first.
    std::size_t reserve(std::size_t n);
    // Runs at every reset, after the slots are cleared (free lists drop their blocks).
    void on_forget(void (*hook)() noexcept);

    PyObject* const* slots() const noexcept { return slots_.data(); }
    PyObject*& slot(std::size_t i) noexcept { return slots_[i]; }

    // Interns every reserved name; on failure releases the ones already done.
    // Returns false with an error set.
    bool intern_names() noexcept;
    // Takes ownership of the module object for interpreter id; arranges the
    // reset at finalisation. Returns false with an error set.
    bool adopt_module(PyObject* module, std::int64_t interpreter) noexcept;
    // The module object built for interpreter id, or nullptr.
    PyObject* module_of(std::int64_t interpreter) const noexcept {
        return owner_ == interpreter ? module_ : nullptr;
    }
    std::int64_t owner() const noexcept { return owner_; }
    // The module whose classes this state builds ("vantorel"): each extension
    // links its own copy of the binding library, so each has its own state.
    const char* module_name() const noexcept { return module_name_; }
    void set_module_name(const char* name) noexcept { module_name_ = name; }

    // Called once the interpreter is gone: forgets every object without
    // touching it.
    void forget() noexcept;

private:
    std::vector<const char*> texts_;  // the name of a slot to intern, or nullptr
    std::vector<PyObject*> slots_;
    std::vector<void (*)() noexcept> hooks_;
    PyObject* module_ = nullptr;
    const char* module_name_ = "vantorel";
    std::int64_t owner_ = -1;
    bool reset_registered_ = false;
};

extern constinit ProcessState process_state;

}  // namespace vantorel::py
