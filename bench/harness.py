"""Benchmark harness: times vantorel and its peers in the same run and prints ratios.

A case times one vantorel statement against one or more peer statements; the
ratio is vantorel's time over the peer's (below 1.0: vantorel is faster). Each
pair is timed as the best of several alternating rounds of automatically sized
loops, so one noisy round does not decide the figure and a slow drift of the
machine hits both sides alike. Benchmarks report; they
never fail.
"""

from __future__ import annotations

import time
import timeit
from dataclasses import dataclass, field


@dataclass
class Peer:
    name: str
    stmt: str
    setup: str = ""
    # Module the peer needs; the peer is skipped when it does not import.
    needs: str | None = None
    # Goal for vantorel's time over this peer's (None: report only).
    goal: float | None = None


@dataclass
class Case:
    name: str
    stmt: str
    setup: str = ""
    peers: list[Peer] = field(default_factory=list)


def _loop_count(timer: timeit.Timer, min_time: float) -> int:
    number = 1
    while timer.timeit(number) < min_time:
        number *= 4
    return number


def best_ns_pair(
    stmt_a: str, setup_a: str, stmt_b: str, setup_b: str, repeat: int = 9, min_time: float = 0.05
) -> tuple[float, float]:
    """Best time of one execution of each statement, in nanoseconds. The two
    are timed in alternating rounds, so that a drift of the machine's speed
    (frequency ramps, a neighbour's load) hits both alike."""
    timers = [timeit.Timer(stmt_a, setup=setup_a), timeit.Timer(stmt_b, setup=setup_b)]
    numbers = [_loop_count(t, min_time) for t in timers]
    best = [float("inf"), float("inf")]
    for _ in range(repeat):
        for i, (timer, number) in enumerate(zip(timers, numbers)):
            best[i] = min(best[i], timer.timeit(number) / number * 1e9)
    return best[0], best[1]


def warm_up(seconds: float = 0.5) -> None:
    """Keeps the CPU busy for a moment so that the first figures are not taken
    while the processor is still leaving an idle state."""
    end = time.perf_counter() + seconds
    while time.perf_counter() < end:
        pass


def available(module: str | None) -> bool:
    if module is None:
        return True
    try:
        __import__(module)
    except Exception:
        return False
    return True


def run_cases(title: str, cases: list[Case]) -> list[tuple[str, str, float | None, float | None]]:
    """Times every case and prints a table; returns (case, peer, ratio, goal) rows."""
    rows: list[tuple[str, str, float | None, float | None]] = []
    print(f"\n== {title} ==")
    print(f"{'case':<44} {'vantorel ns':>11} {'peer':<26} {'peer ns':>10} {'ratio':>7} {'goal':>6}")
    warm_up()
    for case in cases:
        for peer in case.peers:
            goal = f"{peer.goal:.2f}" if peer.goal is not None else "-"
            if not available(peer.needs):
                print(f"{case.name:<44} {'-':>11} {peer.name:<26} {'n/a':>10} {'-':>7} {goal:>6}")
                rows.append((case.name, peer.name, None, peer.goal))
                continue
            ours, theirs = best_ns_pair(case.stmt, case.setup, peer.stmt, peer.setup)
            ratio = ours / theirs
            mark = "" if peer.goal is None or ratio <= peer.goal else "  (above goal)"
            print(
                f"{case.name:<44} {ours:>11.1f} {peer.name:<26} {theirs:>10.1f} {ratio:>7.2f} {goal:>6}{mark}"
            )
            rows.append((case.name, peer.name, ratio, peer.goal))
    return rows
