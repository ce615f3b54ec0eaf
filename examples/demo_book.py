"""A book of one million options priced with vantorel_np, then the same on a local Dask cluster."""

from __future__ import annotations

import time

OPTIONS, CHUNK = 1_000_000, 250_000


def show() -> None:
    try:
        import book_dask as bd  # numpy and vantorel_np
    except ImportError:
        print("(this section needs pip install 'vantorel[dask]')")
        return
    curve = bd.make_curve()
    print(f"{OPTIONS:,} random European options valued on {bd.EVAL_DAY}, rates from a noded curve;")
    print("each chunk of the book is generated where it is priced (examples/book_dask.py).\n")
    seconds, here = bd.timed(lambda: bd.in_process(OPTIONS, CHUNK, curve))
    print(f"  vantorel_np in this process: {seconds:.2f} s ({OPTIONS / seconds:,.0f} options/s)")
    try:
        import dask.array  # noqa: F401
        import distributed  # noqa: F401
    except ImportError:
        print("  (the Dask part needs pip install 'vantorel[dask]')")
        return
    start = time.perf_counter()
    cluster, client = bd.local_cluster(2)
    with cluster, client:
        print(f"  LocalCluster of 2 process workers started in {time.perf_counter() - start:.2f} s")
        seconds, there = bd.timed(lambda: bd.on_cluster(client, OPTIONS, CHUNK, curve))
    print(f"  the same book on the cluster: {seconds:.2f} s ({OPTIONS / seconds:,.0f} options/s)")
    print(f"  book value {here[0]:,.6f} in process, {there[0]:,.6f} on the cluster")


if __name__ == "__main__":
    show()
