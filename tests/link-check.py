#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Fails on a relative link in README.md or docs/ that does not resolve: a
file or folder that is not there, or an anchor (#...) that names no heading
of the page it points into, as GitHub makes anchors from headings."""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
FENCE = re.compile(r"^(```|~~~)")


def prose_lines(path):
    """The lines of a page outside its fenced code blocks."""
    inside = False
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if FENCE.match(line):
            inside = not inside
        elif not inside:
            yield number, line


def anchors(path):
    """The anchors of a page's headings, numbered as GitHub numbers repeats."""
    seen = {}
    for _, line in prose_lines(path):
        heading = re.match(r"#{1,6}\s+(.*?)\s*#*\s*$", line)
        if heading:
            slug = re.sub(r"[^\w\- ]", "", heading.group(1).lower()).replace(" ", "-")
            count = seen.get(slug, 0)
            seen[slug] = count + 1
            yield slug if count == 0 else f"{slug}-{count}"


def broken_links(page):
    for number, line in prose_lines(page):
        for target in LINK.findall(re.sub(r"`[^`]*`", "", line)):
            if re.match(r"[a-z][a-z0-9+.-]*:", target):  # https:, mailto: ...
                continue
            name, _, anchor = target.partition("#")
            destination = (page.parent / name).resolve() if name else page
            if not destination.exists():
                yield number, target, "no such file"
            elif anchor and destination.suffix == ".md" and anchor not in set(anchors(destination)):
                yield number, target, "no such heading"


def main():
    pages = [ROOT / "README.md", *sorted((ROOT / "docs").glob("**/*.md"))]
    failures = [
        f"{page.relative_to(ROOT)}:{number}: {target}: {reason}"
        for page in pages
        for number, target, reason in broken_links(page)
    ]
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"link-check: {len(pages)} pages, {len(failures)} broken links")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
