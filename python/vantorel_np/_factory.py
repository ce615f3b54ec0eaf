"""The factory of the array packages' public functions: one wrapper per table row.

A row (``Row``) names a ufunc of an extension, its arguments in call order and
its docstring; ``make`` turns it into the public function: keyword arguments by
the row's names (left-out trailing ones from ``defaults``), ``errors="raise"``
or ``"coerce"`` through the ufunc's twin with a status output, dask dispatch
for dask operands, and the docstring. vantorel_np and vantorel_rates both make
their functions here.
"""

from __future__ import annotations

import functools
import inspect
from collections.abc import Callable
from dataclasses import dataclass, field
from typing import Any

import numpy as np
from native_runtime import FatalError

from .dask import fatal_guard


@dataclass(frozen=True)
class Row:
    """One public function. ``operands`` gives the ufunc's operand order where it
    differs from the call order (the object a member-function kernel runs on comes
    first); ``convert`` maps an argument to a function applied to it before the call;
    ``defaults`` gives values to trailing arguments left out; ``give`` maps the
    ufunc's result and the arguments as given to the answer (a scalar for scalars,
    say). The object classes are listed for the reader and the signature; the
    extension itself checks each object against the class it took at import."""

    name: str
    args: str
    doc: str
    operands: str | None = None
    objects: dict[str, type] = field(default_factory=dict)
    convert: dict[str, Callable[[Any], Any]] = field(default_factory=dict)
    defaults: dict[str, Any] = field(default_factory=dict)
    give: Callable[[Any, list[Any]], Any] | None = None


_ERRORS = ("raise", "coerce")
_NONE = inspect.Parameter.empty
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


def _run(row: Row, ufunc: Any, twin: Any, ops: list[Any], kwargs: dict[str, Any], errors: str) -> Any:
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


def make(row: Row, ufuncs: Any, module: str, results: Callable[[Any], Any] | None = None) -> Callable[..., Any]:
    """The public function of a row over the ufunc of its name in ``ufuncs`` (whose
    ``with_status`` holds the twins); ``results`` shapes a several-output result."""
    ufunc = getattr(ufuncs, row.name)
    twin = ufuncs.with_status.get(row.name)
    names = row.args.split()
    order = [names.index(n) for n in (row.operands or row.args).split()]
    convert = [row.convert.get(n) for n in names]
    shape_result: Callable[[Any], Any] = results if results is not None and ufunc.nout > 1 else (lambda r: r)

    def public(*args: Any, **kwargs: Any) -> Any:
        if len(args) > len(names):
            raise TypeError(f"{row.name}() takes {len(names)} positional arguments but {len(args)} were given")
        values = list(args)
        for name in names[len(args) :]:
            if name in kwargs:
                values.append(kwargs.pop(name))
            elif name in row.defaults:
                values.append(row.defaults[name])
            else:
                raise TypeError(f"{row.name}() missing required argument: '{name}'")
        for name in names[: len(args)]:
            if name in kwargs:
                raise TypeError(f"{row.name}() got multiple values for argument '{name}'")
        errors = kwargs.pop("errors", "raise")
        if errors not in _ERRORS:
            raise ValueError(f"errors must be 'raise' or 'coerce', got {errors!r}")
        given = values
        values = [v if c is None else c(v) for v, c in zip(values, convert)]
        if any(map(_is_dask, values)) and not {"out", "where"} & kwargs.keys():
            return _dask(public, values, kwargs, errors)
        result = shape_result(_run(row, ufunc, twin, [values[i] for i in order], kwargs, errors))
        return result if row.give is None else row.give(result, given)

    parameters = [
        inspect.Parameter(n, inspect.Parameter.POSITIONAL_OR_KEYWORD, default=row.defaults.get(n, _NONE)) for n in names
    ]
    parameters.append(inspect.Parameter("errors", inspect.Parameter.KEYWORD_ONLY, default="raise"))
    parameters.append(inspect.Parameter("kwargs", inspect.Parameter.VAR_KEYWORD))
    public.__signature__ = inspect.Signature(parameters)  # type: ignore[attr-defined]
    public.__name__ = public.__qualname__ = row.name
    public.__module__ = module
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


