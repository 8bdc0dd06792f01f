#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs libvalidate from a release tree into a temporary prefix and uses
# it from there, away from the sources, as its users would:
# examples/check_files.c built with pkg-config against the shared library
# and against the static one, and examples/cmake-consumer built with
# find_package. Each program must write the expected lines and exit with
# the expected status on the examples and a missing file. The shared
# library must export its C names alone, and its installed manual page
# must pass mandoc's lint.
#   tests/library-check.sh [TREE]    (a built tree; by default the release
#                                     preset, configured and built here)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -gt 0 ]; then
  tree=$1
else
  tree=build/release
  cmake --preset release >/dev/null
  cmake --build --preset release >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$tree" --prefix "$prefix" >/dev/null
mkdir "$work/run"
cp -R examples "$work/examples"
cp examples/calibration.dat examples/calibration-altered.dat "$work/run"
cd "$work"

fail() {
  echo "library check failed: $*"
  exit 1
}

pc=$(find "$prefix" -name validate.pc)
[ -n "$pc" ] || fail "no validate.pc in the installed tree"
export PKG_CONFIG_PATH=${pc%/validate.pc}
libdir=$(pkg-config --variable=libdir validate)
cc=${CC:-cc}
warnings=(-std=c99 -Wall -Wextra -Wpedantic -Werror)

# expect PROGRAM STATUS STDOUT STDERR ARGS...: both outputs byte for byte,
# and the exit status.
expect() {
  local program=$1 status=$2 out=$3 err=$4 got=0
  shift 4
  (cd run && "$program" "$@" >../out 2>../err) || got=$?
  if [ "$got" != "$status" ] || ! printf '%s' "$out" | cmp -s - out ||
    ! printf '%s' "$err" | cmp -s - err; then
    printf 'library check failed: %s %s\n' "${program##*/}" "$*"
    printf 'exit status %s (expected %s); standard output:\n' "$got" "$status"
    cat out
    echo "standard error:"
    cat err
    exit 1
  fi
}

try() {
  local program=$1 what=$2
  expect "$program" 0 $'calibration.dat: passed\n' "" calibration.dat
  expect "$program" 1 $'calibration-altered.dat: altered\n' "" calibration-altered.dat
  expect "$program" 1 $'calibration.dat: passed\ncalibration-altered.dat: altered\n' "" \
    calibration.dat calibration-altered.dat
  local missing=$'missing.dat: error: the file cannot be opened (No such file or directory)\n'
  expect "$program" 2 "" "$missing" missing.dat
  expect "$program" 2 $'calibration-altered.dat: altered\n' "$missing" \
    calibration-altered.dat missing.dat
  local got=0
  (cd run && "$program" >../out 2>../err) || got=$?
  [ "$got" = 2 ] && [ ! -s out ] && grep -q usage err || fail "$what: no usage line without a file"
  echo "$what: the verdicts, errors and exit statuses expected"
}

needs() {
  readelf -d "$1" | grep -q "(NEEDED).*\[$2\]"
}

# shellcheck disable=SC2046 # pkg-config's flags are words
"$cc" "${warnings[@]}" examples/check_files.c -o check_files-shared \
  $(pkg-config --cflags --libs validate) -Wl,-rpath,"$libdir"
needs check_files-shared libvalidate.so.1 || fail "check_files-shared does not load libvalidate.so.1"
try "$work/check_files-shared" "pkg-config, shared library"

static_libs=$(pkg-config --static --libs validate)
# -lvalidate would take the shared library, which lies beside the static one.
static_libs=${static_libs/-lvalidate/-l:libvalidate.a}
# shellcheck disable=SC2046,SC2086
"$cc" "${warnings[@]}" -DVALIDATE_STATIC $(pkg-config --static --cflags validate) \
  examples/check_files.c -o check_files-static $static_libs
! needs check_files-static 'libvalidate[^]]*' || fail "check_files-static loads libvalidate"
try "$work/check_files-static" "pkg-config, static library"

cmake -S examples/cmake-consumer -B consumer -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Wpedantic -Werror" >consumer.log 2>&1 &&
  cmake --build consumer >>consumer.log 2>&1 || {
  cat consumer.log
  fail "examples/cmake-consumer does not build"
}
grep -q "^validate_DIR:PATH=$prefix/" consumer/CMakeCache.txt ||
  fail "find_package found a libvalidate other than the one installed here"
try "$work/consumer/check_files" "find_package, validate::validate"

exported=$(nm -D --defined-only "$libdir/libvalidate.so.1" | awk '{ print $3 }' | grep -v '^validate_' || true)
[ -z "$exported" ] || fail "libvalidate.so.1 exports names beyond its C interface: $exported"
readelf -d "$libdir/libvalidate.so.1" | grep -q '(SONAME).*\[libvalidate\.so\.1\]' ||
  fail "libvalidate.so.1 does not carry the SONAME libvalidate.so.1"
page=$(find "$prefix" -name validate.3.gz)
[ -n "$page" ] || fail "validate.3.gz is not installed"
# Which other pages a machine has, and whether it indexed them, is not the
# page's to answer for.
lint=$(mandoc -T lint -W style "$page" 2>&1 |
  grep -v -e 'referenced manual not found' -e 'outdated mandoc.db' || true)
[ -z "$lint" ] || fail "mandoc -T lint on validate.3: $lint"
echo "libvalidate.so.1 exports its C interface alone; validate.3 passes mandoc's lint"
