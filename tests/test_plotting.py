"""plot_function: the calls made on matplotlib.pyplot, argument errors, and a real drawing."""

import ctypes
import math
import signal
import sys
import types
from collections import namedtuple
from fractions import Fraction

import pytest

from vantorel import plot_function

PYPLOT_CALLS = ("figure", "plot", "legend", "tight_layout", "grid", "show")
LEGEND = {"bbox_to_anchor": (1.03, 1.0), "loc": "upper left", "borderaxespad": 0.0}


class FakePyplot(types.ModuleType):
    """Stands in for matplotlib.pyplot: records every call (and the sampled
    function's calls) in one list; the call named by `fail` raises `error`."""

    def __init__(self) -> None:
        super().__init__("matplotlib.pyplot")
        self.calls: list[tuple] = []
        self.fail: str | None = None
        self.error = RuntimeError("drawing failed")

    def __getattr__(self, name: str):
        if name not in PYPLOT_CALLS:
            raise AttributeError(name)

        def call(*args, **kwargs):
            self.calls.append((name, args, kwargs))
            if name == self.fail:
                raise self.error

        return call

    def func(self, result=lambda x: x * x):
        """A function to plot whose calls are recorded; fail="func" makes its second call raise."""

        def f(*args, **kwargs):
            self.calls.append(("func", args, kwargs))
            if self.fail == "func" and len([c for c in self.calls if c[0] == "func"]) == 2:
                raise self.error
            return result(*args)

        return f


@pytest.fixture
def pyplot(monkeypatch):
    fake = FakePyplot()
    monkeypatch.setitem(sys.modules, "matplotlib", types.ModuleType("matplotlib"))
    monkeypatch.setitem(sys.modules, "matplotlib.pyplot", fake)
    return fake


def test_signature():
    assert plot_function.__text_signature__ == "(func, x0, x1, n=100, grid=True, show=True, figsize=None, **py_kwargs)"
    assert plot_function.__doc__ is None  # the docstring is the signature block alone


@pytest.mark.parametrize(
    "x0, x1, n, xs",
    [
        (0.0, 1.0, 4, [0.0, 0.25, 0.5, 0.75]),
        (1.0, 0.0, 4, [1.0, 0.75, 0.5, 0.25]),
        (0.0, 1.0, 0, []),
        # (i*(x1 - x0))/n + x0; x0 + i*((x1 - x0)/n) would give 0.20000000000000018
        (-1.0, 1.0, 5, [-1.0, -0.6, -0.19999999999999996, 0.19999999999999996, 0.6000000000000001]),
    ],
)
def test_samples(pyplot, x0, x1, n, xs):
    assert plot_function(pyplot.func(), x0, x1, n=n, show=False) is None
    assert pyplot.calls[: n + 1] == [*[("func", (x,), {}) for x in xs], ("plot", (xs, [x * x for x in xs]), {})]
    assert all(type(x) is float for x in pyplot.calls[n][1][0])


Size = namedtuple("Size", "w h")


@pytest.mark.parametrize(
    "kwargs, plot_kw",
    [({}, {}), ({"label": "sin"}, {"label": "sin"}), ({"label": None, "lw": 2}, {"label": None, "lw": 2}),
     ({"color": "red"}, {"color": "red"}), ({"figsize": (8, 4)}, {}), ({"figsize": Size(8, 4)}, {}),
     ({"grid": False, "show": False}, {}), ({"grid": True, "show": False, "figsize": None}, {})],
)  # fmt: skip
def test_call_sequence(pyplot, kwargs, plot_kw):
    plot_function(pyplot.func(), 0.0, 1.0, 2, **kwargs)
    figure = [("figure", (), {"figsize": (8, 4)})] if kwargs.get("figsize") else []
    legend = [("legend", (), LEGEND)] if "label" in kwargs else []
    grid = [("grid", (True,), {})] if kwargs.get("grid", True) else []
    show = [("show", (), {})] if kwargs.get("show", True) else []
    assert pyplot.calls == [
        *figure,
        ("func", (0.0,), {}),
        ("func", (0.5,), {}),
        ("plot", ([0.0, 0.5], [0.0, 0.25]), plot_kw),
        *legend,
        ("tight_layout", (), {}),
        *grid,
        *show,
    ]
    if figure:
        assert type(pyplot.calls[0][2]["figsize"]) is tuple
    if legend:
        kw = pyplot.calls[3][2]
        assert list(kw) == list(LEGEND) and type(kw["borderaxespad"]) is float


def test_every_parameter_by_keyword(pyplot):
    f = pyplot.func()
    plot_function(func=f, x0=1, x1=2, n=1, grid=False, show=False, figsize=None, alpha=0.5)
    assert pyplot.calls == [("func", (1.0,), {}), ("plot", ([1.0], [1.0]), {"alpha": 0.5}), ("tight_layout", (), {})]


@pytest.mark.parametrize("result, y", [(3, 3.0), (Fraction(1, 4), 0.25), (-0.0, -0.0)])
def test_results_become_floats(pyplot, result, y):
    plot_function(pyplot.func(lambda x: result), 0.0, 1.0, n=1, show=False)
    (ys,) = [c[1][1] for c in pyplot.calls if c[0] == "plot"]
    assert ys == [y] and type(ys[0]) is float and math.copysign(1, ys[0]) == math.copysign(1, y)


def test_none_result_raises_after_figure(pyplot):
    with pytest.raises(TypeError, match=r"^must be real number, not NoneType$") as info:
        plot_function(pyplot.func(lambda x: None), 0.0, 1.0, n=3, figsize=(8, 4))
    assert info.value.__cause__ is None
    assert pyplot.calls == [("figure", (), {"figsize": (8, 4)}), ("func", (0.0,), {})]


F = object()  # placeholder for a recording function
OVERFLOW = "out of range integral type conversion attempted"


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((), {}, TypeError, "plot_function() missing 3 required positional arguments: 'func', 'x0', and 'x1'"),
        ((F, 0.0, 1.0, 4, True, True, None, 1), {}, TypeError,
         "plot_function() takes from 3 to 7 positional arguments but 8 were given"),
        ((F, "a", 1.0), {}, TypeError, "argument 'x0': must be real number, not str"),
        ((F, 0.0, 1.0), {"n": -1}, OverflowError, OVERFLOW),
        ((F, 0.0, 1.0), {"n": 2**64}, OverflowError, OVERFLOW),
        ((F, 0.0, 1.0), {"n": 1.5}, TypeError, "argument 'n': 'float' object cannot be interpreted as an integer"),
        ((F, 0.0, 1.0), {"grid": 1}, TypeError, "argument 'grid': expected bool, got int"),
        ((F, 0.0, 1.0), {"show": None}, TypeError, "argument 'show': expected bool, got NoneType"),
        ((F, 0.0, 1.0), {"figsize": [8, 4]}, TypeError, "argument 'figsize': expected tuple, got list"),
    ],
)
def test_argument_errors_come_first(monkeypatch, args, kwargs, error, message):
    # Without pyplot, importing it before checking the arguments would raise ImportError.
    monkeypatch.setitem(sys.modules, "matplotlib.pyplot", None)
    calls = []
    args = tuple(calls.append if a is F else a for a in args)
    with pytest.raises(error) as info:
        plot_function(*args, label="x", **kwargs)
    assert type(info.value) is error and str(info.value) == message
    if message.startswith("argument '"):
        assert type(info.value.__cause__) is TypeError and str(info.value.__cause__) == message.split("': ", 1)[1]
    else:
        assert info.value.__cause__ is None
    assert calls == []


def test_non_string_keyword_from_c(pyplot):
    # Only a C caller can hand over a keyword dict with other keys than str.
    call = ctypes.pythonapi.PyObject_Call
    call.restype = ctypes.py_object
    call.argtypes = [ctypes.py_object] * 3
    with pytest.raises(TypeError, match=r"^plot_function\(\) keywords must be strings$"):
        call(plot_function, (pyplot.func(), 0.0, 1.0), {1: 2})
    assert pyplot.calls == []


FULL_RUN = ["figure", "func", "func", "plot", "legend", "tight_layout", "grid", "show"]


@pytest.mark.parametrize("fail", ["func", *PYPLOT_CALLS])
def test_exceptions_propagate_unchanged(pyplot, fail):
    pyplot.fail = fail
    with pytest.raises(RuntimeError) as info:
        plot_function(pyplot.func(), 0.0, 1.0, n=2, figsize=(4, 3), label="x")
    assert info.value is pyplot.error
    stop = FULL_RUN.index(fail) + (fail == "func")  # func fails on its second call
    assert [c[0] for c in pyplot.calls] == FULL_RUN[: stop + 1]


def test_missing_matplotlib(monkeypatch):
    monkeypatch.setitem(sys.modules, "matplotlib.pyplot", None)
    calls = []
    with pytest.raises(ImportError):
        plot_function(calls.append, 0.0, 1.0, figsize=(1, 1))
    assert calls == []


def test_no_reference_leaks(pyplot):
    pyplot.calls = types.SimpleNamespace(append=lambda call: None)  # keep nothing
    result, label, size = Fraction(1, 3), object(), (4.0, 3.0)
    f = pyplot.func(lambda x: result)
    before = [sys.getrefcount(o) for o in (f, result, label, size)]
    for _ in range(200):
        plot_function(f, 0.0, 1.0, n=5, figsize=size, label=label)
    assert [sys.getrefcount(o) for o in (f, result, label, size)] == before


def test_real_matplotlib():
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    plot_function(math.sin, 0.0, math.pi, n=8, show=False, figsize=(4, 3), label="sin")
    fig = plt.gcf()
    try:
        (line,) = fig.axes[0].get_lines()
        xs = [i * math.pi / 8 for i in range(8)]
        assert (list(line.get_xdata()), list(line.get_ydata())) == (xs, [math.sin(x) for x in xs])
        assert [t.get_text() for t in fig.axes[0].get_legend().get_texts()] == ["sin"]
        assert tuple(fig.get_size_inches()) == (4.0, 3.0)
    finally:
        plt.close(fig)


def test_sampling_a_c_function_can_be_interrupted(pyplot):
    def interrupt(signum, frame):
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGALRM, interrupt)
    signal.setitimer(signal.ITIMER_REAL, 0.05)
    try:
        with pytest.raises(KeyboardInterrupt):
            plot_function(abs, 0.0, 1.0, 10**8, show=False)  # abs never checks for signals
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert not [c for c in pyplot.calls if c[0] == "plot"]
