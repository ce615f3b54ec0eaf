"""Interpolator: node validation, linear and geometric interpolation, extrapolation rules."""

import math

import numpy as np
import pytest
from hypothesis import given
from hypothesis import strategies as st
from support import assert_type_error, assert_value_error, raises_fatal

from vantorel import ExtrapType, Interpolator, InterpType

NAN = float("nan")
LIN, GEO, CUBIC, LOGCUBIC = InterpType.Linear, InterpType.Geometric, InterpType.CubicSpline, InterpType.LogCubicSpline
AUTO, FLAT, DISABLED = ExtrapType.Auto, ExtrapType.Flat, ExtrapType.Disabled


@pytest.mark.parametrize(
    ("xs", "ys", "message"),
    [
        ([], [], "Need at least 1 x-node to create an Interpolator"),
        ([1.0], [], "Need at least 1 y-node to create an Interpolator"),
        ([0.0, 1.0], [1.0, 2.0, 3.0], "Need x-nodes & y-nodes to have the same size"),
        *[(xs, [1.0] * len(xs), "Need x-nodes to be sorted in ascending order and be unique")
          for xs in ([1.0, 1.0], [0.0, 2.0, 1.0], [0.0, NAN], [NAN, 0.0])],
    ],
)
def test_construction_errors(xs, ys, message):
    assert_value_error(lambda: Interpolator(xs, ys, LIN, AUTO), message)


@pytest.mark.parametrize("method", [LIN, GEO, CUBIC, LOGCUBIC])
@pytest.mark.parametrize("x", [NAN, -1e300, 0.0, 5.0, math.inf])
def test_one_node_answers_everything(method, x):
    assert Interpolator([NAN], [7.5], method, DISABLED).interpolate(x) == 7.5


# (method, extrap, x, expected) on (0, 0), (1, 10), (2, 30) for Linear, (0, 1), (1, 2), (2, 8) otherwise.
WORKED = [
    (LIN, AUTO, 0.5, 5.0), (LIN, AUTO, 1.0, 10.0), (LIN, AUTO, 1.5, 20.0), (LIN, AUTO, 0.0, 0.0),
    (LIN, AUTO, 2.0, 30.0), (LIN, AUTO, -1.0, -10.0), (LIN, AUTO, 3.0, 50.0), (LIN, FLAT, -1.0, 0.0),
    (LIN, FLAT, 3.0, 30.0), (LIN, DISABLED, -1.0, NAN), (LIN, DISABLED, 3.0, NAN),
    (GEO, AUTO, 0.5, math.sqrt(2.0)), (GEO, AUTO, 1.5, 4.0), (GEO, AUTO, -1.0, 0.5),
    (GEO, AUTO, 3.0, 32.0), (GEO, FLAT, -1.0, 1.0), (GEO, DISABLED, 3.0, NAN),
    (CUBIC, FLAT, -1.0, 1.0), (CUBIC, FLAT, 3.0, 8.0), (LOGCUBIC, DISABLED, 3.0, NAN),
]


@pytest.mark.parametrize(("method", "extrap", "x", "expected"), WORKED)
def test_worked_values(method, extrap, x, expected):
    ys = [0.0, 10.0, 30.0] if method == LIN else [1.0, 2.0, 8.0]
    got = Interpolator([0, 1, 2], ys, method, extrap).interpolate(x)
    assert got == pytest.approx(expected, rel=1e-15, nan_ok=True)


UNSUPPORTED = "Interpolation Type is not supported (yet)"


@pytest.mark.parametrize(
    ("method", "extrap", "x", "text"),
    [
        (CUBIC, FLAT, 0.5, UNSUPPORTED), (CUBIC, FLAT, 1.0, UNSUPPORTED), (LOGCUBIC, FLAT, NAN, UNSUPPORTED),
        (LOGCUBIC, AUTO, -1.0, UNSUPPORTED), (LIN, AUTO, NAN, "Should never end up here (linear)"),
        (GEO, FLAT, NAN, "Should never end up here (geometric)"),
    ],
)
def test_fatal_failures_leave_the_interpolator_usable(method, extrap, x, text):
    interp = Interpolator([0.0, 1.0, 2.0], [3.0, 4.0, 5.0], method, extrap)
    with raises_fatal(text):
        interp.interpolate(x)
    assert (interp.interpolate(0.0), interp.interpolate(2.0), interp.get_interp_type()) == (3.0, 5.0, method)


def test_getters_return_fresh_copies_and_signatures():
    interp = Interpolator((0, 1, 2), np.array([0.0, 10.0, 30.0]), LIN, FLAT)
    xs = interp.get_nodes_x()
    assert xs == [0.0, 1.0, 2.0] and all(type(v) is float for v in xs)
    xs.append(5.0)
    interp.get_nodes_y()[1] = -1.0
    assert (interp.get_nodes_x(), interp.get_nodes_y()) == ([0.0, 1.0, 2.0], [0.0, 10.0, 30.0])
    assert interp.interpolate(1.5) == 20.0
    for got, member in ((interp.get_interp_type(), LIN), (interp.get_extrap_type(), FLAT)):
        assert got == member and got is not member
    assert Interpolator.__text_signature__ == "(nodes_x, nodes_y, interp_type, extrap_type)"
    assert Interpolator.interpolate.__text_signature__ == "($self, x)"


def test_node_list_changed_by_an_item_conversion_is_read_safely():
    class Shrinking:
        def __float__(self) -> float:
            nodes.clear()  # frees the other items unless the conversion holds them
            return 0.0

    nodes = [Shrinking(), *(float(i) for i in range(1, 100))]
    with pytest.raises(ValueError, match="^Need x-nodes & y-nodes to have the same size$"):
        Interpolator(nodes, [1.0] * 100, LIN, AUTO)


def make(**change):
    args = {"nodes_x": [0.0, 1.0], "nodes_y": [1.0, 2.0], "interp_type": LIN, "extrap_type": AUTO}
    return Interpolator(**(args | change))


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: make(nodes_x="012"), "argument 'nodes_x': expected a sequence, got str"),
        (lambda: make(nodes_x=3.0), "argument 'nodes_x': expected a sequence, got float"),
        (lambda: make(nodes_y=[1.0, None]), "argument 'nodes_y': must be real number, not NoneType"),
        (lambda: make(interp_type=ExtrapType.Auto), "argument 'interp_type': expected InterpType, got ExtrapType"),
        (lambda: make(extrap_type=0), "argument 'extrap_type': expected ExtrapType, got int"),
        (lambda: make().interpolate(x="1"), "argument 'x': must be real number, not str"),
    ],
)
def test_argument_errors_name_the_parameter(call, message):
    assert_type_error(call, message)


# Strictly increasing nodes, not closer than 1e-6 (a tinier gap makes the slope
# overflow), with ordinates of one sign (geometric needs ratios).
nodes = (
    st.lists(st.tuples(st.floats(-1e6, 1e6), st.floats(0.01, 100.0)), min_size=2, max_size=30, unique_by=lambda p: p[0])
    .map(sorted)
    .filter(lambda ps: all(b[0] - a[0] > 1e-6 for a, b in zip(ps, ps[1:])))
)


def reference_interval(xs: list[float], x: float) -> int:
    return next(i for i in range(len(xs) - 1) if xs[i] < x <= xs[i + 1])


@given(nodes, st.floats(0.0, 1.0), st.booleans())
def test_interior_values_match_the_first_open_closed_interval(pairs, t, on_node):
    xs, ys = [p[0] for p in pairs], [p[1] for p in pairs]
    x = xs[round(t * (len(xs) - 1))] if on_node else min(xs[0] + t * (xs[-1] - xs[0]), xs[-1])
    linear = Interpolator(xs, ys, LIN, DISABLED).interpolate(x)
    geometric = Interpolator(xs, ys, GEO, DISABLED).interpolate(x)
    if x in (xs[0], xs[-1]):
        assert linear == geometric == ys[xs.index(x)]
        return
    i = reference_interval(xs, x)
    slope = (ys[i + 1] - ys[i]) / (xs[i + 1] - xs[i])
    assert linear == (x - xs[i]) * slope + ys[i]
    assert geometric == ys[i] * math.pow(ys[i + 1] / ys[i], (x - xs[i]) / (xs[i + 1] - xs[i]))
    assert linear == pytest.approx(float(np.interp(x, xs, ys)), rel=1e-9, abs=1e-9)
