# SPDX-License-Identifier: MIT
# examples/dask_check.py on Dask clusters against datasig check -r
# (DATASIG_PROGRAM) over a generated tree of 20,000 files: the same lines,
# the same summary and reasons on standard error, the same exit status.
import json
import os
import subprocess
import sys
import time
from pathlib import Path

import pytest

import datasig

EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "dask_check.py"
FOLDERS = 20
FILES_PER_FOLDER = 1000


def program(variable):
    path = os.environ.get(variable)
    if not path:
        pytest.fail(f"{variable} must name the built program", pytrace=False)
    return path


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    """tree/ in a folder of its own: 20,000 files in folders whose names sort
    differently as bytes and as numbers, most signed, every 10th altered,
    every 13th unsigned, and beside them what the walk treats apart."""
    try:
        import distributed  # noqa: F401
    except ImportError:
        pytest.fail("distributed is missing: scripts/prerequisites.sh test installs it",
                    pytrace=False)
    top = tmp_path_factory.mktemp("dask")
    root = top / "tree"
    for k in range(FOLDERS):
        # d0/, d1/, d10/ ... and one of them three folders down.
        folder = root / (f"d{k}" if k != 7 else "d7/deeper/deepest")
        folder.mkdir(parents=True)
        for i in range(FILES_PER_FOLDER):
            n = k * FILES_PER_FOLDER + i
            content = b"HQDHWHARDWAREVERSION %d\nA reading %d\n" % (n % 5, n)
            data = content if n % 13 == 0 else datasig.sign(content)
            if n % 10 == 3:
                data = data.replace(b"reading", b"Reading")
            (folder / f"{i}.dat").write_bytes(data)
    signed = datasig.sign(b"A line\n")
    for name in ["new\nline.dat", "back\\slash.dat", "A.dat", "a-b.dat"]:
        (root / name).write_bytes(signed)
    with open(os.fsencode(root) + b"/\xff-not-utf-8.dat", "wb") as file:
        file.write(signed)
    (root / "d1" / "link.dat").symlink_to("0.dat")      # a file, through a link
    (root / "d1" / "nowhere.dat").symlink_to("gone")    # cannot be opened
    (root / "d2" / "folder-link").symlink_to("../d3")   # not followed
    (root / "d2" / "empty").mkdir()
    os.mkfifo(root / "d2" / "pipe")                     # left out
    (root / "locked").mkdir()
    (root / "locked" / "in.dat").write_bytes(signed)
    locked = [root / "d4" / "5.dat", root / "locked"]
    if os.geteuid() != 0:  # else they are read all the same
        for path in locked:
            path.chmod(0)
    yield top
    for path in locked:
        path.chmod(0o755)


def datasig_check(tree, *options):
    return subprocess.run([program("DATASIG_PROGRAM"), "check", "-r", *options, "tree",
                           "tree/A.dat"], cwd=tree, capture_output=True, check=False)


def dask_check(tree, *options):
    return subprocess.run([sys.executable, str(EXAMPLE), *options, "tree", "tree/A.dat"],
                          cwd=tree, capture_output=True, check=False)


def assert_same(got, expected):
    for stream in ("stdout", "stderr"):
        lines = getattr(got, stream).split(b"\n")
        wanted = getattr(expected, stream).split(b"\n")
        if lines != wanted:
            first = next(i for i, pair in enumerate(zip(lines + [None], wanted + [None]))
                         if pair[0] != pair[1])
            pytest.fail(f"{stream} differs from line {first + 1}: {lines[first:first + 3]}, "
                        f"not {wanted[first:first + 3]}", pytrace=False)
    assert got.returncode == expected.returncode


def test_on_a_local_cluster_as_datasig_check(tree):
    expected = datasig_check(tree)
    # The 20,000, 5 beside them, 2 links, the locked folder or its file,
    # and tree/A.dat once more.
    assert expected.stdout.count(b"\n") == FOLDERS * FILES_PER_FOLDER + 9
    assert expected.returncode == 1 and b"files failed the check" in expected.stderr
    assert_same(dask_check(tree, "--workers", "2"), expected)


def test_on_a_cluster_of_its_own_elsewhere(tree, tmp_path):
    """A scheduler and a worker started apart, from another folder: the
    worker finds the files by the paths it is given alone."""
    scheduler_file = tmp_path / "scheduler.json"
    started = []
    try:
        started.append(subprocess.Popen(
            [sys.executable, "-m", "dask", "scheduler", "--host", "127.0.0.1", "--port", "0",
             "--no-dashboard", "--scheduler-file", str(scheduler_file)],
            cwd=tmp_path, stderr=subprocess.DEVNULL))
        started.append(subprocess.Popen(
            [sys.executable, "-m", "dask", "worker", "--scheduler-file", str(scheduler_file),
             "--nworkers", "1", "--nthreads", "1", "--no-dashboard", "--no-nanny"],
            cwd=tmp_path, stderr=subprocess.DEVNULL))
        for _ in range(300):
            try:
                address = json.loads(scheduler_file.read_text())["address"]
                break
            except (OSError, ValueError):  # not yet there, or written in part
                time.sleep(0.1)
        else:
            pytest.fail("the scheduler did not start", pytrace=False)
        assert_same(dask_check(tree, "--quiet", "--batch", "100", "--scheduler", address),
                    datasig_check(tree, "--quiet"))
    finally:
        for process in reversed(started):
            process.terminate()
            process.wait(timeout=30)
