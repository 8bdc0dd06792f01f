# SPDX-License-Identifier: MIT
# The module against the programs it wraps (VALIDATE_PROGRAM and
# DATASIG_PROGRAM name them): the same verdicts, fields, signed bytes and
# reports, on the examples and on files generated from seeds.
import errno
import importlib.metadata
import io
import json
import os
import random
import re
import subprocess
from pathlib import Path

import pytest

import datasig

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
TESTS = Path(__file__).resolve().parents[2] / "tests"
# The reports datasig explain is held to, each with the file it explains.
REPORTS = [line.split("\t") for line in
           (TESTS / "datasig/explain/reports.tsv").read_text().splitlines()
           if line and not line.startswith("#")]
SEEDS = range(30)


def program(variable):
    path = os.environ.get(variable)
    if not path:
        pytest.fail(f"{variable} must name the built program", pytrace=False)
    return path


def run(*command):
    return subprocess.run(command, capture_output=True, check=False)


def validate_passes(path):
    out = run(program("VALIDATE_PROGRAM"), path)
    assert out.returncode == 0 and not out.stderr, out
    return out.stdout.strip() == b"Validation check passed, data indicated as correct"


def generated(seed):
    """A data file with what the reader treats apart: both line ends, key
    lines, lines past 79 characters, NULs, 0x1A, 0, 1 or 3 signature lines."""
    rng = random.Random(seed)
    eol = rng.choice([b"\n", b"\r\n"])
    text = lambda n: bytes(rng.choice(b"ABCHGx #=.-09\r\x80\xff") for _ in range(n))
    signature = lambda: b"G" + bytes(rng.choice(b"0123456789ABCDEF") for _ in range(64))
    makers = [
        lambda: bytes([rng.choice(b"ABCH")]) + text(rng.randint(0, 60)),
        lambda: b"HQDHWHARDWAREVERSION" + text(rng.randint(0, 70)),
        lambda: bytes([rng.choice(b"AC#")]) + text(rng.randint(80, 250)),
        lambda: b"A" + text(rng.randint(0, 10)) + b"\0" + text(rng.randint(0, 10)),
        lambda: b"\0" + text(5),
        lambda: b"# " + text(rng.randint(0, 20)),
        lambda: b"",
        lambda: signature().lower(),
    ]
    lines = [rng.choice(makers)() for _ in range(rng.randint(0, 14))]
    for _ in range(rng.choice([0, 1, 3])):
        lines.insert(rng.randint(0, len(lines)), signature())
    data = eol.join(lines) + (eol if rng.random() < 0.8 else b"")
    if rng.random() < 0.2:
        data += b"\x1a" + text(rng.randint(0, 20))
    return data


@pytest.fixture(scope="session")
def files(tmp_path_factory):
    """The generated files, every third signed by the real datasig."""
    folder = tmp_path_factory.mktemp("generated")
    paths = []
    for seed in SEEDS:
        path = folder / f"file{seed:02}.dat"
        path.write_bytes(generated(seed))
        if seed % 3 == 0:
            signed = run(program("DATASIG_PROGRAM"), "sign", str(path))
            assert signed.returncode == 0, signed
            path.write_bytes(signed.stdout)
        paths.append(path)
    return paths


def raw(result):
    return (result.passed, result.digest, result.expected, result.found, result.found_lines,
            result.key_line, result.key_line_number, result.digested_pieces,
            result.ignored_pieces, result.signature_pieces)


def printable(text):
    return "".join(chr(c) if 0x20 <= c <= 0x7E else "?" for c in text)


def fields_of_result(result):
    found = [printable(line[:65].removesuffix(b"\n")) if n else "(none)"
             for line, n in zip(result.found, result.found_lines)]
    return {
        "pieces": (result.digested_pieces, result.ignored_pieces, result.signature_pieces),
        "key_line": (result.key_line_number, printable(result.key_line)),
        "digest": result.digest.hex().upper(),
        "found_lines": result.found_lines,
        "expected": result.expected,
        "found": tuple(found),
        "warnings": tuple(warning.text for warning in result.warnings),
    }


def fields_of_report(report):
    """The same fields, as datasig explain prints them."""
    pieces = re.search(r"^pieces: (\d+) digested, (\d+) ignored, (\d+) signature$", report, re.M)
    key = re.search(r"^key line: line (\d+)(?:, the last of \d+)?: (.*)$", report, re.M)
    digest = re.search(r"^digest: (\w+)\n +(\w+)$", report, re.M)
    slots = re.findall(r"^(?:first|second) signature line(?: \(line (\d+)\))?: .*\n"
                       r"  expected  (G\w+)\n  found     (.*)$", report, re.M)
    warnings = re.search(r"^warnings: (?:none|\d+)\n((?:  .*\n)*)", report, re.M)
    return {
        "pieces": tuple(int(n) for n in pieces.groups()),
        "key_line": (int(key[1]), key[2]) if key else (0, ""),
        "digest": digest[1] + digest[2],
        "found_lines": tuple(int(line or 0) for line, _, _ in slots),
        "expected": tuple(expected for _, expected, _ in slots),
        "found": tuple(found for _, _, found in slots),
        "warnings": tuple(line[2:] for line in warnings[1].splitlines()),
    }


@pytest.mark.parametrize("name, passes", [("calibration.dat", True),
                                          ("calibration-altered.dat", False)])
def test_examples(name, passes):
    path = EXAMPLES / name
    assert validate_passes(path) is passes
    assert datasig.check(path).passed is passes
    assert datasig.check(str(path)).verdict == ("passed" if passes else "altered")
    unsigned = datasig.check(b"".join(line for line in path.read_bytes().splitlines(True)
                                      if not line.startswith(b"G")))
    assert unsigned.verdict == "unsigned" and unsigned.warnings[0].kind == "missing_signature"


@pytest.mark.parametrize("report, file", REPORTS)
def test_explain_gives_the_kept_report(report, file):
    path = TESTS / file
    kept = (TESTS / "datasig/explain" / report).read_bytes().decode("utf-8", "surrogateescape")
    assert datasig.explain(path.read_bytes(), name=path.name) == kept


@pytest.mark.parametrize("seed", SEEDS)
def test_generated_file_as_the_programs_see_it(files, seed):
    path = files[seed]
    data = path.read_bytes()
    result = datasig.check(path)
    assert result.passed == validate_passes(path)
    assert raw(result) == raw(datasig.check(data)) == raw(datasig.check(io.BytesIO(data)))

    explained = run(program("DATASIG_PROGRAM"), "explain", str(path))
    report = explained.stdout.decode("utf-8", "surrogateescape")
    assert datasig.explain(path) == datasig.explain(data, name=str(path)) == report
    assert fields_of_result(result) == fields_of_report(report)

    signed = run(program("DATASIG_PROGRAM"), "sign", str(path))
    assert signed.returncode == 0, signed
    assert datasig.sign(path) == datasig.sign(data) == signed.stdout
    assert datasig.check(signed.stdout).passed


def test_generated_files_pass_and_fail(files):
    passed = sum(datasig.check(path).passed for path in files)
    assert len(SEEDS) // 3 <= passed < len(SEEDS)


def test_json_lines_agree_with_the_module(files):
    """datasig check --json tells of each generated file what the module's
    Result tells: the verdict, the digest, the key line and the warnings."""
    out = run(program("DATASIG_PROGRAM"), "check", "--json", *map(str, files))
    objects = [json.loads(line) for line in out.stdout.decode().splitlines()]
    assert [o["name"] for o in objects] == [str(path) for path in files]
    for path, found in zip(files, objects):
        result = datasig.check(path)
        assert found["status"] == result.verdict, path
        assert found["digest"] == result.digest.hex().upper(), path
        assert (found["key_line"] or {}).get("line", 0) == result.key_line_number, path
        assert [(w["kind"], w.get("line")) for w in found["warnings"]] == \
            [(w.kind, w.line or None) for w in result.warnings], path


def test_streaming_in_any_split(files):
    """One checker takes every file in chunks of random sizes, one file
    after another, whatever key line came before."""
    rng = random.Random(7)
    checker = datasig.Checker()
    for path in files + [EXAMPLES / "calibration.dat"]:
        data = path.read_bytes()
        cuts = sorted(rng.randint(0, len(data)) for _ in range(rng.randint(0, 12)))
        for start, end in zip([0] + cuts, cuts + [len(data)]):
            checker.update(memoryview(data)[start:end])
        assert raw(checker.finish()) == raw(datasig.check(path)), path
    checker.update(b"A half-read file")
    checker.reset()
    assert raw(checker.finish()) == raw(datasig.check(b""))
    assert raw(datasig.Checker(bytearray(data)).finish()) == raw(datasig.check(data))


def test_files_that_cannot_be_read(tmp_path):
    cases = [(tmp_path / "missing.dat", FileNotFoundError, errno.ENOENT),
             (tmp_path, IsADirectoryError, errno.EISDIR),
             (Path("/proc/self/mem"), OSError, errno.EIO)]
    for path, kind, number in cases:
        for call in (datasig.check, datasig.sign, datasig.explain):
            with pytest.raises(kind) as raised:
                call(path)
            assert (raised.value.errno, raised.value.filename) == (number, str(path))
        [(given, outcome)] = datasig.check_files([path])
        assert given is path and type(outcome) is kind
        assert (outcome.errno, outcome.filename) == (number, str(path))


@pytest.mark.parametrize("call", [
    lambda: datasig.check(3),
    lambda: datasig.check(None),
    lambda: datasig.check(io.StringIO("A text file")),
    lambda: datasig.check([b"A"]),
    lambda: datasig.sign(3.5),
    lambda: datasig.explain(b"A", name=3),
    lambda: datasig.Checker().update("A str"),
    lambda: datasig.check_files("one.dat"),
    lambda: list(datasig.check_files([3])),
])
def test_wrong_types(call):
    with pytest.raises(TypeError):
        call()


def test_check_files_in_threads_as_one_by_one(files, tmp_path):
    # Enough files for many batches and a full window of them.
    paths = (files + [tmp_path / "missing.dat", tmp_path]) * 25

    def one(path):
        try:
            return raw(datasig.check(path))
        except OSError as error:
            return (type(error), error.errno)

    expected = [(path, one(path)) for path in paths]
    for jobs in (1, 4):
        got = [(path, raw(outcome) if isinstance(outcome, datasig.Result)
                else (type(outcome), outcome.errno))
               for path, outcome in datasig.check_files(paths, jobs=jobs)]
        assert got == expected
    with pytest.raises(ValueError):
        datasig.check_files(paths, jobs=0)


SIGNED = (EXAMPLES / "calibration.dat").read_bytes()


@pytest.mark.parametrize("first, second, equal", [
    (SIGNED, SIGNED, True),
    (SIGNED, (EXAMPLES / "calibration-altered.dat").read_bytes(), False),
    # Past its 65th character a signature line is not compared, but found.
    (SIGNED.replace(b"BBF1\n", b"BBF1X\n"), SIGNED.replace(b"BBF1\n", b"BBF1Y\n"), False),
])
def test_results_equal_when_every_field_does(first, second, equal):
    one, other = datasig.check(first), datasig.check(second)
    assert (one == other, one != other, raw(one) == raw(other)) == (equal, not equal, equal)


def test_version_and_repr():
    version = run(program("DATASIG_PROGRAM"), "--version").stdout.decode()
    assert datasig.__version__ in version.split()
    assert datasig.__version__ == importlib.metadata.version("validate-datasig")
    shown = repr(datasig.check(EXAMPLES / "calibration.dat"))
    assert shown.startswith("<datasig.Result passed=True verdict=passed digest=24f89a1a6327d6cd...")
    assert "found_lines=(10, 11) key_line_number=1 digested_pieces=7" in shown
