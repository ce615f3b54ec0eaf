"""vantorel_np: every array element is the scalar API's result, bit for bit, and the
arrays behave as NumPy arrays do (broadcasting, out=, where=, dispatch, bad input)."""

from __future__ import annotations

import math
import pathlib
import pydoc
import re
import warnings

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from support import raises_fatal, same

import vantorel as vt

vn = pytest.importorskip("vantorel_np")

BS = vt.BlackScholes
PRICER = ["npv", "delta", "gamma", "vega", "theta", "rho_r", "rho_q"]
SPECIALS = [0.0, -0.0, math.inf, -math.inf, math.nan, 1e-300, -1.0, 5e-324]
EPOCH = vt.Date(1970, 1, 1)
SETTINGS = settings(max_examples=25, deadline=None)


def bits_equal(got, want) -> None:
    got = np.asarray(got, dtype=float).ravel()
    assert len(got) == len(want)
    bad = [(i, g, w) for i, (g, w) in enumerate(zip(got, want)) if not same(float(g), w)]
    assert not bad, bad[:5]


def nan_if_none(x):
    return math.nan if x is None else x


def day(d: vt.Date) -> np.datetime64:
    return np.datetime64(d - EPOCH, "D")


def date(x) -> vt.Date:
    return EPOCH + int(np.datetime64(x, "D").astype(np.int64))


def dates_equal(got, want) -> None:
    """got: datetime64 array; want: Dates or None (NaT)."""
    got = np.asarray(got).ravel()
    assert [None if np.isnat(g) else date(g).to_int() for g in got] == [
        None if w is None else w.to_int() for w in want
    ]


floats = st.one_of(st.sampled_from(SPECIALS), st.floats(-200, 200), st.floats(allow_nan=True))


@st.composite
def book(draw):
    """Seven operands with shapes that broadcast: (n, 1), (m,) or scalars."""
    n, m = draw(st.integers(1, 4)), draw(st.integers(1, 4))
    shapes = [draw(st.sampled_from([(n, 1), (m,), ()])) for _ in range(7)]
    ops = [np.array(draw(st.lists(floats, min_size=math.prod(s), max_size=math.prod(s)))).reshape(s) for s in shapes]
    flags = draw(st.lists(st.integers(0, 1), min_size=math.prod(shapes[5]), max_size=math.prod(shapes[5])))
    ops[5] = np.array(flags, dtype=np.int64).reshape(shapes[5])
    if draw(st.booleans()):
        ops[5] = ops[5] != 0
    return ops


def flat_elements(*ops):
    return zip(*(np.broadcast_arrays(*ops)[i].ravel() for i in range(len(ops))))


def flag(code) -> vt.PutCallFlag:
    return vt.PutCallFlag.Call if code else vt.PutCallFlag.Put


# ---- 1. pricer and error functions against the scalar API -------------------------


@SETTINGS
@given(book())
def test01_pricer_elements_are_the_scalar_bits(ops):
    rows = [(*(float(v) for v in e[:5]), flag(e[5]), float(e[6])) for e in flat_elements(*ops)]
    for name in PRICER:
        bits_equal(getattr(vn, name)(*ops), [nan_if_none(getattr(BS, name)(*r)) for r in rows])
    for name, scalar in [("metrics", BS.get_metrics), ("metrics_fd", BS.get_metrics_fd)]:
        got = getattr(vn, name)(*ops)
        assert got._fields == ("npv", "delta", "gamma", "vega", "theta", "rho_r", "rho_q")
        results = [scalar(*r) for r in rows]
        for field, column in zip(got._fields, got):
            bits_equal(column, [math.nan if m is None else getattr(m, field) for m in results])


@SETTINGS
@given(st.lists(floats, max_size=20))
@pytest.mark.parametrize("name", ["erf", "erfc", "erf_inv", "erfc_inv"])
def test02_error_functions_are_the_scalar_bits(name, xs):
    bits_equal(getattr(vn, name)(np.array(xs, dtype=float)), [getattr(vt, name)(x) for x in xs])


# ---- 2. dates, calendars, day counters ------------------------------------------------

serials = st.one_of(st.integers(-363, 800), st.integers(36000, 60000), st.integers(23242000, 23242572))
maybe_dates = st.lists(st.one_of(serials, st.none()), min_size=1, max_size=12)


def as_days(items):
    return np.array([np.datetime64("NaT", "D") if s is None else day(vt.Date(1899, 12, 30) + s) for s in items], "M8[D]")


def as_dates(items):
    return [None if s is None else vt.Date(1899, 12, 30) + s for s in items]


def scalar_or_fatal(fn, *args):
    try:
        return fn(*args)
    except BaseException:  # FatalError: compared through the array call's own error
        return "fatal"


@SETTINGS
@given(maybe_dates, st.integers(-40, 40), st.sampled_from("DWMY"))
def test03_add_tenor_is_the_scalar_rule(items, count, letter):
    text = f"{count}{letter}"
    want = [None if d is None else scalar_or_fatal(d.add_tenor, text) for d in as_dates(items)]
    if "fatal" in want:
        first = want.index("fatal")
        with pytest.raises(BaseException) as info:
            vn.add_tenor(as_days(items), text)
        assert info.value.__notes__ == [f"add_tenor: first failing element at index ({first},)"]
        return
    dates_equal(vn.add_tenor(as_days(items), text), want)
    dates_equal(vn.add_tenor(as_days(items), vt.Tenor(text)), want)
    tenors = np.array([vt.Tenor(text)] * len(items), dtype=object)
    dates_equal(vn.add_tenor(dates=as_days(items), tenor=tenors), want)


@SETTINGS
@given(maybe_dates, maybe_dates)
def test04_day_functions_are_the_scalar_bits(a, b):
    da_, db_ = as_days(a), as_days(b)[:1]  # (n,) against (1,)
    ea, eb = as_dates(a), as_dates(b)[:1] * len(a)
    bits_equal(vn.weekday(da_), [math.nan if d is None else int(d.weekday()) for d in ea])
    for cal in ("VT_WEEK", "VT_NONE"):
        c = vt.Calendar(cal)
        assert vn.is_business_day(da_, c).tolist() == [d is not None and d.is_business_day(c) for d in ea]
        assert vn.is_weekend(da_, c).tolist() == [d is not None and d.is_weekend(c) for d in ea]
    pairs = list(zip(ea, eb))
    for dc in (vt.DayCounter.Act365, vt.DayCounter.Act360):
        want = [math.nan if None in p else dc.get_dcf(*p) for p in pairs]
        bits_equal(vn.year_fraction(da_, db_, dc), want)
    tau = vn.tau_from_dates(da_, db_)
    bits_equal(tau, [math.nan if None in p else (p[1] - p[0]) / 365.0 for p in pairs])
    ok = [p for p in pairs if None not in p]
    evals, expiries = vn.to_datetime64([e for e, _ in ok]), vn.to_datetime64([x for _, x in ok])
    args = (100.0, 95.0, 0.03, 0.01)
    bits_equal(
        vn.npv(*args, vn.tau_from_dates(evals, expiries), 1, 0.25),
        [BS.npv_with_dates(*args, e, x, vt.PutCallFlag.Call, 0.25) for e, x in ok],
    )
    assert [d.to_int() for d in vn.from_datetime64(evals)] == [e.to_int() for e, _ in ok]


# ---- 3. curves and interpolation ------------------------------------------------------

CURVE_DATE = vt.Date(2024, 1, 2)
CURVES = {
    "flat": vt.YieldCurve.create_flat(CURVE_DATE, vt.DayCounter.Act365, 0.031),
    "noded": vt.YieldCurve.create_noded(
        CURVE_DATE, vt.DayCounter.Act360, [CURVE_DATE + 30 * k for k in range(8)],
        [math.exp(-0.0003 * k * k - 0.002 * k) for k in range(8)], vt.InterpType.Geometric,
    ),
}  # fmt: skip


def ieee_div(a: float, b: float) -> float:
    """a / b with IEEE results for a zero divisor (Python raises instead)."""
    if b:
        return a / b
    return math.nan if a == 0 or math.isnan(a) else math.copysign(math.inf, a) * math.copysign(1.0, b)


@SETTINGS
@given(st.lists(st.one_of(st.integers(44000, 45800), st.none()), min_size=1, max_size=12))
@pytest.mark.parametrize("kind", CURVES)
def test06_curve_functions_are_the_scalar_bits(kind, items):
    c = CURVES[kind]
    start, dates = as_days(items), as_dates(items)
    end = start + np.timedelta64(45, "D")

    def each(fn, *cols):
        return [math.nan if None in args else fn(*args) for args in zip(*cols)]

    later = [None if d is None else d + 45 for d in dates]
    bits_equal(vn.discount_factor(c, start), each(c.get_df, dates))
    bits_equal(vn.overnight_rate(c, start), each(c.get_overnight_rate, dates))
    bits_equal(vn.fwd_df(c, start, end), each(c.get_fwd_df, dates, later))
    bits_equal(vn.fwd_rate(c, start, end), each(c.get_fwd_rate, dates, later))
    zero = each(lambda d: ieee_div(-math.log(c.get_df(d)), c.get_dc().get_dcf(CURVE_DATE, d)), dates)
    bits_equal(vn.zero_rate(c, start), zero)


@SETTINGS
@given(st.lists(st.floats(-5, 15) | st.sampled_from([0.0, -0.0, 1.0, 10.0, math.inf, -math.inf]), max_size=20))
@pytest.mark.parametrize("interp", [vt.InterpType.Linear, vt.InterpType.Geometric])
@pytest.mark.parametrize("extrap", [vt.ExtrapType.Auto, vt.ExtrapType.Flat, vt.ExtrapType.Disabled])
def test07_interpolate_is_the_scalar_bits(interp, extrap, xs):
    f = vt.Interpolator([1.0, 2.5, 4.0, 10.0], [0.9, 0.8, 0.75, 0.5], interp, extrap)
    bits_equal(vn.interpolate(f, np.array(xs, dtype=float)), [f.interpolate(x) for x in xs])


# ---- 4. array mechanics ---------------------------------------------------------------

D = as_days([45000, 45031, None, 45100])
CASES = {
    "npv": (lambda *a, **k: vn.npv(*a, 95.0, 0.03, 0.0, 0.5, 1, 0.2, **k), np.array([90.0, 100.0, -1.0, 110.0])),
    "add_tenor": (lambda a, **k: vn.add_tenor(a, "1M", **k), D),
    "discount_factor": (lambda a, **k: vn.discount_factor(CURVES["flat"], a, **k), D),
}


@pytest.mark.parametrize("name", CASES)
@pytest.mark.parametrize("layout", ["strided", "0-d", "empty", "read-only", "big-endian", "out", "where"])
def test08_layouts_give_the_contiguous_result(name, layout):
    fn, base = CASES[name]
    want = fn(base)
    if layout == "strided":
        got, ref = fn(np.repeat(base, 2)[::2]), want
    elif layout == "0-d":
        got, ref = fn(base[1:2].reshape(())), want[1]
        assert np.ndim(got) == 0
    elif layout == "empty":
        got, ref = fn(base[:0].reshape(0, 3)), want[:0].reshape(0, 3)
    elif layout == "read-only":
        ro = base.copy()
        ro.flags.writeable = False
        got, ref = fn(ro), want
    elif layout == "big-endian":
        got, ref = fn(base.astype(base.dtype.newbyteorder(">"))), want
    elif layout == "out":
        out = np.empty_like(want)
        got, ref = fn(base, out=out), want
        assert got is out
    else:
        mask = np.array([True, False, True, False])
        out = np.zeros_like(want)
        got = fn(base, out=out, where=mask)
        ref = np.where(mask, want, np.zeros_like(want))
    assert got.shape == np.shape(ref) and got.dtype == want.dtype
    np.testing.assert_array_equal(got, ref)


def test09_the_first_failing_element_is_named_and_out_documented():
    start = as_days([-363 + 5, -363 + 2, -363 + 1, None, -363])  # serial -363 is 1899-01-01
    out = np.zeros(5, "M8[D]")
    with raises_fatal("Year (1898) must be >= 1899"):
        vn.add_tenor(start, "-3D", out=out)
    # out= holds at most the elements computed before the failure.
    assert out[1:].astype(np.int64).tolist() == [0, 0, 0, 0]
    with pytest.raises(BaseException) as info:
        vn.add_tenor(start.reshape(1, 5), "-2D")
    assert info.value.__notes__ == ["add_tenor: first failing element at index (0, 2)"]
    # Masked-out elements do not fail.
    got = vn.add_tenor(start, "-2D", out=out, where=np.array([True, True, False, True, False]))
    dates_equal(got[:2], [vt.Date(1899, 1, 4), vt.Date(1899, 1, 1)])
    # A NaT operand makes its element missing, even beside a date out of range.
    far = np.array(["NaT", "1000-01-01"], "M8[D]")
    assert np.isnan(vn.tau_from_dates(far, far[::-1])).all()


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda: vn.npv(np.array(["a"]), 1.0, 0.0, 0.0, 1.0, 1, 0.2), TypeError),
        (lambda: vn.npv(np.array([object()]), 1.0, 0.0, 0.0, 1.0, 1, 0.2), TypeError),
        (lambda: vn.npv(1.0, 1.0, 0.0, 0.0, 1.0, np.array([1.5]), 0.2), TypeError),
        (lambda: vn.npv(np.ones(2), np.ones(3), 0.0, 0.0, 1.0, 1, 0.2), ValueError),
        (lambda: vn.weekday(np.array([45000])), TypeError),
        (lambda: vn.weekday(np.array(["2024-01-01"])), TypeError),
        (lambda: vn.discount_factor(vt.Calendar("VT_WEEK"), D), TypeError),
        (lambda: vn.year_fraction(D, D, "Act365"), TypeError),
        (lambda: vn.add_tenor(D, np.array(["1M"], dtype=object)), TypeError),
        (lambda: vn.add_tenor(D, "1Q"), ValueError),
        (lambda: vn.from_datetime64(np.array([45000])), TypeError),
    ],
)
def test10_bad_input_raises_numpy_or_our_clear_error(call, error):
    with pytest.raises(error):
        call()


LAST = as_days([23242572 - 1, 23242572])
CUBIC = vt.Interpolator([1.0, 2.0, 3.0], [1.0, 2.0, 3.0], vt.InterpType.CubicSpline, vt.ExtrapType.Flat)
LINEAR = vt.Interpolator([1.0, 2.0, 3.0], [1.0, 2.0, 3.0], vt.InterpType.Linear, vt.ExtrapType.Flat)


@pytest.mark.parametrize(
    "call, message, index",
    [
        (lambda: vn.year_fraction(D, D, vt.DayCounter.Thirty360), "not implemented", (0,)),
        (lambda: vn.add_tenor(D, "1B"), "Cannot add TenorUnit::B without a calendar input", (0,)),
        (lambda: vn.interpolate(CUBIC, np.array([[1.0, 2.5]])), "Interpolation Type is not supported (yet)", (0, 1)),
        (lambda: vn.interpolate(LINEAR, np.array([2.0, math.nan])), "Should never end up here (linear)", (1,)),
        (lambda: vn.overnight_rate(CURVES["flat"], LAST), "Date serial number (23242573) is out of range: the last date is 65535-12-31", (1,)),
        (lambda: vn.weekday(np.array(["1000-01-01"], "M8[D]")), "Year (1000) must be >= 1899", (0,)),
        # Past the first blocks of the date loops, and from their result.
        (lambda: vn.add_tenor(np.append(np.full(700, D[0]), LAST[1:]), "1M"), "Year (65536) must be <= 65535", (700,)),
        (lambda: vn.is_weekend(np.insert(np.full(900, D[0]), 600, np.datetime64("1000-01-01")), vt.Calendar("VT_WEEK")),
         "Year (1000) must be >= 1899", (600,)),
    ],
)
def test11_core_failures_raise_the_scalar_fatal_error(call, message, index):
    with pytest.raises(BaseException) as info:
        call()
    assert info.value.__notes__[-1].endswith(f"first failing element at index {index}")
    with raises_fatal(message):
        raise info.value


# ---- 5. dispatch: pandas and dask -----------------------------------------------------


def test12_pandas_series_in_series_out():
    pd = pytest.importorskip("pandas")
    df = pd.DataFrame({"spot": [90.0, 100.0, 110.0], "flag": [True, False, True]}, index=list("abc"))
    df["npv"] = vn.npv(df.spot, 100.0, 0.02, 0.0, 0.5, df.flag, 0.2)
    cols = list(vn.Metrics._fields)
    df[cols] = np.column_stack(vn.metrics(df.spot, 100.0, 0.02, 0.0, 0.5, df.flag, 0.2))
    assert df.npv.tolist() == df["npv"].tolist() == vn.npv(df.spot.to_numpy(), 100.0, 0.02, 0.0, 0.5, df.flag.to_numpy(), 0.2).tolist()
    dates = pd.Series(pd.to_datetime(["2024-01-31", None, "2024-03-31"]), index=list("xyz"))
    moved = vn.add_tenor(dates, "1M")
    assert isinstance(moved, pd.Series) and list(moved.index) == list("xyz")
    assert [str(x)[:10] for x in moved] == ["2024-02-29", "NaT", "2024-04-30"]
    df_ = vn.discount_factor(CURVES["flat"], dates)
    assert isinstance(df_, pd.Series) and math.isnan(df_["y"])


DASK_CALLS = {
    "pricer": lambda a, d: [getattr(vn, name)(a, 100.0, 0.02, 0.0, 0.5, a > 100, 0.2) for name in PRICER],
    "metrics": lambda a, d: vn.metrics(a, 100.0, 0.02, 0.0, 0.5, 1, 0.2),
    "metrics_fd": lambda a, d: vn.metrics_fd(a, 100.0, 0.02, 0.0, 0.5, 1, 0.2),
    "erf": lambda a, d: vn.erfc_inv(vn.erf_inv(vn.erfc(vn.erf(a / 100)))),
    "add_tenor": lambda a, d: vn.add_tenor(d, "1M"),
    "weekday": lambda a, d: vn.weekday(d),
    "calendar": lambda a, d: (vn.is_business_day(d, vt.Calendar("VT_WEEK")), vn.is_weekend(d, vt.Calendar("VT_WEEK"))),
    "day_counter": lambda a, d: (vn.year_fraction(d, d[::-1], vt.DayCounter.Act360), vn.tau_from_dates(d[:1], d)),
    "curve": lambda a, d: [f(CURVES["noded"], d) for f in (vn.discount_factor, vn.overnight_rate, vn.zero_rate)]
    + [f(CURVES["noded"], d, d) for f in (vn.fwd_df, vn.fwd_rate)],
    "interpolate": lambda a, d: vn.interpolate(vt.Interpolator([80.0, 120.0], [1.0, 2.0], vt.InterpType.Linear, vt.ExtrapType.Flat), a),
    "american": lambda a, d: vn.american_metrics(a, 100.0, 0.05, 0.02, 0.5, a > 100, 0.2),
    "core dimensions": lambda a, d: (vn.exercise_boundary(100.0, a / 2000, 0.02, 1.0, a > 100, 0.2, points=5),
                                     vn.cash_dividend_npv(a, 100.0, 0.05, 0.0, 1.0, 0, 0.2, [[0.25, 0.75]], [1.0, 2.0],
                                                          tol=0, space_steps=16)),
}  # fmt: skip


@pytest.mark.parametrize("scheduler", ["threads", "process workers"])
@pytest.mark.parametrize("name", DASK_CALLS)
def test13_dask_arrays_compute_the_numpy_result(name, scheduler, request):
    da = pytest.importorskip("dask.array")
    import dask

    a = np.linspace(80.0, 120.0, 10)
    d = as_days(list(range(45000, 45010)))
    want = DASK_CALLS[name](a, d)
    lazy = DASK_CALLS[name](da.from_array(a, chunks=4), da.from_array(d, chunks=4))
    if scheduler == "threads":
        with dask.config.set(scheduler="threads"):
            got = dask.compute(lazy)[0]
    else:  # the objects in the graph travel pickled
        got = request.getfixturevalue("client").compute(lazy, sync=True)
    np.testing.assert_equal(got, want)


def test14_vantorel_needs_no_numpy_and_vantorel_np_names_the_extra(run_python):
    r = run_python("import sys; sys.modules['numpy'] = None\nimport vantorel; print(len(vantorel.__all__))\nimport vantorel_np")
    assert r.stdout == "32\n"
    assert "ImportError" in r.stderr and "vantorel[array]" in r.stderr


# ---- 6. layering ----------------------------------------------------------------------

SRC = pathlib.Path(__file__).resolve().parents[1] / "src"
CORE = ["core", "datetime", "enums", "maths", "mkt_data", "pricers"]


@pytest.mark.skipif(not SRC.is_dir(), reason="needs the source tree")
@pytest.mark.parametrize(
    "folders, banned",
    [(CORE, r"<Python\.h>|<numpy/|\"binding/|_py\.hpp\""), (["np"], r"\"binding/|_py\.hpp\"")],
    ids=["core sees neither Python nor NumPy", "arrays reach the core, not the scalar binding"],
)
def test15_include_rules(folders, banned):
    files = [f for d in folders for f in (SRC / d).rglob("*.[ch]pp") if not f.stem.endswith("_py")]
    assert files
    bad = [(f.relative_to(SRC), line) for f in files for line in f.read_text().splitlines()
           if line.startswith("#include") and re.search(banned, line)]  # fmt: skip
    assert not bad


# ---- 7. objects reach the loops only as themselves -------------------------------------

OBJECT_CALLS = {
    "discount_factor": lambda: (CURVES["noded"].get_df, lambda o, d, **k: vn.discount_factor(o, d, **k)),
    "overnight_rate": lambda: (CURVES["flat"].get_overnight_rate, lambda o, d, **k: vn.overnight_rate(o, d, **k)),
    "interpolate": lambda: (LINEAR.interpolate, lambda o, x, **k: vn.interpolate(o, x, **k)),
    "is_business_day": lambda: (vt.Calendar("VT_WEEK"), lambda o, d, **k: vn.is_business_day(d, o, **k)),
}  # fmt: skip


@pytest.mark.parametrize("path", ["dask out=, object freed", "dask out=, process workers", "monkeypatched class", "an integer"])
@pytest.mark.parametrize("name", OBJECT_CALLS)
def test16_objects_cannot_be_forged_or_outlived(name, path, monkeypatch, request):
    bound, call = OBJECT_CALLS[name]()
    obj = getattr(bound, "__self__", bound)
    xs = np.array([1.5, 2.5]) if name == "interpolate" else D[:2]
    if path == "an integer":
        with pytest.raises(TypeError, match=f"expected a vantorel.{type(obj).__name__}, got int"):
            getattr(vn._ufuncs, name)(id(obj), xs)
    elif path == "monkeypatched class":
        monkeypatch.setattr(vt, type(obj).__name__, vt.Tenor)
        with pytest.raises(TypeError, match="expected a vantorel"):
            call(vt.Tenor("1M"), xs)
        np.testing.assert_array_equal(call(obj, xs), call(obj, xs))
    else:
        da = pytest.importorskip("dask.array")
        import gc
        import pickle

        want = call(pickle.loads(pickle.dumps(obj)), xs)
        out = da.zeros(2, dtype=want.dtype, chunks=1)
        call(pickle.loads(pickle.dumps(obj)), da.from_array(xs, chunks=1), out=out)
        gc.collect()
        workers = request.getfixturevalue("client") if "process" in path else None
        np.testing.assert_array_equal(out.compute() if workers is None else workers.compute(out, sync=True), want)


# ---- 8. errors users can catch and locate ----------------------------------------------

NEAR_END = np.array(["65535-11-15", "65535-12-15"], "M8[D]")  # +1M: the second fails


def _unknown_chunks(x):
    da = pytest.importorskip("dask.array")
    a = da.from_array(x, chunks=1)
    return a[a == a]  # boolean indexing: chunk sizes unknown until computed


@pytest.mark.parametrize(
    "call, error, message, index",
    [
        (lambda: vn.weekday(np.array([45000, -10**6]), casting="unsafe"), "fatal",
         "Date serial number (-974431) is out of range: the first date is 1899-01-01", (1,)),
        (lambda: vn.add_tenor(NEAR_END.copy(), "1M", out=(lambda d: d)(NEAR_END.copy())), "fatal",
         "Year (65536) must be <= 65535", (1,)),
        (lambda: (lambda d: vn.add_tenor(d, "1M", out=d))(NEAR_END.copy()), "fatal", "Year (65536) must be <= 65535", (1,)),
        (lambda: vn.weekday(np.array(["2024-01-01", 2**40], "M8[D]")), "fatal",
         "Date serial number (1099511653345) is out of range: the last date is 65535-12-31", (1,)),
        (lambda: vn.npv(100.0, 100.0, 0.0, 0.0, 1.0, np.array([[1, 0], [-1, 2]]), 0.2), ValueError,
         "Put-call code (-1) must be 0 (put), 1 (call) or a bool", (1, 0)),
        (lambda: vn.implied_vol(5.0, 100.0, 100.0, 0.0, 0.0, 1.0, np.array([0, 1, 7]), errors="coerce"), ValueError,
         "Put-call code (7) must be 0 (put), 1 (call) or a bool", (2,)),
        (lambda: vn.discount_factor(np.array([CURVES["flat"], vt.Calendar("VT_WEEK")]), D[:2]), TypeError,
         "expected a vantorel.YieldCurve, got Calendar", (1,)),
        (lambda: vn.exercise_boundary(100.0, 0.05, 0.0, 1.0, [0, 3], 0.2, errors="coerce"), ValueError,
         "Put-call code (3) must be 0 (put), 1 (call) or a bool", (1,)),
        (lambda: vn.cash_dividend_npv(100.0, 100.0, 0.05, 0.0, 1.0, 0, 0.2, [[0.5], [0.5], [-1.0]], [1.0]),
         ValueError, "div_times: an ex-date before today or infinite", (2,)),
        (lambda: vn.cash_dividend_npv(100.0, 100.0, 0.05, 0.0, 1.0, [0, 7], 0.2, [[0.5], [-1.0]], [1.0], errors="coerce"),
         ValueError, "Put-call code (7) must be 0 (put), 1 (call) or a bool", (1,)),
    ],
    ids=["casting unsafe", "out= another array", "out= aliasing the input", "day count beyond 32 bits",
         "put-call code -1", "put-call code 7 under coerce", "object of another class", "core dimensions, bad code",
         "core dimensions, bad list", "core dimensions, bad code and list"],
)  # fmt: skip
def test17_a_failing_element_raises_its_own_error_at_its_index(call, error, message, index):
    with pytest.raises(BaseException) as info:
        call()
    if error == "fatal":
        with raises_fatal(message):
            raise info.value
    else:
        assert type(info.value) is error and str(info.value) == message
    assert info.value.__notes__ == [f"{info.value.__notes__[0].split(':')[0]}: first failing element at index {index}"]
    assert info.value.__context__ is None  # the element's own error, not chained to the whole call's


def test18_coerce_computes_the_rest_and_dask_takes_unknown_chunks():
    days = np.array(["2024-01-31", "1000-01-01", "NaT", "65535-12-15"], "M8[D]")
    got = vn.add_tenor(days, "1M", errors="coerce")
    assert got.astype(str).tolist() == ["2024-02-29", "NaT", "NaT", "NaT"]
    bits_equal(vn.weekday(days, errors="coerce"), [2.0, math.nan, math.nan, 6.0])
    c = CURVES["noded"]
    assert np.isnan(vn.discount_factor(c, days, errors="coerce")[1:3]).all()
    assert vn.is_weekend(days, vt.Calendar("VT_WEEK"), errors="coerce").tolist() == [False, False, False, True]
    m = vn.metrics(spot=np.array([100.0]), strike=100.0, rate=0.0, div_yield=0.0, tau=1.0, pc_flag=True, vol=0.2, errors="coerce")
    assert m.npv.tolist() == vn.npv(100.0, 100.0, 0.0, 0.0, 1.0, 1, 0.2, errors="coerce", out=np.empty(1)).tolist()
    with pytest.raises(ValueError, match="errors must be 'raise' or 'coerce', got 'ignore'"):
        vn.weekday(days, errors="ignore")
    start, end = days[:1].repeat(3), (days[:1] + np.arange(3)).astype("M8[D]")
    got = vn.fwd_df(c, _unknown_chunks(start), _unknown_chunks(end)).compute()
    np.testing.assert_array_equal(got, vn.fwd_df(c, start, end))


@pytest.mark.parametrize("out", [None, np.float64, np.float32])
def test19_floating_point_flags_never_warn_whatever_out_is(out):
    x = np.array([0.0, 2.0, -1.0, 1.0])
    calls = [lambda **k: vn.erfc_inv(x, **k), lambda **k: vn.erf_inv(x + 1.0, **k),
             lambda **k: vn.zero_rate(CURVES["flat"], np.array([day(CURVE_DATE)] * 4), **k),
             lambda **k: vn.npv(1e308, x, 1e3, -1e3, 1e3, 1, 1e3, **k)]  # fmt: skip
    with np.errstate(all="raise"):
        for call in calls:
            want = call()
            got = call() if out is None else call(out=np.empty(4, out))
            np.testing.assert_array_equal(got, want.astype(got.dtype))


# ---- 9. pandas columns with a nullable or pyarrow dtype --------------------------------

COLUMN_VALUES = {"date": ["2024-01-31", None, "2024-03-29"], "float": [95.0, None, 0.5], "flag": [True, None, False]}
SCALAR_ARGS = {"curve": CURVES["noded"], "calendar": vt.Calendar("VT_WEEK"), "interpolator": LINEAR,
               "day_counter": vt.DayCounter.Act365, "tenor": "1M", "rate": 0.03, "tau": 0.5, "vol": 0.2}  # fmt: skip
DATE_ARGS = {"dates", "start", "end", "eval_dates", "expiry_dates"}


def _kind(arg):
    return "date" if arg in DATE_ARGS else "flag" if arg == "pc_flag" else "float"


@pytest.mark.parametrize("dtypes", ["pyarrow", "nullable"])
@pytest.mark.parametrize("row", vn._table.ROWS, ids=lambda r: r.name)
def test20_every_function_takes_nullable_and_pyarrow_columns(row, dtypes):
    pd = pytest.importorskip("pandas")
    if dtypes == "pyarrow":
        pytest.importorskip("pyarrow")
    names = row.args.split()
    # help() shows the arguments by name, and they are keywords too (below).
    text = pydoc.render_doc(getattr(vn, row.name), renderer=pydoc.plaintext)
    assert row.doc[:40] in text and all(f"{a}," in text for a in names)
    column = next(a for a in names if a not in SCALAR_ARGS)
    values = COLUMN_VALUES[_kind(column)]
    if _kind(column) == "date":
        base = pd.Series(pd.to_datetime(values), index=list("abc"))
        series = base.astype("date32[pyarrow]" if dtypes == "pyarrow" else "datetime64[s]")
        plain = base.to_numpy("M8[D]")
    else:
        dtype = {"flag": ("bool[pyarrow]", "boolean"), "float": ("double[pyarrow]", "Float64")}[_kind(column)]
        series = pd.Series(values, dtype=dtype[dtypes == "nullable"], index=list("abc"))
        plain = np.array([v if v is not None else (math.nan if _kind(column) == "float" else False) for v in values])
    default = {"date": np.datetime64("2024-02-15"), "flag": True, "float": 100.0}
    args = {a: SCALAR_ARGS.get(a, default[_kind(a)]) for a in names}
    got = getattr(vn, row.name)(**{**args, column: series})
    want = getattr(vn, row.name)(**{**args, column: plain}, errors="coerce")
    for g, w in zip(*((got, want) if isinstance(got, tuple) else ((got,), (want,)))):
        assert isinstance(g, pd.Series) and list(g.index) == list("abc")
        np.testing.assert_array_equal(np.asarray(g)[[0, 2]], np.asarray(w)[[0, 2]])
        assert pd.isna(g.iloc[1]) or g.iloc[1] is False or g.iloc[1] == np.False_


def test21_an_input_changed_by_another_thread_still_raises_the_scalar_error():
    import threading

    from native_runtime import FatalError

    days = np.array(["2024-01-31"] * 500 + ["65535-12-15"], "M8[D]")
    stop = threading.Event()

    def writer():
        while not stop.is_set():
            days[-1], days[0] = days[0], days[-1]

    thread = threading.Thread(target=writer)
    thread.start()
    try:
        kinds = set()
        for _ in range(30):
            try:
                vn.add_tenor(days, "1M")
            except FatalError:
                kinds.add("FatalError")
    finally:
        stop.set()
        thread.join()
    assert kinds == {"FatalError"}


# ---- 10. every SIMD target: the lanes give the scalar bits ------------------------------

# Options for implied_vol in lanes: the prices of a book (NaN where rejected) with rare rows among
# them; ivs are their vols, digest() a hash of its bits (NaN as one pattern).
IV_BOOK = """
import hashlib
rng = np.random.default_rng(12)
m = 1003
book = [np.full(m, 100.0), 100 * np.exp(rng.normal(0, 0.4, m)), rng.uniform(-0.02, 0.1, m), rng.uniform(-0.02, 0.05, m),
        10.0 ** rng.uniform(-3, 1.5, m), rng.integers(0, 2, m), 10.0 ** rng.uniform(-2.5, 0.5, m)]
iv_ops = [np.asarray(vn.npv(*book), dtype=float), *book[:6]]
rare = [(50.0, 100.0, 100.0, 800.0, 0.0, 1.0, 1), (1.0, 1e308, 1e308, 0.0, -1.0, 1.0, 0), (1e-14, 100.0, 100.0, 0.0, 0.0, 1.0, 1),
        (0.01, 100.0, 100 * math.exp(0.05), 0.05, 0.0, 1.0, 0), (5e-324, 1.0, 1e10, 0.0, 0.0, 1.0, 1),
        (0.0, 100.0, 90.0, 0.0, 0.0, 1.0, 0), (100.0, 100.0, 90.0, 0.0, 0.0, 1.0, 1), (math.nan, 1.0, 1.0, 0.0, 0.0, 1.0, 1)]
for j, row in enumerate(rare):
    for o, v in zip(iv_ops, row):
        o[37 * j + 3] = v
iv_ops[6] = iv_ops[6].astype(np.int64)
ivs = np.asarray(vn.implied_vol(*iv_ops))
def digest(a):
    return hashlib.sha256(np.where(np.isnan(a), np.nan, a).tobytes()).hexdigest()[:16]
"""
# American values, delta and gamma (the boundary and value integrands run in lanes) of a small book
# across the whole domain, a negative rate with a larger yield (the finite-difference path) included.
AM_BOOK = """
rng = np.random.default_rng(20)
m = 24
am_ops = [np.full(m, 100.0), np.exp(rng.uniform(np.log(50), np.log(200), m)), rng.uniform(-0.05, 0.2, m),
          rng.uniform(-0.05, 0.2, m), np.floor(np.exp(rng.uniform(0, np.log(30 * 365), m))) / 365,
          rng.integers(0, 2, m), np.exp(rng.uniform(np.log(0.01), np.log(2.0), m))]
am = np.asarray(vn.american_npv(*am_ops))
am_m = vn.american_metrics(*am_ops)
am_dg = np.concatenate([np.asarray(am_m.delta), np.asarray(am_m.gamma)])
"""


# A book with special values strewn in, priced in lanes (contiguous, strided, bool
# flags, a length that leaves a short last pack) and by the scalar API.
LANES_CHECK = """
import math, sys
import numpy as np
import vantorel as vt, vantorel_np as vn
from support import same
rng = np.random.default_rng(11)
n = 2003
ops = [rng.uniform(0, 200, n), rng.uniform(0, 200, n), rng.uniform(-0.1, 0.2, n), rng.uniform(-0.1, 0.2, n),
       rng.uniform(-0.5, 4, n), rng.integers(0, 2, n), rng.uniform(0, 1.5, n)]
specials = [0.0, -0.0, 1e-300, 5e-324, math.inf, -math.inf, math.nan, -1.0, 0.0005, 0.001, 1 / 365]
for k in (0, 1, 2, 3, 4, 6):
    hit = rng.random(n) < 0.08
    ops[k][hit] = rng.choice(specials, hit.sum())
ops[1][::7] = ops[0][::7]
flags = [vt.PutCallFlag.Call if c else vt.PutCallFlag.Put for c in ops[5]]
rows = [(*(float(o[i]) for o in ops[:5]), flags[i], float(ops[6][i])) for i in range(n)]
bad = []
def check(name, got, want):
    bad.extend((name, i) for i, (g, w) in enumerate(zip(np.ravel(got).tolist(), want)) if not same(g, w))
BS = vt.BlackScholes
for name in ["npv", "delta", "gamma", "vega", "theta", "rho_r", "rho_q"]:
    want = [math.nan if v is None else v for v in (getattr(BS, name)(*r) for r in rows)]
    check(name, getattr(vn, name)(*ops), want)
    check(name + " bool", getattr(vn, name)(*ops[:5], ops[5] != 0, ops[6]), want)
    wide = [np.repeat(o, 2)[::2] for o in ops]  # strided views
    check(name + " strided", getattr(vn, name)(*wide), want)
for name, scalar in [("metrics", BS.get_metrics), ("metrics_fd", BS.get_metrics_fd)]:
    results = [scalar(*r) for r in rows]
    for field, column in zip(vn.Metrics._fields, getattr(vn, name)(*ops)):
        check(name + "." + field, column, [math.nan if m is None else getattr(m, field) for m in results])
xs = np.concatenate([rng.uniform(-12, 12, n), rng.standard_normal(n) * 1e-9, specials, rng.uniform(-120, 120, 99)])
tiny = [1 - 2**-53, -1 + 2**-53, 2**-53, 2 - 2**-52, 5e-324, -5e-324, 1.0, -1.0, 2.0, 0.5, 0.25, 1.75]
ps = np.concatenate([xs / 12, rng.uniform(-1, 1, n) ** 9, 1 - 10.0 ** -rng.uniform(0, 16, n), tiny])
for name, args in [("erf", xs), ("erfc", xs), ("erf_inv", ps), ("erfc_inv", ps + 1), ("erfc_inv", 10.0 ** -rng.uniform(0, 320, n))]:
    check(name, getattr(vn, name)(args), [getattr(vt, name)(float(x)) for x in args])
# Implied vols of the book's prices in lanes, beside each option alone (a Python float runs a pack of
# one): the lanes of a pack iterate in lockstep and must not leak into one another. Rows that leave
# the common path sit inside packs: a subnormal discount factor, spot*df_q beyond the largest double,
# a tiny price at the money, ln(spot/strike) cancelling the carry, prices on and off the bounds.
exec(IV_BOOK)
want = [vn.implied_vol(*(float(o[i]) for o in iv_ops[:6]), int(iv_ops[6][i])) for i in range(len(ivs))]
check("implied_vol", ivs, want)
check("implied_vol bool", vn.implied_vol(*iv_ops[:6], iv_ops[6] != 0), want)
check("implied_vol strided", vn.implied_vol(*[np.repeat(o, 2)[::2] for o in iv_ops]), want)
print("implied_vol", digest(ivs))
exec(AM_BOOK)
check("american_npv", am, [vn.american_npv(*(float(o[i]) for o in am_ops[:5]), int(am_ops[5][i]), float(am_ops[6][i]))
                           for i in range(len(am))])
print("american_npv", digest(am))
print("american delta gamma", digest(am_dg))
# Date columns across several blocks: NaT, both ends of the range, every tenor unit.
ends = [vt.Date(y, m, d).to_int() for y in (1900, 2000, 2023, 2024, 2100, 2400) for m, d in
        [(1, 28), (1, 29), (1, 30), (1, 31), (2, 28), (3, 31), (8, 31), (12, 31)]] + [vt.Date(2024, 2, 29).to_int()]
serials = np.concatenate([rng.integers(-363, 23242573, n), rng.integers(36000, 60000, n), [-363, 23242572], ends])
days = (serials - 25569).astype("M8[D]")
days[rng.random(len(days)) < 0.05] = np.datetime64("NaT")
dates = [None if np.isnat(d) else vt.Date(1970, 1, 1) + int(d.astype(np.int64)) for d in days]
inner = days[(serials > 400) & (serials < 23238000)]
inner_dates = [None if np.isnat(d) else vt.Date(1970, 1, 1) + int(d.astype(np.int64)) for d in inner]
def serial(d):
    return math.nan if d is None else float(d.to_int())
check("weekday", vn.weekday(days), [math.nan if d is None else int(d.weekday()) for d in dates])
for cal in map(vt.Calendar, ("VT_WEEK", "VT_NONE")):
    check("business", vn.is_business_day(days[::-1], cal), [d is not None and d.is_business_day(cal) for d in dates[::-1]])
    check("weekend", vn.is_weekend(days, cal), [d is not None and d.is_weekend(cal) for d in dates])
for tenor in ["1D", "-30D", "2W", "1M", "-13M", "3Y", "-1Y", "120M"]:
    got = vn.add_tenor(inner, tenor).astype(np.int64).astype(float) + 25569
    got[np.isnat(vn.add_tenor(inner, tenor))] = math.nan
    check(tenor, got, [serial(None if d is None else d.add_tenor(tenor)) for d in inner_dates])
for dc in (vt.DayCounter.Act365, vt.DayCounter.Act360):
    check(str(dc), vn.year_fraction(days, days[::-1], dc),
          [math.nan if a is None or b is None else dc.get_dcf(a, b) for a, b in zip(dates, dates[::-1])])
# Curves shared by every element: flat, and noded (linear, log-linear) in Act/365 and Act/360; dates far
# outside the nodes, on them and between them.
t0 = vt.Date(2024, 1, 2)
curves = [vt.YieldCurve.create_flat(t0, vt.DayCounter.Act360, 0.031)] + [
    vt.YieldCurve.create_noded(t0, dc, [t0 + 30 * k * k for k in range(size)],
                               [math.exp(-0.0004 * k * k - 0.002 * k) for k in range(size)], kind)
    for dc, size in ((vt.DayCounter.Act365, 9), (vt.DayCounter.Act360, 2), (vt.DayCounter.Act360, 6))
    for kind in (vt.InterpType.Linear, vt.InterpType.Geometric)]
on_nodes = [d for k in range(9) for d in (t0 + (30 * k * k - 1), t0 + 30 * k * k)]
near = np.concatenate([inner, (np.array([d.to_int() for d in on_nodes]) - 25569).astype("M8[D]")])
near_dates = inner_dates + on_nodes
later = near + rng.integers(-40, 400, len(near)).astype("m8[D]")
later_dates = [None if np.isnat(d) else vt.Date(1970, 1, 1) + int(d.astype(np.int64)) for d in later]
def each(fn, *cols):
    return [math.nan if None in args else fn(*args) for args in zip(*cols)]
def ln(x):  # glibc's log, as the kernel's, with C's values where math.log raises
    return math.log(x) if x > 0 else -math.inf if x == 0 else math.nan
for i, curve in enumerate(curves):
    check(f"discount_factor {i}", vn.discount_factor(curve, near[::-1]), each(curve.get_df, near_dates[::-1]))
    check(f"overnight_rate {i}", vn.overnight_rate(curve, near[::-1]), each(curve.get_overnight_rate, near_dates[::-1]))
    logs = np.array(each(lambda d: -ln(curve.get_df(d)), near_dates))
    with np.errstate(all="ignore"):
        check(f"zero_rate {i}", vn.zero_rate(curve, near), logs / each(lambda d: curve.get_dc().get_dcf(t0, d), near_dates))
    check(f"fwd_df {i}", vn.fwd_df(curve, near, later[::-1]), each(curve.get_fwd_df, near_dates, later_dates[::-1]))
    check(f"fwd_rate {i}", vn.fwd_rate(curve, later, near), each(curve.get_fwd_rate, later_dates, near_dates))
# Interpolators of 2, 9 and 40 nodes (a count or a halving in lanes), every method and extrapolation that computes: x inside, on and beyond the nodes.
for size in (2, 9, 40):
    nodes_x = [0.03 * k * k for k in range(size)]
    for kind in (vt.InterpType.Linear, vt.InterpType.Geometric):
        for extrap in (vt.ExtrapType.Auto, vt.ExtrapType.Flat, vt.ExtrapType.Disabled):
            interp = vt.Interpolator(nodes_x, [math.exp(-0.04 * x) for x in nodes_x], kind, extrap)
            xs = np.concatenate([rng.uniform(-1, 3, n), nodes_x, np.nextafter(nodes_x, 9)])
            check(f"interpolate {size} {kind} {extrap}", vn.interpolate(interp, xs[::-1]),
                  [interp.interpolate(float(x)) for x in xs[::-1]])
print(vn.simd_target, len(bad), bad[:5])
"""


@pytest.mark.parametrize("target", ["baseline", "avx2", "avx512"])
def test22_every_simd_target_gives_the_scalar_bits(target, run_python):
    tests = str(__import__("pathlib").Path(__file__).parent)
    code = f"import os, sys; sys.path.insert(0, {tests!r}); os.environ['VANTOREL_SIMD'] = {target!r}\n"
    code += f"IV_BOOK = {IV_BOOK!r}\nAM_BOOK = {AM_BOOK!r}\n" + LANES_CHECK
    result = run_python(code)
    assert result.returncode == 0, result.stderr
    *lines, last = result.stdout.splitlines()
    ran, mismatches, first = last.split(" ", 2)
    if ran != target:
        pytest.skip(f"this CPU runs {ran}, not {target}")
    assert mismatches == "0", first
    # Implied vols and American values have no scalar twin in vantorel: their bits are compared with
    # this process's target.
    here: dict[str, object] = {"np": np, "vn": __import__("vantorel_np"), "math": math}
    exec(IV_BOOK, here)
    assert f"implied_vol {here['digest'](here['ivs'])}" in lines  # type: ignore[operator]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        exec(AM_BOOK, here)
    assert f"american_npv {here['digest'](here['am'])}" in lines  # type: ignore[operator]
    assert f"american delta gamma {here['digest'](here['am_dg'])}" in lines  # type: ignore[operator]


def test23_an_unknown_simd_target_fails_the_import(run_python):
    result = run_python("import os; os.environ['VANTOREL_SIMD'] = 'sse9'; import vantorel_np")
    assert "ImportError: VANTOREL_SIMD (sse9) names no instruction set: avx512, avx2 or baseline" in result.stderr
