// src/python/plotting.hpp: plot_function, which samples a Python callable and draws it with matplotlib
#pragma once

#include "binding/ref.hpp"

namespace vantorel::py {

// plot_function(func, x0, x1, n=100, grid=True, show=True, figsize=None, **py_kwargs)
extern PyMethodDef plot_function_def;

}  // namespace vantorel::py
