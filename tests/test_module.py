"""The module object: registration order, re-import, sub-interpreters, class rules, FatalError."""

import importlib
import os
import pathlib
import shutil
import subprocess
import sys

import pytest

import vantorel
from vantorel import BlackScholes, Calendar, Date, DayCounter, PutCallFlag, Tenor, Weekday

ALL = [
    "__version__", "plot_function", "Calendar", "YearMonthDay", "Date", "DayCounter", "Tenor",
    "BlackScholesMetrics", "BlackScholes", "Interpolator", "YieldCurve", "BusDayAdj", "ExtrapType",
    "InterpType", "StubType", "TenorUnit", "PutCallFlag", "PayerReceiverFlag", "Weekday", "exp",
    "ln", "log10", "log2", "pow2", "sqrt", "sin", "cos", "tan", "erf", "erfc", "erf_inv", "erfc_inv",
]  # fmt: skip

NO_CONSTRUCTOR = [
    "YearMonthDay", "BlackScholesMetrics", "BlackScholes", "YieldCurve", "BusDayAdj", "ExtrapType",
    "InterpType", "StubType", "TenorUnit", "PutCallFlag", "PayerReceiverFlag", "Weekday",
]  # fmt: skip
CLASSES = [name for name in ALL if name[0].isupper()]


def test_version_and_all_in_registration_order():
    assert vantorel.__version__ == "0.1.0"
    assert vantorel.__all__ == ALL
    assert [name for name in vars(vantorel) if name in ALL] == ALL
    assert vantorel.__doc__ == ""


def test_reimport_returns_the_same_module_object():
    first = sys.modules.pop("vantorel")
    try:
        again = importlib.import_module("vantorel")
        assert again is first and again.Date is first.Date
    finally:
        sys.modules["vantorel"] = first


def test_import_under_warnings_as_errors(run_python):
    result = run_python('import vantorel, pydoc; print("Date" in pydoc.render_doc(vantorel.Date))', "-W", "error")
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "True"


def test_import_after_memory_errors_in_earlier_imports(run_python):
    # The parameter names are interned at import, all or none: an import that
    # fails anywhere leaves nothing a later import or keyword call trips over.
    result = run_python(
        """
        import importlib.util, _testcapi
        import native_runtime  # the import machinery itself is not under test
        spec = importlib.util.find_spec("vantorel")
        for k in range(100000):
            _testcapi.set_nomemory(k, 0)
            try:
                module = importlib.util.module_from_spec(spec)  # runs the module's initialisation
                break
            except MemoryError:
                pass
            finally:
                _testcapi.remove_mem_hooks()
        import vantorel
        assert module is vantorel
        print(k > 10, vantorel.BlackScholes.rho_q_impl(cdf_d1=0.5, df_q=1.0, tau=1.0, chi=1.0, spot=2.0),
              vantorel.Date(2024, 1, 5).add_tenor(t="1M"), vantorel.Tenor(s="2W"))
        """
    )
    assert (result.returncode, result.stdout) == (0, "True -1.0 2024-02-05 2W\n"), result.stderr


# An application that embeds the interpreter, finalises it and initialises it
# again; each round imports the module afresh and uses its classes, keyword
# binding and FatalError.
_EMBEDDING_PROGRAM = r"""
#include <Python.h>
int main(int argc, char** argv) {
    for (int round = 0; round < 2; ++round) {
        Py_Initialize();
        if (PyRun_SimpleString(argv[1]) != 0) return 1;
        if (Py_FinalizeEx() < 0) return 2;
    }
    return argc == 2 ? 0 : 3;
}
"""

_EMBEDDED_ROUND = """
import native_runtime, vantorel
d = vantorel.Date(2024, 1, 5)
call = vantorel.PutCallFlag.Call
print(d.weekday(), d.is_business_day(cal=vantorel.Calendar("VT_WEEK")), d.add_tenor(t="1M"),
      vantorel.BlackScholes.npv(spot=100.0, strike=105.0, rate=0.05, div_yield=0.02, tau=0.75, pc_flag=call, vol=0.2))
try:
    vantorel.DayCounter.Thirty360.get_dcf(d, d)
except native_runtime.FatalError as exc:
    print("FatalError", exc)
"""


def test_finalise_and_initialise_the_interpreter_again(tmp_path):
    config = pathlib.Path(sys.base_prefix, "bin", f"python{sys.version_info[0]}.{sys.version_info[1]}-config")
    compiler = shutil.which("cc") or shutil.which("gcc")
    if compiler is None or not config.exists():
        pytest.skip("needs a C compiler and the interpreter's python3-config to build an embedding program")
    flags = subprocess.run([config, "--embed", "--cflags", "--ldflags"], capture_output=True, text=True, check=True)
    source = tmp_path / "embed.c"
    source.write_text(_EMBEDDING_PROGRAM)
    program = tmp_path / "embed"
    subprocess.run([compiler, source, "-o", program, *flags.stdout.split()], check=True, capture_output=True)
    # The embedded interpreter finds vantorel where this one does.
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(p for p in sys.path if p), "PYTHONFAULTHANDLER": "1"}
    result = subprocess.run([program, _EMBEDDED_ROUND], capture_output=True, text=True, timeout=120, env=env)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert len(lines) == 4 and lines[:2] == lines[2:], result.stdout
    assert lines[0].startswith("Weekday.Friday True 2024-02-05 5.") and lines[1] == "FatalError not implemented"


@pytest.mark.parametrize("main_first", [True, False])
def test_legacy_and_isolated_sub_interpreters_are_refused(run_python, main_first):
    # Refused whichever imports first: a sub-interpreter never locks the main one out.
    result = run_python(
        f"""
        import _testcapi
        if {main_first}:
            import vantorel
        print("legacy", _testcapi.run_in_subinterp("import vantorel"))
        try:
            import _interpreters as interpreters  # 3.13
            failure = interpreters.exec(interpreters.create(), "import vantorel")
            print("isolated", failure.type.__name__ if failure else "imported")
        except ImportError:
            import _xxsubinterpreters as interpreters  # 3.12
            try:
                interpreters.run_string(interpreters.create(), "import vantorel")
                print("isolated imported")
            except interpreters.RunFailedError as exc:
                print("isolated", "ImportError" if "ImportError" in str(exc) else exc)
        import vantorel
        print("main", vantorel.Date(2024, 1, 5))
        print("legacy", _testcapi.run_in_subinterp("import vantorel"))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["legacy -1", "isolated ImportError", "main 2024-01-05", "legacy -1"]
    assert "ImportError" in result.stderr and "sub-interpreters" in result.stderr


@pytest.mark.parametrize("name", NO_CONSTRUCTOR)
def test_classes_without_constructor(name):
    cls = getattr(vantorel, name)
    for args in [(), (1,), ("D",)]:
        with pytest.raises(TypeError, match="^No constructor defined$"):
            cls(*args)
    assert cls.__doc__ == ""
    assert cls.__text_signature__ is None


@pytest.mark.parametrize("name", CLASSES)
def test_classes_are_final_without_instance_dict(name):
    cls = getattr(vantorel, name)
    assert (cls.__module__, cls.__name__, cls.__qualname__) == ("vantorel", name, name)
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    assert not hasattr(cls, "__dictoffset__") or cls.__dictoffset__ == 0
    assert cls.__weakrefoffset__ == 0
    assert cls.__base__ is object


@pytest.mark.parametrize(
    "instance",
    [Date(2024, 1, 5), Date(2024, 1, 5).get_ymd(), Weekday.Monday, DayCounter.Act365, Tenor("3M"),
     Calendar("VT_WEEK"), BlackScholes.get_metrics(100, 100, 0.05, 0.02, 1.0, PutCallFlag.Call, 0.2)],
)  # fmt: skip
def test_instances_take_no_new_attributes(instance):
    with pytest.raises(AttributeError):
        instance.extra = 1
    with pytest.raises(TypeError):
        type(instance).extra = 1


def test_fatal_error_is_a_base_exception_outside_the_namespace():
    with pytest.raises(BaseException) as info:
        Date.days_in_month(2024, 13)
    exc_type = info.type
    assert (exc_type.__name__, exc_type.__qualname__, exc_type.__module__) == ("FatalError",) * 2 + ("native_runtime",)
    assert exc_type.__bases__ == (BaseException,)
    assert "BaseException" in exc_type.__doc__ and "fails fatally" in exc_type.__doc__
    assert "FatalError" not in vars(vantorel)
    # Created once: a second failure raises the same class, past `except Exception`;
    # the module stays usable.
    caught_by_exception = False
    with pytest.raises(exc_type):
        try:
            Date(1899, 1, 1) + (-1)
        except Exception:
            caught_by_exception = True
    assert not caught_by_exception
    assert Date(1899, 1, 1).to_int() == -363


def test_fatal_errors_in_a_fresh_process(run_python):
    result = run_python(
        """
        import vantorel
        try:
            vantorel.Date.days_in_month(2024, 0)
        except Exception:
            print("caught by Exception")
        except BaseException as exc:
            print(type(exc).__module__, type(exc).__name__, exc)
        print(vantorel.Date(2024, 2, 1) + 29)
        try:  # unhandled: ends the interpreter
            vantorel.DayCounter.Thirty360.get_dcf(vantorel.Date(2024, 1, 1), vantorel.Date(2024, 2, 1))
        except Exception:
            print("caught by Exception")
        """
    )
    assert result.returncode == 1
    assert result.stdout.splitlines() == [
        "native_runtime FatalError Invalid month (0), need to be betwen 1 and 12",
        "2024-03-01",
    ]
    # Every failure, caught or not, writes a diagnostic with its source position to stderr.
    assert "date.cpp:" in result.stderr and "Invalid month (0)" in result.stderr
    # The position names the file relative to the project, wherever it was built.
    assert "vantorel: fatal error at src/datetime/day_counter.cpp:" in result.stderr
    assert "Traceback" in result.stderr
    assert result.stderr.splitlines()[-1] == "native_runtime.FatalError: not implemented"


def test_fatal_error_is_importable_first_and_pickles(run_python):
    result = run_python(
        """
        import pickle, sys
        from native_runtime import FatalError
        assert "vantorel" not in sys.modules
        import vantorel
        try:
            vantorel.Date(2024, 1, 1).add_tenor("1B")
        except FatalError as exc:
            copy = pickle.loads(pickle.dumps(exc))
            print(type(exc) is FatalError, type(copy) is FatalError, copy)
        """
    )
    assert result.stdout.splitlines() == ["True True Cannot add TenorUnit::B without a calendar input"]
