"""Figures drawn with vantorel.plot_function and written as PNG files (needs matplotlib)."""

from __future__ import annotations

import math
import pathlib
import sys
from collections.abc import Callable
from typing import Any

import vantorel


def _pyplot() -> Any:
    """matplotlib.pyplot on the Agg backend: figures go to files, no display is needed."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    return plt


def save_plot(
    func: Callable[[float], float],
    x0: float,
    x1: float,
    path: pathlib.Path,
    title: str,
    *,
    xlabel: str | None = None,
    ylabel: str | None = None,
    **plot_kwargs: Any,
) -> pathlib.Path:
    """Samples func over [x0, x1) with plot_function, titles the figure and writes it to path.

    plot_kwargs go to plot_function: its own parameters (n, grid, figsize) and any
    matplotlib line property; a `label` puts a legend beside the axes.
    """
    plt = _pyplot()
    vantorel.plot_function(func, x0, x1, show=False, **plot_kwargs)
    try:
        plt.title(title)
        if xlabel is not None:
            plt.xlabel(xlabel)
        if ylabel is not None:
            plt.ylabel(ylabel)
        # The legend sits outside the axes: keep it inside the saved image.
        plt.savefig(path, dpi=100, bbox_inches="tight")
    finally:
        plt.close()
    return path


def write_figures(out_dir: pathlib.Path) -> list[pathlib.Path]:
    """Writes the demo's figures into out_dir (created if needed) and returns their paths."""
    out_dir.mkdir(parents=True, exist_ok=True)
    erf = getattr(vantorel, "erf", math.erf)
    return [
        save_plot(
            erf, -3.0, 3.0, out_dir / "erf.png", "The error function",
            xlabel="x", ylabel="erf(x)", n=200, figsize=(6.0, 4.0), label="erf(x)",
        ),
    ]


def show(out_dir: pathlib.Path = pathlib.Path("demo-figures")) -> None:
    """Writes the figures and lists them."""
    paths = write_figures(out_dir)
    print("Figures written by plot_function")
    print(f"  {'file':<40} {'bytes':>9}")
    for path in paths:
        print(f"  {str(path):<40} {path.stat().st_size:>9,}")


if __name__ == "__main__":
    show(pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path("demo-figures"))
