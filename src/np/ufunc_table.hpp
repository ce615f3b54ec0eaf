// src/np/ufunc_table.hpp: turning a row of a kernel table into a ufunc, for every extension with ufuncs
#pragma once

#include <string>

#include "np/loops.hpp"
#include "np/state.hpp"

namespace vantorel::np {

struct Row {
    const char* name;
    bool (*add)(PyObject* module, PyObject* with_status, const char* name) noexcept;
};

template <auto Fn, bool FlagAsBool, bool WithStatus>
bool add_loop(PyObject* ufunc) noexcept {
    using K = KernelOf<Fn>;
    constexpr auto kinds = operand_kinds<Fn, WithStatus>();
    PyArray_DTypeMeta* dtypes[kinds.size()];
    for (std::size_t i = 0; i < kinds.size(); ++i) dtypes[i] = dtype_of(kinds[i], FlagAsBool);
    PyType_Slot slots[] = {
        {NPY_METH_strided_loop, reinterpret_cast<void*>(&strided_loop<Fn, FlagAsBool, WithStatus>)},
        {K::has_day ? NPY_METH_resolve_descriptors : 0,
         reinterpret_cast<void*>(&resolve_descriptors<Fn, WithStatus>)},
        {0, nullptr},
    };
    PyArrayMethod_Spec spec{};
    spec.name = "vantorel_np_loop";
    spec.nin = static_cast<int>(K::nin);
    spec.nout = static_cast<int>(kinds.size() - K::nin);
    spec.casting = NPY_NO_CASTING;
    // No Python API: NumPy drops the GIL. The loop clears the flags it raises.
    spec.flags = NPY_METH_NO_FLOATINGPOINT_ERRORS;
    spec.dtypes = dtypes;
    spec.slots = slots;
    return PyUFunc_AddLoopFromSpec(ufunc, &spec) == 0;
}

// "(),(),()->(),()" for a kernel with several results: a gufunc, so that
// dask dispatches it.
inline std::string scalar_signature(std::size_t nin, std::size_t nout) {
    std::string s;
    for (std::size_t i = 0; i < nin; ++i) s += i == 0 ? "()" : ",()";
    s += "->";
    for (std::size_t i = 0; i < nout; ++i) s += i == 0 ? "()" : ",()";
    return s;
}

// One ufunc of kernel Fn named name (with a status output when WithStatus):
// its loops (two when the kernel takes a PutCallFlag: int64 codes and bool)
// and its promoter. nullptr with an error set.
template <auto Fn, bool WithStatus>
PyObject* make_ufunc(PyObject* module, const char* name) noexcept {
    using K = KernelOf<Fn>;
    constexpr int nin = static_cast<int>(K::nin);
    constexpr int nout = static_cast<int>(K::nout) + (WithStatus ? 1 : 0);
    static const std::string signature = scalar_signature(K::nin, K::nout);
    Owned ufunc(!WithStatus && nout > 1
                    ? PyUFunc_FromFuncAndDataAndSignature(nullptr, nullptr, nullptr, 0, nin, nout, PyUFunc_None,
                                                          name, nullptr, 0, signature.c_str())
                    : PyUFunc_FromFuncAndData(nullptr, nullptr, nullptr, 0, nin, nout, PyUFunc_None, name,
                                              nullptr, 0));
    if (!ufunc || !add_loop<Fn, false, WithStatus>(ufunc.get())) return nullptr;
    if (K::has_flag && !add_loop<Fn, true, WithStatus>(ufunc.get())) return nullptr;
    Owned any(PyTuple_New(nin + nout));
    if (!any) return nullptr;
    for (int i = 0; i < nin + nout; ++i) PyTuple_SET_ITEM(any.get(), i, Py_NewRef(Py_None));
    Owned promoter(
        PyCapsule_New(reinterpret_cast<void*>(&promote<Fn, WithStatus>), "numpy._ufunc_promoter", nullptr));
    if (!promoter || PyUFunc_AddPromoter(ufunc.get(), any.get(), promoter.get()) < 0) return nullptr;
    // Pickle (dask's graphs, process pools) finds a ufunc by its module and name;
    // without a module it searches every imported module for it.
    Owned module_name(PyModule_GetNameObject(module));
    if (!module_name || PyObject_SetAttrString(ufunc.get(), "__module__", module_name.get()) < 0) return nullptr;
    return ufunc.release();
}

// Adds the ufunc of a row to the module and, for a kernel whose elements can
// fail, its twin with a status output to the dict with_status under the same
// name. Returns false with an error set.
template <auto Fn>
bool add_ufunc(PyObject* module, PyObject* with_status, const char* name) noexcept {
    PyObject* ufunc = make_ufunc<Fn, false>(module, name);
    if (ufunc == nullptr || PyModule_AddObject(module, name, ufunc) < 0) return false;
    if constexpr (KernelOf<Fn>::can_fail) {
        Owned twin(make_ufunc<Fn, true>(module, name));
        if (!twin || PyDict_SetItemString(with_status, name, twin.get()) < 0) return false;
    }
    return true;
}

template <auto Fn>
constexpr Row row(const char* name) {
    return {name, &add_ufunc<Fn>};
}

}  // namespace vantorel::np
