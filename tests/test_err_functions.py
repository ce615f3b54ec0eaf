"""erf, erfc, erf_inv and erfc_inv: worked values, special values, every piece of the approximations."""

import math
from statistics import NormalDist

import pytest
from hypothesis import given
from hypothesis import strategies as st
from support import same

import vantorel
from vantorel import erf, erf_inv, erfc, erfc_inv

INF, NAN = math.inf, math.nan
N = NormalDist()


# Special values first, then the worked values, bit for bit.
@pytest.mark.parametrize(
    "fn, x, expected",
    [
        (erf, NAN, NAN), (erf, INF, 1.0), (erf, -INF, -1.0), (erf, 0.0, 0.0), (erf, -0.0, 0.0),
        (erfc, NAN, NAN), (erfc, INF, 0.0), (erfc, -INF, 2.0), (erfc, 0.0, 1.0), (erfc, -0.0, 1.0),
        (erf, 110.0, 1.0), (erf, 1e300, 1.0), (erfc, 110.0, 0.0), (erfc, 40.0, 0.0), (erfc, -110.0, 2.0),
        (erf_inv, 0.0, 0.0), (erf_inv, -0.0, 0.0), (erf_inv, 1.0, INF), (erf_inv, -1.0, -INF),
        (erf_inv, 1.5, INF), (erf_inv, -7.0, -INF), (erf_inv, NAN, NAN),
        (erfc_inv, 1.0, 0.0), (erfc_inv, 0.0, INF), (erfc_inv, -3.0, INF), (erfc_inv, 2.0, -INF),
        (erfc_inv, 2.5, -INF), (erfc_inv, NAN, NAN),
        (erf, 0.25, 0.27632639016823696), (erf, 0.5, 0.5204998777636538), (erfc, 0.5, 0.4795001222363462),
        (erf, 1.0, 0.8427007929427149), (erfc, 1.0, 0.15729920705728503), (erfc, 5.0, 1.537459794465484e-12),
        (erfc, -1.0, 1.842700792942715), (erf_inv, 0.5, 0.4769362762044699),
        (erf_inv, 0.9, 1.1630871536766743), (erfc_inv, 1e-20, 6.601580622355143),
    ],
)
def test_values(fn, x, expected):
    assert same(fn(x), expected)


@pytest.mark.parametrize("z", [1e-300, 5e-324, 3.7e-11, 9.99e-11])
def test_below_1e_10_is_the_first_series_term(z):
    r = z * 0.0033791670955125737 + z * 1.125
    assert erf(z) == r
    assert erfc(z) == 1 - r


# The pieces [0.5, 110) by their left ends. Each piece carries its own error of
# about 1e-10 against math.erfc (its ten-digit Y), so the error jumps at every
# left end, which belongs to the row on its right; beyond 27 erfc underflows.
ROW_STARTS = [0.5, 0.75, 1.25, 2.25, 3.5, 5.25, 8, 11.5, 17, 24, 38, 60, 85, 110]


@pytest.mark.parametrize("z", [1e-10, 0.1, 0.3] + [x for s in ROW_STARTS for x in (s, s + 0.1)])
def test_every_piece_and_its_left_end(z):
    assert erf(z) == pytest.approx(math.erf(z), rel=3e-10, abs=0)
    assert erfc(z) == pytest.approx(math.erfc(z), rel=3e-10, abs=1e-300)
    if z in ROW_STARTS[:10]:
        def err(x):
            return erfc(x) / math.erfc(x) - 1

        assert abs(err(z) - err(math.nextafter(z, math.inf))) < 1e-12
        assert abs(err(z) - err(math.nextafter(z, 0))) > 5e-12


@given(st.floats(allow_nan=False, allow_infinity=False))
def test_erf_is_odd_and_complement_identities(z):
    assert same(erf(-z), -erf(z)) or z == 0
    if 0 < z <= 0.5:
        assert erfc(-z) == 1 + erf(z)
    elif z > 0.5:
        assert erfc(-z) == 2 - erfc(z)


# erf_inv: p <= 0.5; q = 1 - p >= 0.25; then w = sqrt(-ln q) below 3, 6, 18
# and beyond (from 27.3 on q would be below the smallest double, so the last row
# is reached only by NaN).
@pytest.mark.parametrize(
    "q", [0.9, 0.5, 0.4999, 0.3, 0.25, 0.2499, 0.01, math.exp(-9) * 1.0001, math.exp(-9) * 0.9999,
          1e-10, math.exp(-36) * 1.0001, math.exp(-36) * 0.9999, 1e-100, 1e-300, 3e-323],
)
def test_inverse_rows_against_normal_quantile(q):
    def exact(q):  # erfc(x) = q
        return -N.inv_cdf(q / 2) / math.sqrt(2)

    assert erfc_inv(q) == pytest.approx(exact(q), rel=1e-13)
    y = 2 - q  # (1, 2): both complements are exact, so the halves agree bit for bit
    if y < 2:
        assert same(erfc_inv(y), -erfc_inv(2 - y))
    if q >= 2**-53:
        assert erf_inv(1 - q) == pytest.approx(exact(1 - (1 - q)), rel=1e-13)
        assert same(erf_inv(q - 1), -erf_inv(1 - q))


@given(st.floats(min_value=-1, max_value=1, exclude_min=True, exclude_max=True))
def test_erf_of_erf_inv(p):
    assert erf(erf_inv(p)) == pytest.approx(p, rel=1e-9, abs=1e-300)


@pytest.mark.parametrize(
    "name, doc",
    [
        ("erf", "`erf` calculates the error function at `x`."),
        ("erfc", "`erfc` calculates the complementary error function\nat `x`."),
        ("erf_inv", "`erf_inv` calculates the inverse error function\nat `x`."),
        ("erfc_inv", "`erfc_inv` calculates the complementary inverse\nerror function at `x`."),
    ],
)
def test_python_surface(name, doc):
    fn = getattr(vantorel, name)
    assert (fn.__name__, fn.__text_signature__, fn.__doc__) == (name, "(x)", doc)
    assert fn(x=1) == fn(1.0)
