"""The nine elementary functions: the libm results, IEEE answers outside the domain, the Python surface."""

import math

import pytest
from hypothesis import given
from hypothesis import strategies as st
from support import assert_type_error, same

import vantorel

NAMES = ["exp", "ln", "log10", "log2", "pow2", "sqrt", "sin", "cos", "tan"]
# Python's math calls the same libm functions where their domain allows.
REFERENCE = {
    "exp": math.exp, "ln": math.log, "log10": math.log10, "log2": math.log2,
    "pow2": lambda x: x * x, "sqrt": math.sqrt, "sin": math.sin, "cos": math.cos, "tan": math.tan,
}


@pytest.mark.parametrize("name", NAMES)
@given(x=st.floats(min_value=1e-300, max_value=700))
def test_same_bits_as_math_inside_the_domain(name, x):
    assert getattr(vantorel, name)(x) == REFERENCE[name](x)


@pytest.mark.parametrize(
    "name, x, expected",
    [
        ("pow2", 3, 9.0), ("pow2", -1.5, 2.25), ("pow2", 1e200, math.inf),
        ("sqrt", -1.0, math.nan), ("sqrt", -0.0, -0.0),
        ("ln", 0, -math.inf), ("ln", -1.0, math.nan), ("log10", 0.0, -math.inf), ("log2", -2.0, math.nan),
        ("log2", 8, 3.0), ("log10", 1000, 3.0),
        ("exp", 1000, math.inf), ("exp", -1000, 0.0), ("exp", 0, 1.0),
        ("sin", math.inf, math.nan), ("cos", -math.inf, math.nan), ("tan", math.nan, math.nan),
    ],
)
def test_ieee_results_instead_of_errors(name, x, expected):
    result = getattr(vantorel, name)(x)
    assert type(result) is float and same(result, expected)


@pytest.mark.parametrize("name", NAMES)
def test_python_surface(name):
    fn = getattr(vantorel, name)
    assert (fn.__name__, fn.__text_signature__, fn.__doc__) == (name, "(x)", None)
    assert fn(x=0.5) == fn(0.5)
    assert_type_error(lambda: fn(None), "argument 'x': must be real number, not NoneType")
    assert_type_error(lambda: fn(1.0, 2.0), f"{name}() takes 1 positional argument but 2 were given")

