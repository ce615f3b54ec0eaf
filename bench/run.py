"""Runs every benchmark group (bench/cases_*.py) or those whose name contains the argument,
then lists every goal of the groups run, met or not, with the SIMD target of the array loops
(`python bench/run.py arrays`: the goals of the array loops alone)."""

from __future__ import annotations

import importlib
import os
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).parent))

from harness import run_cases, summary  # noqa: E402


def main(argv: list[str]) -> int:
    wanted = argv[1] if len(argv) > 1 else ""
    here = pathlib.Path(__file__).parent
    rows = []
    for path in sorted(here.glob("cases_*.py")):
        if wanted not in path.stem:
            continue
        module = importlib.import_module(path.stem)
        if module.CASES:
            rows += run_cases(module.TITLE, module.CASES)
        else:
            print(f"\n== {module.TITLE} ==")
        if hasattr(module, "report"):  # figures other than times
            module.report()
    try:
        from vantorel_np import simd_target
    except ImportError:  # the module without its array package
        simd_target = "none"
    summary(f"goals (SIMD target {simd_target}, load average {os.getloadavg()[0]:.2f} at the end)", rows)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
