"""The README's examples run, and print what their `# -> ...` comments say."""

from __future__ import annotations

import contextlib
import io
import pathlib
import re

import pytest

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"
BLOCKS = re.findall(r"```python\n(.*?)```", README.read_text(), re.S)


@pytest.mark.parametrize("code", BLOCKS, ids=[f"block{i}" for i in range(len(BLOCKS))])
def test_readme_example(code):
    if "matplotlib" in code:
        pytest.importorskip("matplotlib")
    # Each `print(...)  # -> expected` line must print a line starting with expected.
    expected = [m.group(1) for m in re.finditer(r"^print\(.*#\s->\s(.*?)(?:\s{2}\(.*)?$", code, re.M)]
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        exec(compile(code, str(README), "exec"), {})  # noqa: S102
    printed = out.getvalue().splitlines()
    assert expected or "plot_function" in code  # every example shows its output
    for want in expected:
        assert any(line.startswith(want) for line in printed), (want, printed)
