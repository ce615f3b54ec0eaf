"""Every callable of the package, used for the first time while allocations fail.

For each callable and each k = 0, 1, 2, ... a forked child (whose callables are
all still unused) makes the call with the interpreter's allocations failing
from the (k+1)-th on, then makes it again normally. The first call must give a
MemoryError or the right result, the second the right result; a crash, any
other exception or a different value is a failure. The sweep of a callable
ends at the first k whose call completes. With --single, each of those
allocations then fails alone as well.

The callables are found by walking each package's __all__ and class
dictionaries: functions, constructors, methods, static methods, attribute
getters and the slots (text forms, int(), comparisons, arithmetic). Arguments
come from tables keyed by parameter name, so a new method is covered once its
parameter names are known, and the run fails listing any callable it cannot
call. Another package joins by adding an entry to PACKAGES.

Usage: python tests/memory_exhaustion.py [--single] [NAME ...]
"""

from __future__ import annotations

import importlib.util
import inspect
import json
import operator
import os
import re
import signal
import sys
import types
from collections.abc import Callable
from typing import Any

import _testcapi

Call = Callable[[], object]


def _plain(result: object) -> str:
    """A comparable text of a result or exception, without object addresses."""
    if isinstance(result, BaseException):
        result = f"{type(result).__module__}.{type(result).__qualname__}: {result}"
    return re.sub(r" at 0x[0-9a-f]+", "", repr(result))


def _fake_pyplot() -> None:
    """plot_function drives matplotlib.pyplot; a stand-in keeps the sweep short."""
    pyplot = types.ModuleType("matplotlib.pyplot")
    for name in ["figure", "plot", "legend", "tight_layout", "grid", "show"]:
        setattr(pyplot, name, lambda *args, **kwargs: None)
    sys.modules["matplotlib"] = types.ModuleType("matplotlib")
    sys.modules["matplotlib.pyplot"] = pyplot


# ---- vantorel --------------------------------------------------------------------


def vantorel_tables() -> tuple[dict[str, Any], dict[str, Any], dict[str, Any]]:
    """(values by parameter name or "callable:name", receivers by class, operands by slot).
    Built with positional calls only, which set up nothing that a first keyword call
    would set up."""
    import vantorel as v

    _fake_pyplot()
    d1, d2 = v.Date(2024, 1, 5), v.Date(2025, 3, 7)
    values = {
        "Calendar.__new__:s": "VT_WEEK", "DayCounter.__new__:s": "Act360", "Tenor.__new__:s": "3M",
        "Date.__new__:py_args": ("2024-01-05",), "year": 2024, "month": 2, "t": "13M",
        "cal": v.Calendar("VT_WEEK"), "date": d1, "date1": d1, "date2": d2, "_date1": d1, "_date2": d2,
        "curve_date": d1, "eval_date": d1, "expiry_date": d2, "start_date": d1, "end_date": d2,
        "node_dates": [d1, d2], "discount_factors": [1.0, 0.97], "dc": v.DayCounter.Act365,
        "flat_rate": 0.05, "nodes_x": [0.0, 1.0, 2.0], "nodes_y": [1.0, 2.0, 4.0],
        "interp_type": v.InterpType.Linear, "extrap_type": v.ExtrapType.Flat, "x": 0.5,
        "spot": 100.0, "strike": 105.0, "rate": 0.05, "div_yield": 0.02, "tau": 1.0,
        "pc_flag": v.PutCallFlag.Call, "vol": 0.2, "chi": 1.0, "df_r": 0.95, "df_q": 0.98,
        "cdf_d1": 0.55, "cdf_d2": 0.47, "pdf_d1": 0.39, "sqrt_tau": 1.0,
        "func": lambda x: x * x, "x0": 0.0, "x1": 1.0, "n": 3, "grid": True, "show": False,
        "figsize": (4.0, 3.0), "py_kwargs": {"label": "square"},
    }  # fmt: skip
    metrics = v.BlackScholes.get_metrics(100.0, 105.0, 0.05, 0.02, 1.0, v.PutCallFlag.Call, 0.2)
    receivers = {
        "Calendar": values["cal"], "Date": d1, "DayCounter": v.DayCounter.Act360, "Tenor": v.Tenor("3M"),
        "BlackScholesMetrics": metrics, "Interpolator": v.Interpolator(
            [0.0, 1.0, 2.0], [1.0, 2.0, 4.0], v.InterpType.Linear, v.ExtrapType.Flat),
        "YieldCurve": v.YieldCurve.create_flat(d1, v.DayCounter.Act365, 0.05),
    }  # fmt: skip
    for name in v.__all__:  # the enumerations: their last member
        cls = getattr(v, name)
        members = [m for m in vars(cls).values() if type(m) is cls] if isinstance(cls, type) else []
        if members and name != "DayCounter":
            receivers[name] = members[-1]
    operands = {"Date.__add__": 40, "Date.__radd__": 40, "Date.__sub__": d2, "Date.__rsub__": 1}
    return values, receivers, operands


# ---- vantorel_np ------------------------------------------------------------------


def vantorel_np_tables() -> tuple[dict[str, Any], dict[str, Any], dict[str, Any]]:
    """Calls by name ("NAME:call") of the array package's native extension: its ufuncs,
    their twins with a status output (all in "with_status:call") and the pickling helpers; objects are
    operands like any other. The thin Python layer above them is not swept: under
    injected failures CPython 3.12 and NumPy crash in their own code there (creating a
    function object, printing an array), whatever the package does."""
    import numpy as np
    import vantorel as v
    from vantorel_np import _ufuncs as u

    book = (np.array([100.0, 90.0, -1.0]), 105.0, 0.05, np.array([0.0, 0.02, 0.01]), 1.0)
    vol = np.array([0.2, 0.3, 0.25])
    dates = np.array(["2024-01-05", "NaT", "2030-02-28"], dtype="datetime64[D]")
    later = dates + np.timedelta64(400, "D")
    curve = v.YieldCurve.create_noded(v.Date(2024, 1, 5), v.DayCounter.Act365,
                                      [v.Date(2024, 1, 5), v.Date(2034, 1, 5)], [1.0, 0.6], v.InterpType.Geometric)
    calendar = v.Calendar("VT_WEEK")
    interpolator = v.Interpolator([0.0, 1.0, 2.0], [1.0, 2.0, 4.0], v.InterpType.Linear, v.ExtrapType.Flat)
    operands: dict[str, tuple[Any, ...]] = {
        **{name: (*book, np.array([1, 0, 1]), vol)
           for name in ["npv", "delta", "gamma", "vega", "theta", "rho_r", "rho_q", "metrics", "metrics_fd"]},
        "implied_vol": (np.array([8.0, 20.0, 1.0]), *book, np.array([1, 0, 1])),
        **{name: (*book, np.array([0, 0, 1]), vol) for name in ["american_npv", "american_metrics"]},
        "american_implied_vol": (np.array([8.0, 20.0, 1.0]), *book, np.array([0, 0, 1])),
        "exercise_boundary": (105.0, 0.05, np.array([0.0, 0.02, 0.08]), 1.0, np.array([0, 0, 1]), vol,
                              np.linspace(0.0, 1.0, 5)),
        "cash_dividend_npv": (*book, np.array([0, 0, 1]), vol, np.array([True, False, True]),
                              np.array([0.25, 0.5]), np.array([1.0, 1.0]), 16, 0.0),
        **{name: (np.array([-0.5, 0.0, 0.7, 2.0]),) for name in ["erf", "erfc", "erf_inv", "erfc_inv"]},
        "add_tenor": (dates, np.array([v.Tenor("1M"), v.Tenor("-2D"), v.Tenor("3Y")])), "weekday": (dates,),
        "is_business_day": (calendar, dates), "is_weekend": (calendar, dates),
        "year_fraction": (v.DayCounter.Act360, dates, later), "tau_from_dates": (dates, later),
        **{name: (curve, later) for name in ["discount_factor", "overnight_rate", "zero_rate"]},
        **{name: (curve, dates, later) for name in ["fwd_df", "fwd_rate"]},
        "interpolate": (interpolator, np.linspace(-1.0, 3.0, 5)),
    }  # fmt: skip
    calls: dict[str, Call] = {f"{name}:call": (lambda f=getattr(u, name), a=ops: f(*a))
                              for name, ops in operands.items()}  # fmt: skip
    calls["with_status:call"] = lambda: [twin(*operands[name]) for name, twin in u.with_status.items()]
    # The pickling helpers: the native state of a YearMonthDay and both kinds of curve,
    # and a BlackScholesMetrics built from seven floats.
    flat = v.YieldCurve.create_flat(v.Date(2024, 1, 5), v.DayCounter.Act360, 0.03)
    state_of = (v.Date(2024, 2, 29).get_ymd(), curve, flat)
    calls["native_state:call"] = lambda: [u.native_state(o) for o in state_of]
    calls["make_metrics:call"] = lambda: u.make_metrics(1.0, -0.0, 0.5, 2.0, -3.0, 4.0, 5e-324)
    # NumPy itself can crash when an allocation fails while one of its ufuncs is
    # dispatched for the first time (seen in ufunc_generic_fastcall): every call is
    # made once here, so that the sweep probes the package's own paths.
    for call in calls.values():
        call()
    return calls, {}, {}


# The packages swept: name -> function building its tables. A sibling package of
# the same wheel that is installed but has no entry here fails the run.
PACKAGES: dict[str, Callable[[], tuple[dict[str, Any], dict[str, Any], dict[str, Any]]]] = {
    "vantorel": vantorel_tables,
    "vantorel_np._ufuncs": vantorel_np_tables,
}
SIBLINGS = ["vantorel_np._ufuncs"]

UNARY_SLOTS = {"__repr__": repr, "__str__": str, "__int__": int}
COMPARISONS = {f"__{name}__": getattr(operator, name) for name in ["eq", "ne", "lt", "le", "gt", "ge"]}


def _calls_from_signature(key: str, target: Any, text: str | None, values: dict[str, Any]) -> Call | None:
    """A call of target by position, then by keyword, from its text signature
    ("(a, b=1, *args, **kwargs)", "$self" skipped); None if a value is not known."""
    if text is None:
        return None
    positional: list[Any] = []
    keywords: dict[str, Any] = {}
    extra: dict[str, Any] = {}
    for part in filter(None, (p.strip() for p in text.strip()[1:-1].split(","))):
        if part.startswith("$") or part in {"/", "*"}:
            continue
        name = part.split("=")[0].lstrip("*")
        value = values.get(f"{key}:{name}", values.get(name, KeyError))
        if value is KeyError:
            return None
        if part.startswith("**"):
            extra.update(value)
        elif part.startswith("*"):
            positional.extend(value)
        else:
            positional.append(value)
            keywords[name] = value
    by_keyword = keywords if len(keywords) == len(positional) else {}
    return lambda: (target(*positional, **extra), target(*positional[len(by_keyword) :], **by_keyword, **extra))


def plan(package: str) -> tuple[dict[str, Call], list[str]]:
    """The call of every callable of the package, and the callables it cannot call."""
    module = importlib.import_module(package)
    values, receivers, operands = PACKAGES[package]()
    calls: dict[str, Call] = {}
    missing: list[str] = []

    def add(key: str, call: Call | None) -> None:
        if call is None:
            missing.append(key)
        else:
            calls[key] = call

    names = getattr(module, "__all__", None) or sorted(n for n in vars(module) if not n.startswith("_"))
    for name in names:
        obj = getattr(module, name)
        if isinstance(obj, str):
            continue
        if f"{name}:call" in values:
            add(name, values[f"{name}:call"])
            continue
        if not isinstance(obj, type):
            add(name, _calls_from_signature(name, obj, obj.__text_signature__, values))
            continue
        if obj.__text_signature__ is None:
            add(f"{name}.__new__", lambda cls=obj: cls())  # "No constructor defined"
        else:
            add(f"{name}.__new__", _calls_from_signature(f"{name}.__new__", obj, obj.__text_signature__, values))
        self_ = receivers.get(name)
        for attr, member in vars(obj).items():
            key = f"{name}.{attr}"
            if attr in {"__new__", "__doc__", "__module__"} or member is None or type(member) is obj:
                continue
            if isinstance(member, staticmethod):
                function = getattr(obj, attr)
                add(key, _calls_from_signature(key, function, function.__text_signature__, values))
            elif self_ is None:
                add(key, None)
            elif attr in UNARY_SLOTS:
                add(key, lambda f=UNARY_SLOTS[attr], s=self_: f(s))
            elif attr in COMPARISONS:
                add(key, lambda f=COMPARISONS[attr], s=self_: (f(s, s), f(s, 1), f(s, 2.5)))
            elif key in operands:
                op = getattr(operator, attr.strip("_").removeprefix("r"))
                reflected = attr.startswith("__r")
                add(key, lambda f=op, s=self_, o=operands[key], r=reflected: f(o, s) if r else f(s, o))
            elif inspect.isdatadescriptor(member):
                add(key, lambda s=self_, a=attr: getattr(s, a))
            elif inspect.ismethoddescriptor(member):
                bound = getattr(self_, attr)
                add(key, _calls_from_signature(key, bound, member.__text_signature__, values))
            else:
                add(key, None)
    return calls, missing


def _outcome(call: Call) -> object:
    """The call's result or exception, as is: describing it may allocate."""
    try:
        return call()
    except BaseException as exc:  # FatalError and MemoryError included
        return exc


def _run_child(call: Call, k: int | None, single: bool) -> tuple[str, str] | str:
    """Runs one trial in a forked child, allocations failing from the (k+1)-th on
    (single: only that one; k None: none): (outcome under failure, outcome of the
    call made again normally), or the way the child died."""
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:  # the child never returns from here
        try:
            os.close(read)
            os.dup2(os.open(os.devnull, os.O_WRONLY), 2)  # fatal-error diagnostics of the calls
            if k is not None:
                _testcapi.set_nomemory(k, k + 1 if single else 0)
            first = _outcome(call)
            _testcapi.remove_mem_hooks()
            second = _outcome(call)
            os.write(write, json.dumps([_plain(first), _plain(second)]).encode())
        finally:
            os._exit(0)
    os.close(write)
    chunks = []
    while chunk := os.read(read, 65536):
        chunks.append(chunk)
    os.close(read)
    _, status = os.waitpid(pid, 0)
    if os.WIFSIGNALED(status):
        return f"killed by {signal.Signals(os.WTERMSIG(status)).name}"
    if os.WEXITSTATUS(status) != 0 or not chunks:
        return f"exit status {os.WEXITSTATUS(status)}"
    first, second = json.loads(b"".join(chunks))
    return first, second


MEMORY_ERROR = _plain(MemoryError())
# NumPy's own MemoryError for array data.
ARRAY_MEMORY_ERROR = re.compile(r"'numpy\._core\._exceptions\._ArrayMemoryError: Unable to allocate .*'")
# With one allocation failing, the interpreter's own PyErr_SetString and
# PyErr_Format lose the error when the failing allocation is the exception
# object's: `object() < object()` then gives this SystemError as well.
LOST_ERROR = _plain(SystemError("error return without exception set"))


def sweep(key: str, call: Call, single: bool, limit: int = 10_000) -> tuple[int, list[str]]:
    """Trials of one callable: (number of allocation points, failures). Allocations
    fail from the (k+1)-th on for k = 0, 1, ... until the call completes; with
    single, then each of those allocations alone as well."""
    reference = _run_child(call, None, False)
    if isinstance(reference, str) or reference[0] != reference[1]:
        return 0, [f"{key}: reference run {reference}"]
    expected = reference[0]
    failures = []

    def trial(k: int, one: bool) -> str | None:
        outcome = _run_child(call, k, one)
        where = f"{key}: allocation {k + 1}{' alone' if one else ' on'} failing"
        if isinstance(outcome, str):
            failures.append(f"{where}: {outcome}")
            return None
        first, second = outcome
        allowed = (MEMORY_ERROR, expected, LOST_ERROR) if one else (MEMORY_ERROR, expected)
        if ARRAY_MEMORY_ERROR.fullmatch(first):
            first = MEMORY_ERROR
        if first not in allowed or second != expected:
            failures.append(f"{where}: gave {first}, then {second}, expected {expected}")
        return first

    points = next((k for k in range(limit) if trial(k, False) == expected), None)
    if points is None:
        return limit, failures + [f"{key}: still failing after {limit} allocations"]
    if single:
        for k in range(points):
            trial(k, True)
    return points, failures


def main(argv: list[str]) -> int:
    single = "--single" in argv
    only = [a for a in argv if not a.startswith("--")]
    status = 0
    for package in SIBLINGS:
        if package not in PACKAGES and importlib.util.find_spec(package) is not None:
            print(f"{package}: installed but not swept: give it an entry in PACKAGES")
            status = 1
    for package in PACKAGES:
        try:
            calls, missing = plan(package)
        except ImportError:
            print(f"{package}: not installed, skipped")
            continue
        if missing:
            print(f"{package}: no arguments known for: {', '.join(missing)}")
            status = 1
        points = 0
        failures: list[str] = []
        for key, call in calls.items():
            if only and key not in only:
                continue
            n, errs = sweep(key, call, single)
            points += n
            failures += errs
        for line in failures:
            print(line)
        swept = sum(1 for key in calls if not only or key in only)
        print(f"{package}: {swept} of {swept + len(missing)} callables swept over {points} allocation points, "
              f"{len(failures)} failures")
        status |= bool(failures)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
