# SPDX-License-Identifier: MIT
"""Times the datasig module against the programs it wraps, in alternating
rounds (each round runs every command of a comparison in turn, so that load
from elsewhere falls on all alike), and prints the median wall times and
their ratios: check() of one large file against validate, and check_files()
over a folder of small files against datasig check given the same files,
where they share a key line and where each has its own.
The module is timed inside this process, which has imported it already;
the programs as whole runs, their start included. bench/python_bench.sh
builds what this needs and runs it.
  python_bench.py VALIDATE DATASIG LARGE_FILE SMALL_FOLDER KEYS_FOLDER [ROUNDS]
"""
from __future__ import annotations

import functools
import os
import statistics
import subprocess
import sys
import time
from typing import Callable, List, Tuple

import datasig

Action = Callable[[], object]


def run(*command: str) -> None:
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def passed(outcome: datasig.Result | OSError) -> bool:
    return isinstance(outcome, datasig.Result) and outcome.passed


def count_passed(paths: List[str]) -> int:
    return sum(passed(outcome) for _, outcome in datasig.check_files(paths))


def compare(title: str, commands: List[Tuple[str, Action]], rounds: int) -> None:
    for _, action in commands:
        action()
    times: List[List[float]] = [[] for _ in commands]
    for _ in range(rounds):
        for (_, action), taken in zip(commands, times):
            start = time.perf_counter()
            action()
            taken.append(time.perf_counter() - start)
    print(f"{title}; {rounds} alternating rounds; median wall time, ratio to the first")
    first = statistics.median(times[0])
    for (name, _), taken in zip(commands, times):
        median = statistics.median(taken)
        print(f"  {name:<34} {median:9.4f} s  {median / first:6.2f}")


def main() -> None:
    validate, datasig_program, large, folder, keys_folder = (
        os.path.abspath(a) for a in sys.argv[1:6])
    rounds = int(sys.argv[6]) if len(sys.argv) > 6 else 11
    small = [os.path.join(folder, name) for name in sorted(os.listdir(folder))]
    keys = [os.path.join(keys_folder, name) for name in sorted(os.listdir(keys_folder))]
    if not datasig.check(large).passed or count_passed(small + keys) != len(small + keys):
        sys.exit("python_bench: not every generated file passes")

    mib = os.path.getsize(large) // (1 << 20)
    compare(f"one file of {mib} MiB", [
        ("validate FILE", lambda: run(validate, large)),
        ("datasig.check(FILE)", lambda: datasig.check(large)),
    ], rounds)
    for files, what in ((small, "one key line"), (keys, "a key line each")):
        os.chdir(os.path.dirname(files[0]))
        names = [os.path.basename(path) for path in files]
        compare(f"{len(names):,} files of 4 KiB, {what}", [
            ("datasig check FILE...", functools.partial(run, datasig_program, "check", *names)),
            ("datasig.check_files(FILES)", functools.partial(count_passed, names)),
        ], rounds)
    compare("starting Python and importing datasig, for scale", [
        ("python3 -c 'import datasig'", lambda: run(sys.executable, "-c", "import datasig")),
    ], rounds)


if __name__ == "__main__":
    main()
