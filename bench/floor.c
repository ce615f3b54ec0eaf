/* bench/floor.c: the interpreter's own floor for a call of seven floats, built by the benchmark setup.
 *
 * noop7 is a METH_FASTCALL function that takes seven arguments and does
 * nothing; bs_npv converts seven floats and prices a European call with the
 * textbook closed form on the C library's erf, for scale against
 * BlackScholes.npv; libm_calls(exps, logs[, bases, powers]) calls the C
 * library's exp on each element of one float64 array, log on each of
 * another and pow on pairs, the floor of an array kernel that must make
 * those calls. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <math.h>

static PyObject* noop7(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    (void)self;
    (void)args;
    if (nargs != 7) {
        PyErr_SetString(PyExc_TypeError, "noop7 takes 7 arguments");
        return NULL;
    }
    Py_RETURN_NONE;
}

static PyObject* bs_npv(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    (void)self;
    double v[7];
    if (nargs != 7) {
        PyErr_SetString(PyExc_TypeError, "bs_npv takes 7 arguments");
        return NULL;
    }
    for (int i = 0; i < 7; ++i) {
        v[i] = PyFloat_AsDouble(args[i]);
        if (v[i] == -1.0 && PyErr_Occurred()) return NULL;
    }
    const double spot = v[0], strike = v[1], rate = v[2], div = v[3], tau = v[4], chi = v[5], vol = v[6];
    const double s = sqrt(tau) * vol;
    const double d1 = ((0.5 * vol * vol + (rate - div)) * tau + (log(spot) - log(strike))) / s;
    const double d2 = d1 - s;
    const double n1 = (erf(chi * d1 * 0.7071067811865476) + 1.0) * 0.5;
    const double n2 = (erf(chi * d2 * 0.7071067811865476) + 1.0) * 0.5;
    return PyFloat_FromDouble(chi * (spot * exp(-div * tau) * n1 - strike * exp(-rate * tau) * n2));
}

/* Sum of exp over exps, of log over logs and, given two more arrays, of pow
 * over their pairs (contiguous float64 buffers): the sum keeps the calls from
 * being dropped. */
static PyObject* libm_calls(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    (void)self;
    Py_buffer b[4];
    if (nargs != 2 && nargs != 4) {
        PyErr_SetString(PyExc_TypeError, "libm_calls takes 2 or 4 arguments");
        return NULL;
    }
    for (Py_ssize_t k = 0; k < nargs; ++k) {
        if (PyObject_GetBuffer(args[k], &b[k], PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0) {
            for (Py_ssize_t j = 0; j < k; ++j) PyBuffer_Release(&b[j]);
            return NULL;
        }
    }
    double sum = 0.0;
    const double* e = b[0].buf;
    const double* l = b[1].buf;
    const double* x = nargs == 4 ? b[2].buf : NULL;
    const double* y = nargs == 4 ? b[3].buf : NULL;
    const Py_ssize_t pairs = nargs == 4 ? (b[2].len < b[3].len ? b[2].len : b[3].len) / 8 : 0;
    Py_BEGIN_ALLOW_THREADS
    for (Py_ssize_t i = 0; i < b[0].len / 8; ++i) sum += exp(e[i]);
    for (Py_ssize_t i = 0; i < b[1].len / 8; ++i) sum += log(l[i]);
    for (Py_ssize_t i = 0; i < pairs; ++i) sum += pow(x[i], y[i]);
    Py_END_ALLOW_THREADS
    for (Py_ssize_t k = 0; k < nargs; ++k) PyBuffer_Release(&b[k]);
    return PyFloat_FromDouble(sum);
}

static PyMethodDef methods[] = {
    {"noop7", (PyCFunction)(void (*)(void))noop7, METH_FASTCALL, NULL},
    {"bs_npv", (PyCFunction)(void (*)(void))bs_npv, METH_FASTCALL, NULL},
    {"libm_calls", (PyCFunction)(void (*)(void))libm_calls, METH_FASTCALL, NULL},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef module = {PyModuleDef_HEAD_INIT, "_bench_floor", NULL, -1, methods};

PyMODINIT_FUNC PyInit__bench_floor(void) { return PyModule_Create(&module); }
