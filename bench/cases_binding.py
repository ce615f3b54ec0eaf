"""The binding's cost over the interpreter's floor: a C call of seven floats that does nothing."""

from __future__ import annotations

import pathlib
import shutil
import subprocess
import sys
import sysconfig

from harness import Case, Peer


def _build_floor() -> bool:
    """Compiles bench/floor.c into build/bench-floor and puts it on sys.path; False without a compiler."""
    here = pathlib.Path(__file__).parent
    out = here.parent / "build" / "bench-floor"
    target = out / ("_bench_floor" + sysconfig.get_config_var("EXT_SUFFIX"))
    compiler = shutil.which("cc") or shutil.which("gcc")
    if compiler is None:
        return False
    out.mkdir(parents=True, exist_ok=True)
    command = [compiler, "-shared", "-fPIC", "-O2", "-ffp-contract=off", f"-I{sysconfig.get_paths()['include']}",
               str(here / "floor.c"), "-o", str(target), "-lm"]  # fmt: skip
    if subprocess.run(command, capture_output=True).returncode != 0:
        return False
    sys.path.insert(0, str(out))
    return True


TITLE = "binding"

_FLOOR = "_bench_floor" if _build_floor() else "_bench_floor_not_built"
_NOOP = Peer("C fastcall no-op(7 floats)", "noop7(100.0, 105.0, 0.05, 0.02, 0.75, 1.0, 0.2)",
             f"from {_FLOOR} import noop7", needs=_FLOOR)  # fmt: skip

_ARGS = "100.0, 105.0, 0.05, 0.02, 0.75, call, 0.2"
_KWARGS = "spot=100.0, strike=105.0, rate=0.05, div_yield=0.02, tau=0.75, pc_flag=call, vol=0.2"
_SETUP = (
    "from vantorel import BlackScholes, PutCallFlag; call = PutCallFlag.Call; "
    "npv = BlackScholes.npv; npv_impl = BlackScholes.npv_impl"
)

CASES = [
    Case("math.hypot(7 floats)", "hypot(100.0, 105.0, 0.05, 0.02, 0.75, 1.0, 0.2)", "from math import hypot", [_NOOP]),
    Case("npv_impl(7 floats)", "npv_impl(100.0, 105.0, 1.0, 0.96, 0.98, 0.55, 0.47)", _SETUP,
         [Peer(_NOOP.name, _NOOP.stmt, _NOOP.setup, needs=_FLOOR, goal=1.2)]),
    Case("npv(7 args)", f"npv({_ARGS})", _SETUP,
         [
             Peer("math.hypot(7 floats)", "hypot(100.0, 105.0, 0.05, 0.02, 0.75, 1.0, 0.2)", "from math import hypot",
                  goal=1.0),
             Peer("C fastcall npv on libm erf", "bs_npv(100.0, 105.0, 0.05, 0.02, 0.75, 1.0, 0.2)",
                  f"from {_FLOOR} import bs_npv", needs=_FLOOR),
         ]),
    Case("npv(7 keywords)", f"npv({_KWARGS})", _SETUP, [Peer("npv(7 args)", f"npv({_ARGS})", _SETUP, goal=1.15)]),
]  # fmt: skip
