"""Runs every benchmark group (bench/cases_*.py) or those whose name contains the argument."""

from __future__ import annotations

import importlib
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).parent))

from harness import run_cases  # noqa: E402


def main(argv: list[str]) -> int:
    wanted = argv[1] if len(argv) > 1 else ""
    here = pathlib.Path(__file__).parent
    for path in sorted(here.glob("cases_*.py")):
        if wanted not in path.stem:
            continue
        module = importlib.import_module(path.stem)
        if module.CASES:
            run_cases(module.TITLE, module.CASES)
        else:
            print(f"\n== {module.TITLE} ==")
        if hasattr(module, "report"):  # figures other than times
            module.report()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
