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
import sys
from collections.abc import Callable
from dataclasses import dataclass, field
from typing import Any

import numpy as np
import vantorel as _vt
from native_runtime import FatalError

from .dask import fatal_guard


@dataclass(frozen=True)
class Row:
    """One public function. ``operands`` gives the ufunc's operand order where it
    differs from the call order (the object a member-function kernel runs on comes
    first); ``convert`` maps an argument to a function applied to it before the call;
    ``defaults`` gives values to trailing arguments left out; ``give`` maps the
    ufunc's result and the arguments as given to the answer (a scalar for scalars,
    say); ``check`` looks at the result, the arguments as given and the ufunc's
    keywords (``where=``) and may warn (a dask call checks in each task, on its
    block); ``result`` builds what a ufunc with several outputs returns (a named
    tuple). The object classes are listed for the reader and the signature; the
    extension itself checks each object against the class it took at import."""

    name: str
    args: str
    doc: str
    operands: str | None = None
    objects: dict[str, type] = field(default_factory=dict)
    convert: dict[str, Callable[[Any], Any]] = field(default_factory=dict)
    defaults: dict[str, Any] = field(default_factory=dict)
    give: Callable[[Any, list[Any]], Any] | None = None
    check: Callable[[Any, list[Any], dict[str, Any]], None] | None = None
    result: Callable[..., Any] | None = None


_ERRORS = ("raise", "coerce")
_NONE = inspect.Parameter.empty
# The keywords a search for the failing element passes on: they decide casts.
_CAST_KEYWORDS = ("casting", "dtype", "signature")


def _errors(errors: Any) -> str:
    """errors= checked: "raise" or "coerce"."""
    if errors not in _ERRORS:
        raise ValueError(f"errors must be 'raise' or 'coerce', got {errors!r}")
    return str(errors)


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


def _core_ndims(signature: str | None, nin: int) -> tuple[int, ...]:
    """The number of core dimensions of each input under a gufunc signature
    ("(),(n)->()": 0 and 1); zeros for a plain ufunc."""
    if signature is None:
        return (0,) * nin
    inputs = signature.split("->")[0][1:-1].split("),(")
    return tuple(len([d for d in i.split(",") if d.strip()]) for i in inputs)


def _loop_shape(ufunc: Any, ops: list[Any]) -> tuple[tuple[int, ...], tuple[int, ...]]:
    """The broadcast shape of the operands without their core dimensions (one status
    per element of it), and the core dimensions of each operand."""
    core = _core_ndims(ufunc.signature, ufunc.nin)
    return np.broadcast_shapes(*(o.shape[: o.ndim - c] for o, c in zip(ops, core))), core


def _first(twin: Any, ops: list[Any], kwargs: dict[str, Any], worst: bool) -> tuple[int, ...] | None:
    """Index (C order of the broadcast operands, core dimensions left out) of the first
    element the ufunc with a status output marks as failed (worst: as a bad operand),
    or None."""
    ops = [np.asarray(o) for o in ops]
    try:
        shape = _loop_shape(twin, ops)[0]
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
    shape, core = _loop_shape(ufunc, ops)
    elements = [np.broadcast_to(o, shape + o.shape[o.ndim - c :])[index] for o, c in zip(ops, core)]
    try:
        ufunc(*elements, **{k: v for k, v in kwargs.items() if k in _CAST_KEYWORDS})
    except (FatalError, TypeError, ValueError) as exc:
        exc.add_note(f"{ufunc.__name__}: first failing element at index {index}")
        raise


def _run(ufunc: Any, twin: Any, ops: list[Any], kwargs: dict[str, Any], errors: str, status: bool = False) -> Any:
    """The ufunc over the operands (in the ufunc's order) under errors=; with status, the
    pair (result, the twin's status: None under errors="raise")."""
    if twin is None or errors == "raise":
        ops = _unaliased(ops, kwargs.get("out"))
        try:
            result = ufunc(*ops, **kwargs)
            return (result, None) if status else result
        except (FatalError, TypeError, ValueError) as exc:
            index = None if twin is None else _first(twin, ops, kwargs, worst=False)
            if index is None:
                raise
            failure = exc
        _raise_at(ufunc, ops, kwargs, index)  # outside the handler: the element's error alone, unchained
        raise failure
    out = _outs(kwargs.pop("out", None))
    nout = twin.nout - 1
    *results, codes = twin(*ops, out=(*(out or (None,) * nout), None), **kwargs)
    if np.any(np.asarray(codes) == 2):
        index = _first(twin, ops, kwargs, worst=True)
        if index is not None:
            _raise_at(ufunc, ops, kwargs, index)
    result = results[0] if nout == 1 else tuple(results)
    return (result, codes) if status else result


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


def make(row: Row, ufuncs: Any, module: str, plain: frozenset[type] = frozenset()) -> Callable[..., Any]:
    """The public function of a row over the ufunc of its name in ``ufuncs`` (whose
    ``with_status`` holds the twins); ``plain`` adds the package's own object classes
    to the operand types that take the direct path."""
    ufunc = getattr(ufuncs, row.name)
    twin = ufuncs.with_status.get(row.name)
    names = row.args.split()
    order = [names.index(n) for n in (row.operands or row.args).split()]
    convert = [row.convert.get(n) for n in names]
    converting = any(convert)
    in_order = order == sorted(order)
    nout = ufunc.nout
    plain = _PLAIN | plain
    result_of = row.result
    shape_result: Callable[[Any], Any] = (lambda r: r) if result_of is None else (lambda r: result_of(*r))

    def public(*args: Any, **kwargs: Any) -> Any:
        if not kwargs and len(args) == len(names) and not converting and plain.issuperset(map(type, args)):
            # The common call: positional NumPy operands. A failure is searched below.
            try:
                result = shape_result(ufunc(*args) if in_order else ufunc(*[args[i] for i in order]))
                if row.check is not None:
                    row.check(result, list(args), {})
                return result if row.give is None else row.give(result, list(args))
            except (FatalError, TypeError, ValueError):
                pass
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
        errors = _errors(kwargs.pop("errors", "raise"))
        given = values
        if converting:
            values = [v if c is None else c(v) for v, c in zip(values, convert)]
        restore = None
        if not plain.issuperset(map(type, values)):  # dask or pandas may be among them
            if any(map(_is_dask, values)) and not {"out", "where"} & kwargs.keys():
                return dask_map(public, values, kwargs, errors, ufunc.signature)
            values, restore = _from_pandas(values, kwargs, nout)
        result = shape_result(_run(ufunc, twin, [values[i] for i in order], kwargs, errors))
        result = result if restore is None else restore(result)
        if row.check is not None:
            row.check(result, given, kwargs)
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


def dask_map(
    public: Callable[..., Any], values: list[Any], kwargs: dict[str, Any], errors: str, signature: str | None,
    output_sizes: dict[str, int] | None = None, dtypes: Any = None,
) -> Any:
    """public over dask operands, block by block: elementwise for a plain ufunc, by
    ``dask.array.apply_gufunc`` under a gufunc signature (a core dimension is one chunk:
    each block holds whole lists; output_sizes gives an output's new core dimensions).
    dtypes: those of the outputs (a list: public returns a tuple), else taken from a
    call on the operands' empty metas. The objects themselves go in the graph (they
    pickle), the tasks guarded so that a FatalError ends them as TaskFatalError."""
    import dask.array as da
    from dask.array.core import elemwise

    task = fatal_guard(functools.partial(public, errors=errors, **kwargs))
    kind: Any = tuple
    if dtypes is None:
        meta = public(*(getattr(v, "_meta", v) for v in values), errors=errors, **kwargs)
        kind = type(meta) if isinstance(meta, tuple) else None
        dtypes = [m.dtype for m in meta] if kind else meta.dtype
    if signature is None and kind is None:
        return elemwise(task, *values, dtype=dtypes)
    if signature is None:  # several outputs without core dimensions
        signature = ",".join(["()"] * len(values)) + "->" + ",".join(["()"] * len(dtypes))
    result = da.apply_gufunc(
        task, signature, *values, output_dtypes=dtypes, output_sizes=output_sizes, allow_rechunk=True
    )
    return kind(*result) if kind not in (None, tuple) else result
