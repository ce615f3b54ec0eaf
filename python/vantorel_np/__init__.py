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

from collections.abc import Iterable
from typing import Any, NamedTuple

import vantorel as _vt

from . import _pickling, _table
from ._factory import make
from . import _ufuncs as _u  # type: ignore[attr-defined]  # compiled, without a stub of its own

_pickling.register()


class Metrics(NamedTuple):
    """The seven results of ``get_metrics`` in field order, one array each."""

    npv: Any
    delta: Any
    gamma: Any
    vega: Any
    theta: Any
    rho_r: Any
    rho_q: Any


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

_FUNCTIONS = {row.name: make(row, _u, __name__, lambda r: Metrics(*r)) for row in _table.ROWS}
globals().update(_FUNCTIONS)

# The instruction set of the SIMD lane loops, chosen once at import.
simd_target: str = _u.simd_target

__all__ = [*_FUNCTIONS, "Metrics", "to_datetime64", "from_datetime64", "simd_target"]
