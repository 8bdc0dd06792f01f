#!/usr/bin/env bash
# Builds the Debian package from the release tree, unpacks it into a
# temporary folder, and tries what it installs there: validate and datasig on
# the examples, and both manual pages under mandoc's lint.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
rm -f build/release/*.deb
(cd build/release && cpack -G DEB >/dev/null)
package=$(ls build/release/validate_*.deb)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$package" "$unpacked"

tests/try-tools.sh "$unpacked/usr/bin/validate" "$unpacked/usr/bin/datasig"
expect() {
  [ "$1" = "$2" ] || {
    printf 'package check failed: %s\n  got:      %s\n  expected: %s\n' "$3" "$1" "$2"
    exit 1
  }
}
expect "$(dpkg-deb -f "$package" Section)" "utils" "the package's section"
dpkg-deb -f "$package" Depends | grep -q libc6 || {
  echo "package check failed: no dependency on libc6"
  exit 1
}
for page in validate datasig; do
  manual="$unpacked/usr/share/man/man1/$page.1.gz"
  [ -f "$manual" ] || { echo "package check failed: $page.1.gz is missing"; exit 1; }
  expect "$(mandoc -T lint -W style "$manual" 2>&1)" "" "mandoc -T lint on $page.1"
done
echo "$package: validate, datasig and both manual pages work"
