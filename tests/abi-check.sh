#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Holds libvalidate.so.1 to the ABI of each release kept in abi/
# (libvalidate.so.1.MINOR.abi): builds the shared library in the dev tree
# (Debug, with debug information) and compares it with each through abidiff,
# both restricted to what include/ declares, so that a program built on any
# release keeps working.
# A change that breaks a program built on the kept ABI (a function removed, a
# parameter, a return or a field of another type, a struct of another size)
# fails, and abidiff's report names it. Functions added alone pass with a
# note: such a release keeps them with --update, and lists them in
# packaging/libvalidate1.symbols with its version.
#   tests/abi-check.sh            compare
#   tests/abi-check.sh --update   keep the build's ABI as its release's, for a change made on purpose
# The kept ABI names no folder of the machine that wrote it, so that a
# checkout anywhere compares the same; it is that of the x86-64 build.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-check}
case "$mode" in
check | --update) ;;
*) echo "usage: $0 [--update]" >&2; exit 2 ;;
esac

cmake --preset dev >/dev/null
cmake --build --preset dev --target validate_shared >/dev/null
version=$(cmake -P cmake/version.cmake)
library=build/dev/src/lib/libvalidate.so.$version
release_abi=abi/libvalidate.so.${version%.*}.abi

# abi_of OUT: the library's ABI, restricted to the types that include/
# declares, naming no folder of this machine. abidiff tells those types from
# others by the file that declares them, so the dump keeps file names; the
# debug information names each source by its full path, which goes.
abi_of() {
  abidw --headers-dir "$PWD/include" --drop-private-types --exported-interfaces-only \
    --no-corpus-path --no-comp-dir-path --short-locs --out-file "$1" "$library"
  sed -i "s|path='$PWD/|path='|g" "$1"
  if grep -n "$PWD\|='/" "$1"; then
    echo "abi check failed: the ABI of $library names folders of this machine (above)"
    exit 1
  fi
}

if [ "$mode" = --update ]; then
  mkdir -p abi
  abi_of "$release_abi"
  echo "$release_abi: the ABI of $library, $(grep -c '<elf-symbol .*type=.func-type' "$release_abi") functions"
  exit 0
fi

compare_with() {
  local kept=$1
  status=0
  abidiff "$kept" build/dev/libvalidate.so.1.abi >build/dev/abidiff.txt 2>&1 || status=$?
  # abidiff's status is a set of bits: 1 an error, 2 a usage error, 4 a change
  # of the ABI, 8 a change known to break programs (a symbol removed). A
  # change of a type is 4 alone; only functions or variables added are harmless.
  if ((status & 3 || status > 15)); then
    cat build/dev/abidiff.txt
    echo "abi check failed: abidiff could not compare $kept with $library (status $status)"
    exit 1
  fi
  if ((status & 8)) || { ((status & 4)) && grep -Eq '[1-9][0-9]* (Removed|Changed)' build/dev/abidiff.txt; }; then
    cat build/dev/abidiff.txt
    echo "abi check failed: $library breaks the ABI kept in $kept, as above:"
    sed -n 's/^\(Functions\|Variables\) changes summary: /  \1: /p' build/dev/abidiff.txt
    echo "A program built on libvalidate.so.1 must keep working: undo the change, or give the"
    echo "library a new SONAME (a new major version) and keep its ABI with $0 --update."
    exit 1
  fi
  if ((status & 4)); then
    cat build/dev/abidiff.txt
    echo "note: $library adds to the ABI kept in $kept (above); programs built on"
    echo "that keep working."
    [ -f "$release_abi" ] || echo "This release keeps its own with $0 --update."
    return 0
  fi
  echo "$library: the ABI kept in $kept"
}

# Both sides are dumps made alike. abidiff given the library and the
# headers itself (--headers-dir2) would take a change between two types
# declared outside include/ for a private one: a size_t parameter become
# uint32_t would pass.
abi_of build/dev/libvalidate.so.1.abi
for kept in abi/libvalidate.so.1.*.abi; do
  compare_with "$kept"
done
