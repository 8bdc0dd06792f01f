#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/prerequisites.sh --check asked from a folder that holds build/ and
# a folder named like a module that is not installed: both modules must be
# named as missing, whatever folders stand where the script is run. An
# interpreter without its site folder (-S) stands for a machine on which
# build and pytest are not installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/build" "$work/pytest"
printf '#!/bin/sh\nexec /usr/bin/python3 -S "$@"\n' >"$work/python-without-site"
chmod +x "$work/python-without-site"

output=$(cd "$work" && PYTHON="$work/python-without-site" \
  "$root/scripts/prerequisites.sh" --check test 2>&1) && {
  echo "prerequisites-check: --check found nothing missing" >&2
  exit 1
}
for package in python3-build python3-pytest; do
  grep -q -- "$package" <<<"$output" || {
    echo "prerequisites-check: $package not named as missing from a folder with its name:" >&2
    echo "$output" >&2
    exit 1
  }
done
echo "prerequisites-check: modules looked up away from the working folder"
