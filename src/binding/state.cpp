// src/binding/state.cpp: the process-wide Python state and its reset at finalisation
#include "binding/state.hpp"

namespace vantorel::py {

constinit ProcessState process_state;

std::size_t ProcessState::reserve_names(const char* const* texts, std::size_t n) {
    const std::size_t first = slots_.size();
    for (std::size_t i = 0; i < n; ++i) texts_.push_back(texts[i]);
    slots_.resize(first + n, nullptr);
    return first;
}

std::size_t ProcessState::reserve(std::size_t n) {
    const std::size_t first = slots_.size();
    texts_.resize(first + n, nullptr);
    slots_.resize(first + n, nullptr);
    return first;
}

void ProcessState::on_forget(void (*hook)() noexcept) { hooks_.push_back(hook); }

bool ProcessState::intern_names() noexcept {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (texts_[i] == nullptr || slots_[i] != nullptr) continue;
        slots_[i] = PyUnicode_InternFromString(texts_[i]);
        if (slots_[i] == nullptr) {
            for (std::size_t j = 0; j < i; ++j)
                if (texts_[j] != nullptr) Py_CLEAR(slots_[j]);
            return false;
        }
    }
    return true;
}

namespace {

void forget_state() noexcept { process_state.forget(); }

}  // namespace

bool ProcessState::adopt_module(PyObject* module, std::int64_t interpreter) noexcept {
    // Py_AtExit runs after the interpreter is finalised, when no Python object
    // may be touched: the state only lets go of its pointers there.
    if (!reset_registered_) {
        if (Py_AtExit(&forget_state) < 0) {
            PyErr_SetString(PyExc_RuntimeError, "no room left for an exit function");
            return false;
        }
        reset_registered_ = true;
    }
    module_ = Py_NewRef(module);
    owner_ = interpreter;
    return true;
}

void ProcessState::forget() noexcept {
    for (PyObject*& slot : slots_) slot = nullptr;
    module_ = nullptr;
    owner_ = -1;
    for (auto* hook : hooks_) hook();
}

}  // namespace vantorel::py
