#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# datasig check --json and explain --json as a program reads them: each line
# parses as JSON, one object a file in the order given, each agreeing with
# the text report of datasig explain on the file; names that are not plain
# text come back to their bytes.
#   tests/datasig/json_test.py DATASIG
import base64
import json
import random
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

TESTS = Path(__file__).resolve().parents[1]
FIXTURES = sorted((TESTS / "tool/fixtures/files").glob("*.txt")) + sorted(
    (TESTS / "datasig/explain").glob("*.dat")) + sorted((TESTS.parent / "examples").glob("*.dat"))
DATASIG = ""


def datasig(*args):
    return subprocess.run([DATASIG, *args], capture_output=True, check=False)


def objects(stdout):
    """The objects of JSON Lines: one a line, each line ended."""
    assert stdout.endswith(b"\n") or not stdout, stdout
    return [json.loads(line) for line in stdout.decode("utf-8").split("\n")[:-1]]


def exact(fields, key):
    """The bytes of a field that holds bytes: its base64, else its text."""
    if key + "_base64" in fields:
        raw = base64.b64decode(fields[key + "_base64"], validate=True)
        assert fields[key] == raw.decode("utf-8", "replace")
        return raw
    return fields[key].encode("utf-8")


def generated(seed):
    """A data file with key lines, long lines, NULs, CRs, bytes that are not
    UTF-8, 0x1A, and 0, 1 or 3 signature lines."""
    rng = random.Random(seed)
    text = lambda n: bytes(rng.choice(b"ABCHGx #\"\\\t\r\x80\xff\xc3\xa9") for _ in range(n))
    makers = [
        lambda: bytes([rng.choice(b"ABCH")]) + text(rng.randint(0, 60)),
        lambda: b"HQDHWHARDWAREVERSION" + text(rng.randint(0, 70)),
        lambda: bytes([rng.choice(b"AC#")]) + text(rng.randint(80, 250)),
        lambda: b"A" + text(rng.randint(0, 10)) + b"\0" + text(rng.randint(0, 10)),
        lambda: b"G" + text(rng.randint(0, 70)),
        lambda: b"g" + bytes(rng.choice(b"0123456789abcdef") for _ in range(64)),
    ]
    lines = [rng.choice(makers)() for _ in range(rng.randint(0, 12))]
    data = rng.choice([b"\n", b"\r\n"]).join(lines) + b"\n"
    return data + (b"\x1a" + text(5) if rng.random() < 0.2 else b"")


def printable(raw):
    return "".join(chr(c) if 0x20 <= c <= 0x7E else "?" for c in raw)


def report_of(text):
    """What datasig explain's text tells, in the terms of the JSON object."""
    pieces = re.search(r"^pieces: (\d+) digested, (\d+) ignored, (\d+) signature$", text, re.M)
    key = re.search(r"^key line: line (\d+)(?:, the last of (\d+))?: (.*)$", text, re.M)
    digest = re.search(r"^digest: (\w+)\n +(\w+)$", text, re.M)
    slots = re.findall(r"^(?:first|second) signature line(?: \(line (\d+)\))?: .*\n"
                       r"  expected  (G\w+)\n  found     (.*)$", text, re.M)
    warnings = re.search(r"^warnings: (?:none|\d+)\n((?:  .*\n)*)", text, re.M)
    counts = tuple(int(n) for n in pieces.groups())
    status = ("passed" if text.endswith("correct\n") else
              "unsigned" if counts[2] == 0 else "altered")
    return {
        "status": status,
        "digest": digest[1] + digest[2],
        "pieces": counts,
        "key_line": (int(key[1]), int(key[2] or 1), key[3]) if key else None,
        "signatures": [(int(line or 0), expected, found) for line, expected, found in slots],
        "warnings": [line[2:] for line in warnings[1].splitlines()],
    }


def report_of_object(fields):
    """The same, from a JSON object."""
    key = fields["key_line"]
    return {
        "status": fields["status"],
        "digest": fields["digest"],
        "pieces": tuple(fields["pieces"][n] for n in ("digested", "ignored", "signature")),
        "key_line": (key["line"], key["count"], printable(exact(key, "text"))) if key else None,
        "signatures": [(slot["line"] or 0, slot["expected"],
                        printable(exact(slot, "found")[:65]) if slot["line"] else "(none)")
                       for slot in fields["signatures"]],
        "warnings": [warning["text"] for warning in fields["warnings"]],
    }


class JsonLines(unittest.TestCase):
    def setUp(self):
        self.temporary = tempfile.TemporaryDirectory()
        self.folder = Path(self.temporary.name)

    def tearDown(self):
        self.temporary.cleanup()

    def write(self, name, data):
        path = self.folder / name
        path.write_bytes(data)
        return path

    def test_each_file_as_explain_reports_it(self):
        paths = [self.write(f"fixture-{path.name}", path.read_bytes()) for path in FIXTURES]
        for seed in range(40):
            path = self.write(f"generated{seed:02}.dat", generated(seed))
            if seed % 3 == 0:
                signed = datasig("sign", "-i", str(path))
                self.assertEqual(signed.returncode, 0, signed)
            paths.append(path)
        random.Random(5).shuffle(paths)
        paths.insert(7, self.folder / "missing.dat")
        run = datasig("check", "--json", "--jobs", "3", *map(str, paths))
        found = objects(run.stdout)
        self.assertEqual([fields["name"] for fields in found], list(map(str, paths)))
        self.assertEqual({fields["schema"] for fields in found}, {1})
        statuses = {fields["status"] for fields in found}
        self.assertEqual(statuses, {"passed", "altered", "unsigned", "error"})
        for path, fields in zip(paths, found):
            explained = datasig("explain", str(path))
            if fields["status"] == "error":
                self.assertEqual(explained.returncode, 2)
                self.assertEqual(fields["error"], {"name": "open",
                                                   "message": "No such file or directory"})
                continue
            text = explained.stdout.decode("utf-8", "surrogateescape")
            self.assertEqual(report_of_object(fields), report_of(text), path)
            alone = datasig("explain", "--json", str(path))
            self.assertEqual(objects(alone.stdout), [fields])
            self.assertEqual(alone.returncode, explained.returncode)

    def test_names_come_back_to_their_bytes(self):
        signed = (TESTS.parent / "examples/calibration.dat").read_bytes()
        names = [b"new\nline.dat", b'a "quoted" name.dat', b"not-\xff\xfe-utf8.dat",
                 b"back\\slash\t.dat", "caf\u00e9.dat".encode()]
        for name in names:
            self.write(name.decode("utf-8", "surrogateescape"), signed)
        run = datasig("check", "--json", "-r", str(self.folder))
        self.assertEqual(run.returncode, 0, run)
        found = objects(run.stdout)
        prefix = str(self.folder).encode() + b"/"
        self.assertEqual([exact(fields, "name") for fields in found],
                         [prefix + name for name in sorted(names)])
        self.assertEqual([fields["status"] for fields in found], ["passed"] * len(names))
        self.assertEqual(["name_base64" in fields for fields in found],
                         [name == names[2] for name in sorted(names)])

    def test_a_folder_of_unsigned_altered_and_passing_files(self):
        signed = (TESTS.parent / "examples/calibration.dat").read_bytes()
        altered = (TESTS.parent / "examples/calibration-altered.dat").read_bytes()
        unsigned = b"".join(line for line in signed.splitlines(True) if line[:1] != b"G")
        files = {"a.dat": signed, "b.dat": unsigned, "c.dat": altered, "d.dat": signed,
                 "e.dat": unsigned, "f.dat": signed}
        for name, data in files.items():
            self.write(name, data)
        run = datasig("check", "--json", "-r", str(self.folder))
        self.assertEqual(run.returncode, 1)
        # The summary stays on standard error, whatever else it tells.
        self.assertTrue(run.stderr.startswith(b"datasig: 3 of 6 files failed the check"), run)
        self.assertEqual([fields["status"] for fields in objects(run.stdout)],
                         ["passed", "unsigned", "altered", "passed", "unsigned", "passed"])
        quiet = datasig("check", "--json", "--quiet", "-r", str(self.folder))
        self.assertEqual([Path(fields["name"]).name for fields in objects(quiet.stdout)],
                         ["b.dat", "c.dat", "e.dat"])

    def test_a_folder_named_without_r_is_skipped(self):
        run = datasig("check", "--json", str(self.folder))
        self.assertEqual(objects(run.stdout), [{
            "schema": 1, "name": str(self.folder), "status": "error",
            "error": {"name": "skipped", "message": "is a folder; -r checks the files in it"}}])
        self.assertIn(b"is a folder", run.stderr)


if __name__ == "__main__":
    DATASIG = sys.argv.pop(1)
    unittest.main()
