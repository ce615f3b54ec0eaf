"""Shared fixtures of the test-suite."""

from __future__ import annotations

import os
import subprocess
import sys
import textwrap

import pytest


@pytest.fixture
def run_python():
    """Runs a snippet in a fresh interpreter (for checks about the process itself:
    import machinery, sub-interpreters, fatal paths that must not kill the test run)."""

    def run(code: str, *args: str) -> subprocess.CompletedProcess[str]:
        return subprocess.run(
            [sys.executable, *args, "-c", textwrap.dedent(code)],
            capture_output=True,
            text=True,
            timeout=120,
            env={**os.environ, "PYTHONFAULTHANDLER": "1"},
        )

    return run


@pytest.fixture(scope="module")
def client():
    """A distributed client of a LocalCluster with two single-threaded worker processes,
    closed after the module (its threads would disturb the allocation counts of others)."""
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=":0") as cluster:
        with distributed.Client(cluster) as c:
            yield c
