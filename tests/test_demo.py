"""The demo runs end to end and leaves its figures where it says."""

from __future__ import annotations

import pathlib
import subprocess
import sys

import pytest

DEMO = pathlib.Path(__file__).resolve().parent.parent / "examples" / "demo.py"


def test_demo_runs_and_writes_its_figures(tmp_path):
    pytest.importorskip("matplotlib")
    out_dir = tmp_path / "figures"
    result = subprocess.run(
        [sys.executable, str(DEMO), str(out_dir)], capture_output=True, text=True, timeout=300, cwd=tmp_path
    )
    assert result.returncode == 0, result.stderr
    assert f"Writing figures into {out_dir.resolve()}" in result.stdout
    pngs = sorted(out_dir.glob("*.png"))
    assert {p.name for p in pngs} >= {"call_value.png", "call_delta.png", "discount_curve.png", "erf.png", "bootstrapped_curve.png"}
    for png in pngs:
        assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and png.stat().st_size > 5000
    for section in ("Dates, tenors", "Market conventions", "option book", "Yield curves", "A million options", "Figures"):
        assert section in result.stdout
    assert "Traceback" not in result.stderr
