"""vantorel beyond one process: objects pickle once vantorel_np is imported, errors cross
process boundaries, and books run on a distributed cluster with the in-process bits."""

from __future__ import annotations

import concurrent.futures
import copyreg
import math
import multiprocessing
import pickle

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from support import observe, raises_fatal

import vantorel as vt

vn = pytest.importorskip("vantorel_np")
from vantorel_np import _ufuncs  # noqa: E402
from vantorel_np.dask import TaskFatalError, fatal_guard  # noqa: E402

CD = vt.Date(2024, 1, 2)
NODES = [CD, CD + 91, CD + 365, CD + 1826]
ENUMS = [vt.DayCounter, vt.BusDayAdj, vt.ExtrapType, vt.InterpType, vt.StubType, vt.TenorUnit,
         vt.PutCallFlag, vt.PayerReceiverFlag, vt.Weekday]  # fmt: skip
MEMBERS = [getattr(c, n) for c in ENUMS for n in dir(c) if isinstance(getattr(c, n), c)]
OBJECTS = {
    "date": CD, "first date": vt.Date(1899, 1, 1), "last date": vt.Date(65535, 12, 31),
    "ymd": vt.Date(2024, 2, 29).get_ymd(), "tenor": vt.Tenor("-07W"), "tenor B": vt.Tenor("3B"),
    "calendar": vt.Calendar("VT_WEEK"), "no calendar": vt.Calendar("VT_NONE"),
    "returned weekday": CD.weekday(), "constructed dc": vt.DayCounter("Act360"),
    "interpolator": vt.Interpolator([0.0, 1.0, 2.5], [1.0, -0.0, 7.0], vt.InterpType.Geometric, vt.ExtrapType.Disabled),
    "cubic": vt.Interpolator([1.0], [math.nan], vt.InterpType.CubicSpline, vt.ExtrapType.Auto),
    "flat": vt.YieldCurve.create_flat(CD, vt.DayCounter.Act360, 0.0314),
    "flat 30/360": vt.YieldCurve.create_flat(CD, vt.DayCounter.Thirty360, -0.5),
    **{
        f"noded {i}": vt.YieldCurve.create_noded(CD, vt.DayCounter.Act365, NODES, [1.0, 0.99, 0.9, 5e-324], i)
        for i in (vt.InterpType.Linear, vt.InterpType.Geometric, vt.InterpType.CubicSpline)
    },
    "metrics": vt.BlackScholes.get_metrics(100.0, 90.0, 0.05, 0.02, 0.5, vt.PutCallFlag.Put, 0.3),
    "special metrics": _ufuncs.make_metrics(-0.0, math.nan, math.inf, -math.inf, 5e-324, 1e308, 0.0),
    **{str(m): m for m in MEMBERS},
}  # fmt: skip


# ---- 1. pickling in one process ------------------------------------------------------


@pytest.mark.parametrize("name", OBJECTS)
def test01_every_object_round_trips_and_answers_alike(name):
    obj = OBJECTS[name]
    for protocol in range(2, pickle.HIGHEST_PROTOCOL + 1):
        copy = pickle.loads(pickle.dumps(obj, protocol))
        assert type(copy) is type(obj) and observe(copy) == observe(obj)
        if any(obj is m for m in MEMBERS):  # the class attribute itself comes back
            assert copy is obj


@settings(max_examples=200, deadline=None)
@given(st.integers(-363, 23242572))
def test02_dates_round_trip_over_the_whole_range(serial):
    date = vt.Date(1899, 12, 30) + serial
    assert pickle.loads(pickle.dumps(date)).to_int() == serial


def test03_ufuncs_pickle_by_their_module_and_name():
    # Without a module, pickle searches every imported module for a ufunc (dask pickles
    # them in every graph); add_tenor is a ufunc there and a function in the package.
    ufuncs = [f for f in vars(_ufuncs).values() if isinstance(f, np.ufunc)]
    assert len(ufuncs) >= 25 and {f.__module__ for f in ufuncs} == {"vantorel_np._ufuncs"}
    assert all(pickle.loads(pickle.dumps(f)) is f for f in ufuncs)


def _set(args, i, value):
    return (*args[:i], value, *args[i + 1 :])


TAMPERED = [
    ("date", lambda a: (2**70, 1, 1), ValueError), ("date", lambda a: (2024, 2, 30), ValueError),
    ("date", lambda a: ("2024", 1, 1), ValueError), ("tenor", lambda a: ("",), ValueError),
    ("tenor", lambda a: ("1Q",), ValueError), ("tenor", lambda a: (7,), TypeError),
    ("constructed dc", lambda a: (a[0], "Act999"), ValueError), ("constructed dc", lambda a: (int, "real"), TypeError),
    ("calendar", lambda a: ("NOPE",), ValueError), ("ymd", lambda a: ("2024-01-01",), TypeError),
    ("flat", lambda a: _set(a, 2, math.nan), ValueError), ("flat", lambda a: _set(a, 2, math.inf), ValueError),
    ("flat", lambda a: _set(a, 2, "0.1"), TypeError), ("flat", lambda a: _set(a, 1, "Act360"), TypeError),
    ("noded InterpType.Linear", lambda a: _set(a, 3, [1.0, math.nan, 0.9, 0.8]), ValueError),
    ("noded InterpType.Linear", lambda a: _set(a, 3, [1.0, -0.5, 0.9, 0.8]), ValueError),
    ("noded InterpType.Linear", lambda a: _set(a, 3, [1.0, 0.9]), ValueError),
    ("noded InterpType.Linear", lambda a: _set(a, 2, a[2][::-1]), ValueError),
    ("interpolator", lambda a: _set(a, 0, [2.0, 1.0, 0.0]), ValueError),
    ("metrics", lambda a: _set(a, 0, "1.0"), TypeError),
]  # fmt: skip


@pytest.mark.parametrize("name, tamper, error", TAMPERED)
def test10_a_tampered_payload_raises_value_or_type_error(name, tamper, error):
    """What unpickling calls, with the arguments changed: never FatalError, never a curve of NaNs."""
    obj = OBJECTS[name]
    rebuild, args = copyreg.dispatch_table[type(obj)](obj)
    with pytest.raises(error):
        rebuild(*tamper(args))


# ---- 2. fresh processes ----------------------------------------------------------------


def test04_a_fresh_process_unpickles_alone_and_vantorel_alone_does_not_pickle(run_python):
    data = pickle.dumps([CD, OBJECTS["noded InterpType.Geometric"], vt.PutCallFlag.Call])
    r = run_python(
        f"""
        import pickle, sys, vantorel
        try:
            pickle.dumps(vantorel.Date(2024, 1, 2))
        except TypeError as exc:
            print(exc)
        date, curve, flag = pickle.loads({data!r})
        print(date, curve.get_df(date), flag, "vantorel_np._pickling" in sys.modules)
        """
    )
    # Unpickling imports the package's checked rebuilders.
    assert r.stdout.splitlines() == ["cannot pickle 'Date' object", "2024-01-02 1.0 PutCallFlag.Call True"], r.stderr


@pytest.fixture(scope="module")
def spawn_pool():
    context = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(1, mp_context=context) as pool:
        yield pool


def test05_a_spawned_worker_answers_alike(spawn_pool):
    names = list(OBJECTS)
    # observe() runs in the worker on the unpickled objects; the parent compares.
    got = list(spawn_pool.map(observe, [OBJECTS[n] for n in names]))
    assert dict(zip(names, got)) == {n: observe(OBJECTS[n]) for n in names}


def test06_a_fatal_error_in_a_pool_worker_reaches_the_parent(spawn_pool):
    future = spawn_pool.submit(vt.DayCounter.Thirty360.get_dcf, CD, CD + 30)
    with raises_fatal("not implemented"):
        future.result()
    with raises_fatal("Cannot add TenorUnit::B without a calendar input"):
        spawn_pool.submit(CD.add_tenor, "1B").result()


# ---- 3. the task guard and a distributed cluster -------------------------------------


def test07_the_guard_turns_fatal_errors_into_task_errors_that_pickle():
    guarded = fatal_guard(vt.DayCounter.Thirty360.get_dcf)
    with pytest.raises(TaskFatalError) as info:
        guarded(CD, CD)
    exc = info.value
    for e in (exc, pickle.loads(pickle.dumps(exc))):
        assert isinstance(e, Exception) and str(e) == "native_runtime.FatalError: not implemented"
        assert (e.message, e.type_name) == ("not implemented", "native_runtime.FatalError")
        assert type(e.__cause__).__name__ == "FatalError" and str(e.__cause__) == "not implemented"
    assert fatal_guard(vt.DayCounter.Act360.get_dcf)(CD, CD + 90) == 0.25
    # Notes (the failing element of an array call) come along; other errors pass as they are.
    with pytest.raises(TaskFatalError) as info:
        fatal_guard(vn.year_fraction)(np.array(["2024-01-01"], "M8[D]"), np.datetime64("2024-02-01"), vt.DayCounter.Thirty360)
    assert info.value.__notes__ == ["year_fraction: first failing element at index (0,)"]
    with pytest.raises(ValueError):
        fatal_guard(vt.Tenor)("3X")


def bits(a):
    return np.asarray(a, dtype=np.float64).view(np.int64)


def test08_a_book_on_two_worker_processes_gives_the_in_process_bits(client):
    da = pytest.importorskip("dask.array")
    rng = np.random.default_rng(11)
    n = 200_000
    book = {
        "spot": rng.uniform(50.0, 150.0, n), "strike": rng.uniform(50.0, 150.0, n),
        "div": rng.uniform(0.0, 0.04, n), "vol": rng.uniform(-0.05, 0.8, n), "is_call": rng.random(n) < 0.5,
        "expiry": np.datetime64("2024-01-02") + rng.integers(0, 2000, n).astype("m8[D]"),
    }  # fmt: skip
    curve = OBJECTS["noded InterpType.Geometric"]

    def price(b):
        tau = vn.tau_from_dates(np.datetime64("2024-01-02"), b["expiry"])
        rate = vn.fwd_rate(curve, np.datetime64("2024-01-02"), b["expiry"])
        m = vn.metrics(b["spot"], b["strike"], rate, b["div"], tau, b["is_call"], b["vol"])
        return [vn.npv(b["spot"], b["strike"], rate, b["div"], tau, b["is_call"], b["vol"]), *m]

    want = price(book)
    lazy = price({k: da.from_array(v, chunks=50_000) for k, v in book.items()})
    got = [f.result(timeout=60) for f in client.compute(lazy)]
    for g, w in zip(got, want):
        assert np.array_equal(bits(g), bits(w))
    # A curve crosses on its own, too, and answers alike there.
    assert client.submit(observe, curve).result(timeout=30) == observe(curve)


def test09_a_fatal_error_in_a_task_reaches_the_client(client):
    da = pytest.importorskip("dask.array")
    days = da.from_array(np.datetime64("2024-01-02") + np.arange(8), chunks=4)
    for future in [
        client.compute(vn.year_fraction(days, days, vt.DayCounter.Thirty360)),
        client.submit(fatal_guard(vt.DayCounter.Thirty360.get_dcf), CD, CD),
    ]:
        # A timeout here is the hang that a BaseException leaving a task causes.
        with pytest.raises(TaskFatalError) as info:
            future.result(timeout=20)
        assert str(info.value) == "native_runtime.FatalError: not implemented"
        assert str(info.value.__cause__) == "not implemented"
