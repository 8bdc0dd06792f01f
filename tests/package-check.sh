#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from the release tree, unpacks it into a
# temporary folder, and tries what it installs there: validate and datasig on
# the examples, and both manual pages under mandoc's lint. lintian must have
# nothing to say about the package, and the version of project() must be the
# one everywhere: the package, datasig --version, the manual pages and the
# newest release in the changelog, which are dated by the last commit.
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

expect "$(lintian --fail-on error,warning "$package" 2>&1 | grep -v '^running with root privileges')" "" \
  "lintian on the package"
echo "lintian: no errors and no warnings"

version=$(sed -n 's/^project(validate VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
date=$(TZ=UTC git log -1 --format=%cd --date=format-local:%Y-%m-%d)
[ -z "${SOURCE_DATE_EPOCH:-}" ] || date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%F)
expect "$(basename "$package")" "validate_${version}_$(dpkg --print-architecture).deb" "the package's name"
expect "$(dpkg-deb -f "$package" Version)" "$version" "the package's version"
expect "$(dpkg-deb -f "$package" Maintainer | sed 's/ <.*//')" "validate developers" \
  "the name of the package's maintainer"
expect "$("$unpacked/usr/bin/datasig" --version)" "datasig $version" "datasig --version"
for page in validate datasig; do
  expect "$(zcat "$unpacked/usr/share/man/man1/$page.1.gz" | head -n 1 | cut -d ' ' -f 4-6)" \
    "$date \"validate $version\"" "the date and version in the header of $page.1"
done
expect "$(grep -m 1 '^## \[' CHANGELOG.md)" "## [$version] - @RELEASE_DATE@" \
  "the newest release in CHANGELOG.md"
expect "$(zcat "$unpacked/usr/share/doc/validate/changelog.gz" | head -n 1)" \
  "validate ($version) unstable; urgency=medium" "the newest entry of the package's changelog"
echo "version $version, dated $date: the package, datasig --version, the manual pages, the changelog"
