#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Checks trees of data files with the module datasig on a dask.distributed
# cluster, and writes the lines, the summary and the exit status of
# `datasig check -r` for them:
#   examples/dask_check.py [--scheduler ADDRESS | --workers N] [--batch N]
#                          [--quiet | --status] FILE|FOLDER...
"""Checks the files under FILE|FOLDER... on a Dask cluster, as
``datasig check -r`` does on one machine.

This process walks the folders, in the order ``datasig check -r`` takes
them, and hands the paths in batches to ``datasig.check_files`` on the
cluster's workers; it writes the lines in order as the batches come back,
with a bounded number of batches in flight, so memory stays the same for
any number of files. Workers open the files by absolute path: on a real
cluster they must see the tree where this process sees it (a shared file
system).
"""
# distributed's functions carry few annotations; this file's own all do.
# mypy: allow-untyped-calls
from __future__ import annotations

import argparse
import collections
import errno
import logging
import os
import stat
import sys
from typing import BinaryIO, Deque, Iterator, List, Optional, Sequence, Tuple, Union

import datasig
from distributed import Client, Future, LocalCluster

# What a worker sends back for each path: its verdict ("passed", "altered"
# or "unsigned"), or, for a file that could not be read, whether it failed
# at "open" or "read" and the errno.
Outcome = Union[str, Tuple[str, int]]
# A file the walk found: its name, and what kept it from being checked (a
# folder that cannot be listed), or None.
Found = Tuple[bytes, Optional[str]]

BACKSLASH_SEPARATES = os.sep == "\\"


def check_batch(paths: List[bytes]) -> List[Outcome]:
    """Runs on a worker: checks paths one after the other (the worker's
    processes are the cluster's parallelism, so no threads of its own)."""
    outcomes: List[Outcome] = []
    for path, result in datasig.check_files(paths, jobs=1):
        if not isinstance(result, OSError):
            outcomes.append(result.verdict)
            continue
        # The module does not say which step failed; a file that opens now
        # failed while being read.
        step = "open"
        try:
            os.close(os.open(path, os.O_RDONLY))
            step = "read"
        except OSError:
            pass
        outcomes.append((step, result.errno or errno.EIO))
    return outcomes


# ---- The walk: the order of datasig check -r


def _is_file_to_check(entry: os.DirEntry[bytes]) -> bool:
    """Files, and links that name a file or nothing (which then cannot be
    opened); pipes, sockets, devices and links to folders are left out."""
    try:
        if not entry.is_symlink():
            return entry.is_file(follow_symlinks=False)
        mode = os.stat(entry.path).st_mode
    except OSError:
        return True
    return stat.S_ISREG(mode)


def _list(folder: bytes) -> List[Tuple[bytes, bool]]:
    """A folder's entries to walk, in the byte order of their names, each
    with whether it is a folder to enter."""
    entries = []
    with os.scandir(folder) as listing:
        for entry in listing:
            if entry.is_dir(follow_symlinks=False):
                entries.append((entry.name, True))
            elif _is_file_to_check(entry):
                entries.append((entry.name, False))
    entries.sort()
    return entries


def walk(names: Sequence[bytes]) -> Iterator[Found]:
    """The files that names stand for, one at a time: memory holds the
    listings of the folders on the way down, not the whole tree."""
    for name in names:
        if os.path.isdir(name):
            yield from _walk_folder(name)
        else:
            yield name, None


def _walk_folder(top: bytes) -> Iterator[Found]:
    # The folders on the way down, each with what is left of its listing.
    folders: List[Tuple[bytes, Iterator[Tuple[bytes, bool]]]] = []

    def enter(folder: bytes) -> Iterator[Found]:
        try:
            folders.append((folder, iter(_list(folder))))
        except OSError as error:
            yield folder, "cannot list the folder: " + os.strerror(error.errno or errno.EIO)

    yield from enter(top)
    while folders:
        folder, entries = folders[-1]
        entry = next(entries, None)
        if entry is None:
            folders.pop()
            continue
        path = os.path.join(folder, entry[0])
        if entry[1]:
            yield from enter(path)
        else:
            yield path, None


def batches(found: Iterator[Found], size: int) -> Iterator[List[Found]]:
    batch: List[Found] = []
    for item in found:
        batch.append(item)
        if len(batch) == size:
            yield batch
            batch = []
    if batch:
        yield batch


# ---- The lines


def line_name(name: bytes) -> bytes:
    """The name as datasig check writes it: one with a newline or a
    backslash as sha512sum writes it, after a backslash."""
    if b"\n" not in name and (BACKSLASH_SEPARATES or b"\\" not in name):
        return name
    if not BACKSLASH_SEPARATES:
        name = name.replace(b"\\", b"\\\\")
    return b"\\" + name.replace(b"\n", b"\\n")


class Lines:
    """Writes the lines of the outcomes, in the order given, and counts them."""

    def __init__(self, output: str, out: BinaryIO, err: BinaryIO) -> None:
        self.output = output  # "every", "failures" or "nothing"
        self.out = out
        self.err = err
        self.files = 0
        self.failed = 0
        self.unsigned = 0  # of those failed
        self.unreadable = 0

    def write(self, name: bytes, outcome: Outcome, problem: Optional[str] = None) -> None:
        """A file's line: its outcome, or the problem that kept it from
        being checked."""
        self.files += 1
        passed = problem is None and outcome == "passed"
        if problem is None and isinstance(outcome, str):
            word = b"OK" if passed else b"FAILED"
            self.failed += 0 if passed else 1
            self.unsigned += 1 if outcome == "unsigned" else 0
        else:
            word = b"FAILED open or read"
            self.unreadable += 1
        if self.output == "nothing" or (self.output == "failures" and passed):
            return
        reason = problem
        if isinstance(outcome, tuple):
            reason = f"cannot {outcome[0]}: {os.strerror(outcome[1])}"
        if reason is not None:
            self.err.write(b"datasig: " + line_name(name) + b": " + os.fsencode(reason) + b"\n")
        self.out.write(line_name(name) + b": " + word + b"\n")

    def summary(self) -> int:
        """Writes the summary, when any file is not OK; the exit status."""
        silent = self.output == "nothing"
        self.out.flush()
        if self.files == 0:
            if not silent:
                self.err.write(b"datasig: no file to check\n")
            return 1
        if self.failed == 0 and self.unreadable == 0:
            return 0
        if not silent:
            files = "file" if self.files == 1 else "files"
            unsigned = f" ({self.unsigned} unsigned)" if self.unsigned else ""
            self.err.write(f"datasig: {self.failed} of {self.files} {files} failed the check"
                           f"{unsigned}, {self.unreadable} could not be read\n".encode())
        return 1


# ---- The run


def check_on(client: Client, names: Sequence[bytes], batch: int, lines: Lines) -> None:
    """Checks the files under names on client's cluster, at most four
    batches per worker thread in flight, and writes their lines in order."""
    threads = sum(client.nthreads().values())
    ahead = 4 * max(threads, 1)
    here = os.getcwdb()
    window: Deque[Tuple[List[Found], Optional[Future]]] = collections.deque()

    def write_first() -> None:
        found, future = window.popleft()
        outcomes = iter(future.result() if future is not None else [])
        for name, problem in found:
            lines.write(name, next(outcomes) if problem is None else "", problem)

    for found in batches(walk(names), batch):
        paths = [os.path.join(here, name) for name, problem in found if problem is None]
        future = client.submit(check_batch, paths, pure=False) if paths else None
        window.append((found, future))
        if len(window) >= ahead:
            write_first()
    while window:
        write_first()


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(
        description="Checks the files under FILE|FOLDER... on a Dask cluster, "
        "and writes what datasig check -r writes for them.")
    parser.add_argument("names", nargs="+", metavar="FILE|FOLDER")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="the scheduler of a running cluster (tcp://HOST:8786); "
                       "by default a cluster of this machine's own on 127.0.0.1")
    where.add_argument("--workers", type=int, default=os.cpu_count() or 1, metavar="N",
                       help="worker processes of the local cluster (default: one per core)")
    parser.add_argument("--batch", type=int, default=256, metavar="N",
                        help="files a task checks (default: 256)")
    output = parser.add_mutually_exclusive_group()
    output.add_argument("--quiet", action="store_const", dest="output", const="failures",
                        default="every", help="write only the lines that are not OK")
    output.add_argument("--status", action="store_const", dest="output", const="nothing",
                        help="write nothing: the exit status tells")
    args = parser.parse_args(argv)
    if args.workers < 1 or args.batch < 1:
        parser.error("--workers and --batch take a number from 1")

    lines = Lines(args.output, sys.stdout.buffer, sys.stderr.buffer)
    names = [os.fsencode(name) for name in args.names]
    try:
        if args.scheduler is not None:
            with Client(args.scheduler) as client:
                check_on(client, names, args.batch, lines)
        else:
            # One thread per worker process: check_files runs with jobs=1
            # there, so threads are not nested.
            with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                              host="127.0.0.1", dashboard_address=None,
                              silence_logs=logging.ERROR) as cluster, Client(cluster) as client:
                check_on(client, names, args.batch, lines)
    except BrokenPipeError:
        # The reader went away (| head): end quietly, with the status of
        # datasig, which SIGPIPE ends.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 128 + 13
    except Exception as error:  # the cluster's, or one a worker raised
        lines.out.flush()
        lines.err.write(f"datasig: the check stopped: {error}\n".encode())
        return 2
    return lines.summary()


if __name__ == "__main__":
    sys.exit(main())
