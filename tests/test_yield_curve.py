"""YieldCurve: flat and noded curves, the derived rates, validation and failures."""

import math
import os
import resource

import pytest
from hypothesis import given
from hypothesis import strategies as st
from support import assert_type_error, assert_value_error, raises_fatal

from vantorel import Date, DayCounter, ExtrapType, Interpolator, InterpType, YieldCurve

D0 = Date(2024, 1, 5)
ACT365, ACT360, T360 = DayCounter.Act365, DayCounter.Act360, DayCounter.Thirty360
BASIS = {0: 365.0, 1: 360.0}
NAN = float("nan")


def noded(days, dfs, method=InterpType.Linear, dc=ACT365, curve_date=D0):
    return YieldCurve.create_noded(curve_date, dc, [curve_date + n for n in days], dfs, method)


def test_flat_special_rates_getters_and_signatures():
    nan_curve, zero_curve = YieldCurve.create_flat(D0, ACT360, NAN), YieldCurve.create_flat(D0, ACT360, 0.0)
    assert math.isnan(nan_curve.get_df(D0)) and zero_curve.get_df(D0 + -9999) == zero_curve.get_df(D0 + 9999) == 1.0
    first, second = nan_curve.get_curve_date(), nan_curve.get_curve_date()
    assert first is not second and first.to_int() == second.to_int() == D0.to_int()
    assert nan_curve.get_dc() == ACT360 and nan_curve.get_dc() is not ACT360
    assert YieldCurve.create_noded.__text_signature__ == "(curve_date, dc, node_dates, discount_factors, interp_type)"
    assert YieldCurve.get_fwd_rate.__text_signature__ == "($self, start_date, end_date)"


@pytest.mark.parametrize("dc", [ACT365, ACT360])
@given(rate=st.floats(-0.5, 0.5), days=st.integers(-40000, 40000))
def test_flat_is_exp_minus_rate_time(dc, rate, days):
    curve, basis = YieldCurve.create_flat(D0, dc, rate), BASIS[int(dc)]
    assert curve.get_df(D0 + days) == math.exp(days / basis * -rate)
    assert curve.get_overnight_rate(D0 + days) == pytest.approx((math.exp(rate / basis) - 1.0) * basis, rel=1e-9, abs=1e-12)


curves = st.one_of(
    st.builds(YieldCurve.create_flat, st.just(D0), st.sampled_from([ACT365, ACT360]), st.floats(-0.2, 0.2)),
    st.builds(
        noded,
        st.just([0, 90, 365, 1000]),
        st.lists(st.floats(0.3, 1.2), min_size=3, max_size=3).map(lambda dfs: [1.0, *dfs]),
        st.sampled_from([InterpType.Linear, InterpType.Geometric]),
        st.sampled_from([ACT365, ACT360]),
    ),
)


@given(curves, st.integers(-500, 2000), st.integers(-500, 2000))
def test_forward_discount_factors_are_reciprocal(curve, start, end):
    s, e = D0 + start, D0 + end
    assert curve.get_fwd_df(s, e) * curve.get_fwd_df(e, s) == pytest.approx(1.0, rel=1e-14)
    assert curve.get_fwd_df(s, e) == curve.get_df(e) / curve.get_df(s)
    assert math.isnan(curve.get_fwd_rate(s, s))


@given(st.lists(st.floats(0.001, 0.3), min_size=3, max_size=3), st.integers(0, 3), st.data())
def test_geometric_forward_rate_is_constant_between_nodes(rates, k, data):
    days = [0, 30, 200, 730, 2000]
    dfs = [1.0]
    for i, r in enumerate([0.02, *rates]):
        dfs.append(dfs[-1] * math.exp(-r * (days[i + 1] - days[i]) / 365.0))
    curve = noded(days, dfs, InterpType.Geometric)
    a, b = sorted(data.draw(st.lists(st.integers(days[k], days[k + 1]), min_size=2, max_size=2, unique=True)))
    rate = -math.log(curve.get_fwd_df(D0 + a, D0 + b)) / ((b - a) / 365.0)
    assert rate == pytest.approx(math.log(dfs[k] / dfs[k + 1]) / ((days[k + 1] - days[k]) / 365.0), rel=1e-9)


@pytest.mark.parametrize(
    ("method", "dc", "day", "expected"),
    [(InterpType.Linear, ACT365, 73, 0.99), (InterpType.Linear, ACT365, 730, 0.90),
     (InterpType.Linear, ACT365, -365, 1.05), (InterpType.Geometric, ACT360, 180, math.pow(0.95, 0.5)),
     (InterpType.Geometric, ACT365, 730, 0.9025), (InterpType.Geometric, ACT365, 365, 0.95),
     (InterpType.Geometric, ACT365, 0, 1.0)],
)  # fmt: skip
def test_noded_worked_values(method, dc, day, expected):
    last = 365 if dc == ACT365 else 360
    assert noded([0, last], [1.0, 0.95], method, dc).get_df(D0 + day) == pytest.approx(expected, rel=1e-15)


SIZES = "Node dates ({}) and discount factors ({}) must have the same size & must have at least size 2"
UNSORTED = "Node dates must be sorted in ascending order and be unique"


@pytest.mark.parametrize(
    ("days", "dfs", "message"),
    [
        ([0], [1.0], SIZES.format(1, 1)), ([], [], SIZES.format(0, 0)), ([1, 2], [1.0, 0.9, 0.8], SIZES.format(2, 3)),
        ([1, 5], [0.99, 0.9], "First node date (2024-01-06) must be equal to the curve date (2024-01-05)"),
        ([0, 5], [0.99, 0.9], "First discount factor (0.99) must be equal to 1.0"),
        ([0, 5], [2.0, 0.9], "First discount factor (2) must be equal to 1.0"),
        ([0, 5], [NAN, 0.9], "First discount factor (NaN) must be equal to 1.0"),
        ([0, 5, 5], [1.0, 0.9, 0.8], UNSORTED),
        ([0, 9, 5], [1.0, 0.9, 0.8], UNSORTED),
    ],
)
def test_noded_construction_errors(days, dfs, message):
    nodes = [D0 + n for n in days]
    for dc in (ACT365, T360):  # validation comes before any year fraction
        assert_value_error(lambda: YieldCurve.create_noded(D0, dc, nodes, dfs, InterpType.Linear), message)


@pytest.mark.parametrize(
    ("change", "message"),
    [
        ({"curve_date": 20240105}, "argument 'curve_date': expected Date, got int"),
        ({"dc": InterpType.Linear}, "argument 'dc': expected DayCounter, got InterpType"),
        ({"node_dates": "2024-01-05"}, "argument 'node_dates': expected a sequence, got str"),
        ({"node_dates": [D0, 45296]}, "argument 'node_dates': expected Date, got int"),
        ({"discount_factors": [1.0, "0.9"]}, "argument 'discount_factors': must be real number, not str"),
        ({"interp_type": ACT365}, "argument 'interp_type': expected InterpType, got DayCounter"),
    ],
)
def test_argument_errors_name_the_parameter(change, message):
    args = {"curve_date": D0, "dc": ACT365, "node_dates": [D0, D0 + 9], "discount_factors": [1.0, 0.9]}
    assert_type_error(lambda: YieldCurve.create_noded(**(args | {"interp_type": InterpType.Linear} | change)), message)


@pytest.mark.parametrize(
    ("method", "args"),
    [("get_df", (D0,)), ("get_fwd_df", (D0, D0 + 1)), ("get_overnight_rate", (D0,)), ("get_fwd_rate", (D0, D0 + 1))],
)
def test_thirty360_queries_are_fatal(method, args):
    curve = YieldCurve.create_flat(D0, T360, 0.01)
    with raises_fatal("not implemented"):
        getattr(curve, method)(*args)
    assert curve.get_dc() == T360


def test_fatal_failures_of_construction_and_queries():
    with raises_fatal("not implemented"):
        noded([0, 10], [1.0, 0.9], dc=T360)
    cubic = noded([0, 10, 20], [1.0, 0.9, 0.8], InterpType.CubicSpline)
    assert (cubic.get_df(D0), cubic.get_df(D0 + 20)) == (1.0, 0.8)
    with raises_fatal("Interpolation Type is not supported (yet)"):
        cubic.get_df(D0 + 10)
    last = Date(65535, 12, 31)
    with raises_fatal("Date serial number (23242573) is out of range: the last date is 65535-12-31"):
        YieldCurve.create_flat(last, ACT365, 0.01).get_overnight_rate(last)


@pytest.mark.skipif("ASAN_OPTIONS" in os.environ, reason="the sanitizer's quarantine holds freed memory")
def test_native_node_storage_is_released_with_its_object():
    # 400 curves and interpolators of 4,000 nodes hold about 100 MB if their
    # native vectors (outside Python's allocator) were never freed.
    days, dfs = list(range(4000)), [1.0] + [0.9] * 3999
    dates, xs = [D0 + n for n in days], [float(n) for n in days]
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    for _ in range(400):
        YieldCurve.create_noded(D0, ACT365, dates, dfs, InterpType.Linear).get_df(D0 + 7)
        Interpolator(xs, dfs, InterpType.Linear, ExtrapType.Auto).interpolate(0.5)
    assert resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before < 30_000  # KiB
