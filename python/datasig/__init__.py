# SPDX-License-Identifier: MIT
"""Tells whether a signed text data file has been altered, as ``validate``
does, and signs and explains data files, as ``datasig`` does.

    >>> import datasig
    >>> datasig.check("examples/calibration.dat").passed
    True

Data is given as a bytes-like object (the file's content), a path (``str``
or ``os.PathLike``) or a binary file object. Texts the check computes are
``str`` (``Result.expected``); texts read from the file are ``bytes``, as
they were read (``Result.found``, ``Result.key_line``). A file that cannot
be opened or read raises ``OSError`` (``FileNotFoundError``,
``IsADirectoryError``, ``PermissionError`` ...) with its errno and name.
"""
from __future__ import annotations

import collections
import concurrent.futures
import io
import os
from typing import IO, TYPE_CHECKING, Iterable, Iterator, List, Tuple, TypeVar, Union, cast

from . import _datasig
from ._datasig import Checker, Result, Warning

if TYPE_CHECKING:
    from _typeshed import ReadableBuffer, StrOrBytesPath

    Data = Union[ReadableBuffer, StrOrBytesPath, IO[bytes]]

__all__ = ["Checker", "Result", "Warning", "check", "check_files", "explain", "sign", "__version__"]
__version__: str = _datasig.VERSION

_P = TypeVar("_P", bound="StrOrBytesPath")
_CHUNK = 1 << 20
# Files a thread checks at each hand-over: the pool's own cost per task is
# about that of checking a small file.
_BATCH = 32


def _chunks(file: IO[bytes]) -> Iterator[ReadableBuffer]:
    if isinstance(file, io.TextIOBase):
        raise TypeError("a binary file is required, not a text file")
    readinto = getattr(file, "readinto", None)
    if readinto is None:
        while chunk := file.read(_CHUNK):
            yield chunk
        return
    buffer = memoryview(bytearray(_CHUNK))
    while got := readinto(buffer):
        yield buffer[:got]


def _read_all(data: Data) -> ReadableBuffer:
    if isinstance(data, (str, os.PathLike)):
        try:
            with open(data, "rb") as file:
                return file.read()
        except OSError as error:
            # A failed read does not name its file; check() names it as given.
            raise OSError(error.errno, error.strerror, os.fspath(data)) from None
    if hasattr(data, "read"):
        return b"".join(_chunks(cast("IO[bytes]", data)))
    return cast("ReadableBuffer", data)


def check(data: Data) -> Result:
    """Checks a data file as validate does and returns what it found."""
    if isinstance(data, (str, os.PathLike)):
        return _datasig.check_path(data)
    if hasattr(data, "read"):
        checker = Checker()
        for chunk in _chunks(cast("IO[bytes]", data)):
            checker.update(chunk)
        return checker.finish()
    return _datasig.check_bytes(cast("ReadableBuffer", data))


def sign(data: Data) -> bytes:
    """The data file signed, byte for byte as ``datasig sign`` writes it.

    Raises ValueError when it cannot be signed so that it passes the check.
    """
    return _datasig.sign(_read_all(data))


def explain(data: Data, name: StrOrBytesPath | None = None) -> str:
    """The report ``datasig explain NAME`` prints, its verdict included.

    name defaults to the path given, else the file object's name, else "-".
    """
    if name is None:
        given = data if isinstance(data, (str, os.PathLike)) else getattr(data, "name", None)
        name = given if isinstance(given, (str, bytes, os.PathLike)) else "-"
    return _datasig.explain(_read_all(data), name)


def check_files(
    paths: Iterable[_P], jobs: int | None = None
) -> Iterator[Tuple[_P, Union[Result, OSError]]]:
    """Checks many files, ``jobs`` at a time (one per core by default), as
    ``datasig check`` does, and yields ``(path, Result or OSError)`` for each
    in the order given. A folder is a file that cannot be read."""
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError("check_files() takes an iterable of paths, not one path")
    if jobs is None:
        jobs = os.cpu_count() or 1
    if jobs < 1:
        raise ValueError("jobs must be at least 1")
    return _check_files(_batches(paths), jobs)


def _check_files(batches: Iterator[List[_P]], jobs: int) -> Iterator[Tuple[_P, Result | OSError]]:
    if jobs == 1:
        for batch in batches:
            yield from zip(batch, _datasig.check_paths(batch))
        return
    pool = concurrent.futures.ThreadPoolExecutor(jobs, thread_name_prefix="datasig")
    # A bounded window of batches: memory stays the same whatever the count.
    window: collections.deque[Tuple[List[_P], concurrent.futures.Future[List[Result | OSError]]]]
    window = collections.deque()
    try:
        for batch in batches:
            window.append((batch, pool.submit(_datasig.check_paths, batch)))
            if len(window) >= 4 * jobs:
                done, outcomes = window.popleft()
                yield from zip(done, outcomes.result())
        while window:
            done, outcomes = window.popleft()
            yield from zip(done, outcomes.result())
    finally:
        pool.shutdown(wait=True, cancel_futures=True)


def _batches(paths: Iterable[_P]) -> Iterator[List[_P]]:
    batch: List[_P] = []
    for path in paths:
        batch.append(path)
        if len(batch) == _BATCH:
            yield batch
            batch = []
    if batch:
        yield batch
