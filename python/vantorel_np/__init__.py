"""NumPy ufuncs over vantorel's native kernels: every element is the scalar call's bits.

Each public function is made from one row of ``_table``: keyword arguments by
the names there, everything else (``out=``, ``where=``, ``casting=``, ...)
goes to the ufunc. Objects (a curve, a calendar, an interpolator, a day
counter, a tenor) are operands like any other: the extension checks each
against the vantorel class it imported and reads it while NumPy holds it, and
a deferred path (dask) carries the object itself. Importing the package
registers picklers for vantorel's classes (copyreg), so its objects travel to
process pools and Dask workers.

A function whose elements can fail (a date out of range, ``Thirty360``, an
unsupported interpolation, a bad put-call code) takes ``errors``:

* ``"raise"`` (default): the first failing element, in C order of the
  broadcast operands, raises the scalar API's exception (``FatalError`` for a
  core failure) with a note naming its index. Nothing is returned; an ``out=``
  array may already hold some elements.
* ``"coerce"``: failing elements are missing (NaN, NaT or False) and the rest
  computed. A bad operand (an object of another class, a put-call code other
  than 0 and 1) still raises.
"""

from __future__ import annotations

try:
    import numpy as np
except ImportError as exc:  # pragma: no cover - exercised in a subprocess
    raise ImportError(
        "vantorel_np needs numpy >= 2.0: install the extra with pip install 'vantorel[array]'"
    ) from exc

import functools
import inspect
import sys
from collections.abc import Callable, Iterable
from typing import Any

import vantorel as _vt
from native_runtime import FatalError

from . import _pickling, _table
from ._table import Metrics
from . import _ufuncs as _u  # type: ignore[attr-defined]  # compiled, without a stub of its own
from .dask import TaskFatalError, fatal_guard

_pickling.register()


# ---- dates <-> datetime64[D] --------------------------------------------------------

_SERIAL_ZERO = _pickling.SERIAL_ZERO
_ZERO_DAY = np.datetime64(str(_SERIAL_ZERO), "D")


def _days(d: _vt.Date | None) -> np.datetime64:
    if d is None:
        return np.datetime64("NaT", "D")
    if not isinstance(d, _vt.Date):
        raise TypeError(f"expected a vantorel.Date or None, got {type(d).__name__}")
    return _ZERO_DAY + np.timedelta64(d - _SERIAL_ZERO, "D")


def to_datetime64(dates: _vt.Date | None | Iterable[_vt.Date | None]) -> Any:
    """A Date (None: NaT) as a datetime64[D] scalar, a sequence of them as an array."""
    if dates is None or isinstance(dates, _vt.Date):
        return _days(dates)
    return np.array([_days(d) for d in dates], dtype="M8[D]")


def from_datetime64(values: Any) -> Any:
    """datetime64 values (any unit, cast to days) as Dates: one Date (None for NaT), or
    nested lists shaped like the array."""
    days = np.asarray(values)
    if days.dtype.kind != "M":
        raise TypeError(f"expected datetime64 values, got dtype {days.dtype}")
    serials = (days.astype("M8[D]") - _ZERO_DAY).astype(np.int64)
    dates = np.empty(days.shape, dtype=object)
    for index, serial in np.ndenumerate(serials):
        dates[index] = None if np.isnat(days[index]) else _SERIAL_ZERO + int(serial)
    return dates.item() if dates.ndim == 0 else dates.tolist()


# ---- the wrappers: one factory over the table ---------------------------------------

_ERRORS = ("raise", "coerce")
# The keywords a search for the failing element passes on: they decide casts.
_CAST_KEYWORDS = ("casting", "dtype", "signature")


def _is_dask(a: Any) -> bool:
    return hasattr(a, "__dask_graph__")


def _outs(out: Any) -> tuple[Any, ...]:
    return () if out is None else out if isinstance(out, tuple) else (out,)


def _unaliased(ops: list[Any], out: Any) -> list[Any]:
    """The operands, each array that shares memory with out= copied: the search for a
    failing element must see the inputs as they were."""
    outs = [o for o in _outs(out) if isinstance(o, np.ndarray)]
    if not outs:
        return ops
    return [
        o.copy() if isinstance(o, np.ndarray) and any(np.may_share_memory(o, x) for x in outs) else o for o in ops
    ]


def _first(twin: Any, ops: list[Any], kwargs: dict[str, Any], worst: bool) -> tuple[int, ...] | None:
    """Index (C order of the broadcast operands) of the first element the ufunc with a
    status output marks as failed (worst: as a bad operand), or None."""
    ops = [np.asarray(o) for o in ops]
    try:
        shape = np.broadcast_shapes(*(o.shape for o in ops))
        status = np.zeros(shape, np.uint8)
        nout = twin.nout - 1
        twin(*ops, out=(None,) * nout + (status,), **{k: v for k, v in kwargs.items() if k != "out"})
    except BaseException:  # the operands changed, or NumPy refuses them: no element to name
        return None
    flat = status.ravel()
    hits = flat == 2 if worst else flat != 0
    if not hits.any():
        return None
    return tuple(int(i) for i in np.unravel_index(int(np.argmax(hits)), shape))


def _raise_at(ufunc: Any, ops: list[Any], kwargs: dict[str, Any], index: tuple[int, ...]) -> None:
    """Raises the exception of the element at index, computed alone, with a note
    naming the index. Returns if that element does not fail."""
    ops = [np.asarray(o) for o in ops]
    shape = np.broadcast_shapes(*(o.shape for o in ops))
    elements = [np.broadcast_to(o, shape)[index] for o in ops]
    try:
        ufunc(*elements, **{k: v for k, v in kwargs.items() if k in _CAST_KEYWORDS})
    except (FatalError, TypeError, ValueError) as exc:
        exc.add_note(f"{ufunc.__name__}: first failing element at index {index}")
        raise


def _run(ufunc: Any, twin: Any, ops: list[Any], kwargs: dict[str, Any], errors: str) -> Any:
    """The ufunc over the operands (in the ufunc's order) under errors=."""
    if twin is None or errors == "raise":
        ops = _unaliased(ops, kwargs.get("out"))
        try:
            return ufunc(*ops, **kwargs)
        except (FatalError, TypeError, ValueError):
            index = None if twin is None else _first(twin, ops, kwargs, worst=False)
            if index is not None:
                _raise_at(ufunc, ops, kwargs, index)
            raise
    out = _outs(kwargs.pop("out", None))
    nout = twin.nout - 1
    *results, status = twin(*ops, out=(*(out or (None,) * nout), None), **kwargs)
    if np.any(np.asarray(status) == 2):
        index = _first(twin, ops, kwargs, worst=True)
        if index is not None:
            _raise_at(ufunc, ops, kwargs, index)
    return results[0] if nout == 1 else tuple(results)


def _missing_value(dtype: np.dtype[Any]) -> Any:
    return np.array("NaT" if dtype.kind == "M" else np.nan if dtype.kind == "f" else 0, dtype=dtype)[()]


def _from_pandas(values: list[Any], kwargs: dict[str, Any], nout: int) -> tuple[list[Any], Callable[[Any], Any] | None]:
    """Pandas columns with a nullable or pyarrow dtype as NumPy arrays, the elements
    with an NA operand masked out of the call (kwargs' where=), and what turns a result
    back into Series on the first column's index with those elements missing (NaN, NaT
    or False). (None: nothing to convert.)"""
    pd = sys.modules.get("pandas")
    if pd is None or not any(isinstance(v, pd.Series) and not isinstance(v.dtype, np.dtype) for v in values):
        return values, None
    first = next(v for v in values if isinstance(v, pd.Series))
    na = np.zeros(len(first), bool)
    arrays = []
    for v in values:
        if isinstance(v, pd.Series):
            dtype = v.dtype if isinstance(v.dtype, np.dtype) else getattr(v.dtype, "numpy_dtype", None)
            if dtype is None:
                raise TypeError(f"a column of dtype {v.dtype} has no NumPy form for vantorel_np")
            na |= np.asarray(v.isna(), bool)
            # Dates convert by astype (pyarrow's date32 refuses to_numpy with NaT).
            v = np.asarray(v.astype(dtype)) if dtype.kind == "M" else v.to_numpy(dtype, na_value=_missing_value(dtype))
        arrays.append(v)
    if na.any():
        kwargs["where"] = np.logical_and(kwargs.get("where", True), ~na)
        kwargs.setdefault("out", (None,) * nout)  # the masked-out elements are set below

    def restore(result: Any) -> Any:
        if isinstance(result, tuple):
            return type(result)(*map(restore, result))
        result = np.array(result)
        result[np.broadcast_to(na, result.shape)] = _missing_value(result.dtype)
        return pd.Series(result, index=first.index, name=first.name)

    return arrays, restore


# Operand types that are neither dask nor pandas: the common call skips both checks.
_PLAIN = frozenset(
    {float, int, bool, str, list, tuple, np.ndarray, np.float64, np.int64, np.bool_, np.datetime64}
    | {_vt.YieldCurve, _vt.Calendar, _vt.Interpolator, _vt.DayCounter, _vt.Tenor}
)


def _make(row: _table.Row) -> Callable[..., Any]:
    ufunc = getattr(_u, row.name)
    twin = _u.with_status.get(row.name)
    names = row.args.split()
    order = [names.index(n) for n in (row.operands or row.args).split()]
    convert = [row.convert.get(n) for n in names]
    converting = any(convert)
    in_order = order == sorted(order)
    nout = ufunc.nout
    shape_result: Callable[[Any], Any] = (lambda r: r) if row.result is None else (lambda r: row.result(*r))

    def public(*args: Any, **kwargs: Any) -> Any:
        if not kwargs and len(args) == len(names) and not converting and _PLAIN.issuperset(map(type, args)):
            # The common call: positional NumPy operands. A failure is searched below.
            try:
                result = ufunc(*args) if in_order else ufunc(*[args[i] for i in order])
                return shape_result(result)
            except (FatalError, TypeError, ValueError):
                pass
        if len(args) > len(names):
            raise TypeError(f"{row.name}() takes {len(names)} positional arguments but {len(args)} were given")
        values = list(args)
        for name in names[len(args) :]:
            if name not in kwargs:
                raise TypeError(f"{row.name}() missing required argument: '{name}'")
            values.append(kwargs.pop(name))
        for name in names[: len(args)]:
            if name in kwargs:
                raise TypeError(f"{row.name}() got multiple values for argument '{name}'")
        errors = kwargs.pop("errors", "raise")
        if errors not in _ERRORS:
            raise ValueError(f"errors must be 'raise' or 'coerce', got {errors!r}")
        if converting:
            values = [v if c is None else c(v) for v, c in zip(values, convert)]
        restore = None
        if not _PLAIN.issuperset(map(type, values)):  # dask or pandas may be among them
            if any(map(_is_dask, values)) and not {"out", "where"} & kwargs.keys():
                return _dask(public, values, kwargs, errors)
            values, restore = _from_pandas(values, kwargs, nout)
        result = shape_result(_run(ufunc, twin, [values[i] for i in order], kwargs, errors))
        return result if restore is None else restore(result)

    parameters = [inspect.Parameter(n, inspect.Parameter.POSITIONAL_OR_KEYWORD) for n in names]
    parameters.append(inspect.Parameter("errors", inspect.Parameter.KEYWORD_ONLY, default="raise"))
    parameters.append(inspect.Parameter("kwargs", inspect.Parameter.VAR_KEYWORD))
    public.__signature__ = inspect.Signature(parameters)  # type: ignore[attr-defined]
    public.__name__ = public.__qualname__ = row.name
    public.__module__ = __name__
    doc = row.doc + "\n\nOther keyword arguments (``out``, ``where``, ``casting``, ...) go to the ufunc."
    doc += ' ``errors="raise"`` or ``"coerce"``: see the package documentation.'
    public.__doc__ = doc
    return public


def _dask(public: Callable[..., Any], values: list[Any], kwargs: dict[str, Any], errors: str) -> Any:
    """public over dask operands, block by block: the objects themselves in the graph
    (they pickle), the tasks guarded so that a FatalError ends them as TaskFatalError."""
    import dask.array as da
    from dask.array.core import elemwise

    task = fatal_guard(functools.partial(public, errors=errors, **kwargs))
    meta = public(*(getattr(v, "_meta", v) for v in values), errors=errors, **kwargs)
    if isinstance(meta, tuple):
        signature = ",".join(["()"] * len(values)) + "->" + ",".join(["()"] * len(meta))
        return type(meta)(*da.apply_gufunc(task, signature, *values, output_dtypes=[m.dtype for m in meta]))
    return elemwise(task, *values, dtype=meta.dtype)


_FUNCTIONS = {row.name: _make(row) for row in _table.ROWS}
globals().update(_FUNCTIONS)

# The instruction set of the SIMD lane loops, chosen once at import.
simd_target: str = _u.simd_target

__all__ = [*_FUNCTIONS, "Metrics", "to_datetime64", "from_datetime64", "simd_target"]
