#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds a cross preset with warnings as errors, runs its whole test suite
# through the preset's emulator (wine or qemu-user), prints the count of
# tests and the reason each skipped one gives, then tries its package:
#   windows  no 256- or 512-bit registers in the vector SHA-512 builds (the
#            Win64 stack is not aligned for them); the zip, unpacked, with
#            both tools run from it on the examples, and the library in it:
#            validate.dll exports the header's names alone and needs no DLL
#            of MinGW's, and a C program works on it and on the static one
#   aarch64  the SHA-512 tests on an emulated processor with SHA-512
#            instructions and on one without; the three arm64 Debian
#            packages, unpacked and tried likewise (the tools, and a C
#            program on the library, whose exports must be the symbols
#            file's), and lintian on them
#   tests/run-cross.sh windows|aarch64|s390x
set -euo pipefail
cd "$(dirname "$0")/.."
preset=$1
build=build/$preset

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" >/dev/null
emulator=$(sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p' "$build/CMakeCache.txt" | tr ';' ' ')

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "$preset" = windows ]; then
  # A wine prefix of the build's own, whose one server runs for the whole run
  # and stops at its end: a server that stops and starts again between tests
  # now and then drops a test ("wine client error: recvmsg: Connection reset
  # by peer"), and other wine programs keep theirs.
  export WINEPREFIX=$PWD/$build/wine
  mkdir -p "$WINEPREFIX" # a fresh build has none yet, and wineserver -w needs it
  stop_wine() { wineserver -k 2>/dev/null || true; wineserver -w; }
  stop_wine
  wineserver -p
  trap 'stop_wine; rm -rf "$work"' EXIT
  # shellcheck disable=SC2086 # the emulator is a command and its words
  $emulator cmd /c exit # the first program run sets up wine's prefix
fi
if ! ctest --preset "$preset" >"$work/log" 2>&1; then
  tail -n 80 "$work/log"
  exit 1
fi
total=$(sed -n 's/.*tests failed out of \([0-9]*\)$/\1/p' "$work/log")
mapfile -t skipped < <(sed -n 's/^[[:space:]]*\([0-9]* - .*\) (Skipped)$/\1/p' "$work/log")
echo "$preset: $total tests, $((total - ${#skipped[@]})) passed, ${#skipped[@]} skipped"
for test in "${skipped[@]}"; do
  number=${test%% - *}
  reason=$(ctest --test-dir "$build/tests" -I "$number,$number" -V 2>&1 |
    sed -n 's/^[0-9]*: \(.*\)$/\1/p' | grep -A1 'Skipped$' | tail -n 1)
  echo "  skipped ${test#* - }: $reason"
done

case "$preset" in
windows)
  for object in "$build"/src/CMakeFiles/validate_crypto.dir/crypto/sha512_compress_avx*.obj; do
    # Not a pipe into grep -q: objdump, cut short at the first match, would
    # fail the pipe, and with it the finding.
    if grep -q '%[yz]mm' <(x86_64-w64-mingw32-objdump -d "$object"); then
      echo "$object uses 256- or 512-bit registers, which Win64 cannot spill"
      exit 1
    fi
  done
  rm -f "$build"/*.zip
  (cd "$build" && cpack -G ZIP >/dev/null)
  unzip -q "$build"/validate-*-windows-x86_64.zip -d "$work"
  unpacked=$(echo "$work"/validate-*-windows-x86_64)
  for file in validate.exe datasig.exe README.md docs/datasig.md validate.html datasig.html validate.dll \
    lib/libvalidate.dll.a lib/libvalidate.a include/validate.h; do
    [ -f "$unpacked/$file" ] || { echo "the zip lacks $file"; exit 1; }
  done
  # shellcheck disable=SC2086 # the emulator is a command and its words
  tests/try-tools.sh --crlf "$unpacked/validate.exe" "$unpacked/datasig.exe" $emulator
  echo "$(basename "$build"/validate-*.zip): both tools work from the unpacked zip"

  # The DLL exports the names of the header, those the Linux library does,
  # and needs no DLL of MinGW's runtime (all named lib*.dll), which the
  # zip does not hold.
  x86_64-w64-mingw32-objdump -p "$unpacked/validate.dll" >"$work/dll"
  exported=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' "$work/dll" |
    LC_ALL=C sort | xargs)
  listed=$(sed -n 's/^ \([^@ ]*\)@.*/\1/p' packaging/libvalidate1.symbols | LC_ALL=C sort | xargs)
  [ "$exported" = "$listed" ] || {
    printf 'validate.dll exports\n  %s\nnot the names of packaging/libvalidate1.symbols\n  %s\n' \
      "$exported" "$listed"
    exit 1
  }
  if grep -i 'DLL Name: lib' "$work/dll"; then
    echo "validate.dll needs the DLLs above, which the zip lacks"
    exit 1
  fi
  # A C program built on the zip's header with the import library, run
  # beside the DLL, and one linked with the static library, run alone.
  compile=(x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Wpedantic -Werror
    -I"$unpacked/include" tests/support/use_library.c)
  "${compile[@]}" -L"$unpacked/lib" -lvalidate -o "$unpacked/use_library.exe"
  mkdir "$work/static"
  "${compile[@]}" -DVALIDATE_STATIC -static "$unpacked/lib/libvalidate.a" -lstdc++ \
    -o "$work/static/use_library.exe"
  x86_64-w64-mingw32-objdump -p "$unpacked/use_library.exe" >"$work/exe"
  grep -qi 'DLL Name: validate.dll' "$work/exe" || {
    echo "use_library.exe, linked with -lvalidate, does not load validate.dll"
    exit 1
  }
  version=$(cmake -P cmake/version.cmake)
  for program in "$unpacked/use_library.exe" "$work/static/use_library.exe"; do
    # shellcheck disable=SC2086
    verdicts=$($emulator "$program" "Z:$PWD/examples/calibration.dat" \
      "Z:$PWD/examples/calibration-altered.dat" "Z:$work/missing.dat" | tr -d '\r')
    [ "$verdicts" = "$version 0 1 2" ] || {
      echo "$program on the examples and a missing file: $verdicts, not $version 0 1 2"
      exit 1
    }
  done
  echo "validate.dll: $(wc -w <<<"$exported") names exported, no DLL of MinGW's needed;" \
    "a C program works on it and on the static library"
  ;;
aarch64)
  # The SHA-512 vectors on a processor with the ARMv8.2 SHA-512 instructions
  # and on one without, each confirming the build chosen there. (ctest lists
  # the cases at build time, under qemu's default processor, so the test
  # program runs whole here.)
  for cpu in max:arm_sha512 cortex-a72:portable; do
    # shellcheck disable=SC2086
    QEMU_CPU=${cpu%:*} VALIDATE_EXPECT_SHA512_BUILD=${cpu#*:} \
      $emulator "$build/tests/crypto_test" --gtest_brief=1 >"$work/cpu" 2>&1 || {
      cat "$work/cpu"
      exit 1
    }
    echo "qemu -cpu ${cpu%:*}: $(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$work/cpu"), the ${cpu#*:} build chosen"
  done
  rm -f "$build"/*.deb
  (cd "$build" && cpack -G DEB >/dev/null)
  version=$(cmake -P cmake/version.cmake)
  packages="libvalidate-dev_${version}_arm64.deb libvalidate1_${version}_arm64.deb validate_${version}_arm64.deb"
  [ "$(cd "$build" && ls ./*.deb | cut -c 3- | LC_ALL=C sort | xargs)" = "$packages" ] || {
    echo "$build holds $(cd "$build" && echo ./*.deb), not $packages"
    exit 1
  }
  for package in $packages; do
    dpkg-deb -x "$build/$package" "$work/unpacked"
  done
  package=$build/validate_${version}_arm64.deb
  # shellcheck disable=SC2086
  tests/try-tools.sh "$work/unpacked/usr/bin/validate" "$work/unpacked/usr/bin/datasig" $emulator
  echo "$(basename "$package"): both tools work from the unpacked package"

  # The library: in the arm64 multiarch folder, exporting the names of the
  # symbols file, and working for a C program built on the packages' header
  # and pkg-config file.
  lib=$work/unpacked/usr/lib/aarch64-linux-gnu
  exported=$(aarch64-linux-gnu-nm -D --defined-only "$lib/libvalidate.so.$version" |
    awk '{ sub(/@.*/, "", $3); print $3 }' | LC_ALL=C sort | xargs)
  listed=$(sed -n 's/^ \([^@ ]*\)@.*/\1/p' packaging/libvalidate1.symbols | LC_ALL=C sort | xargs)
  [ "$exported" = "$listed" ] || {
    printf 'the arm64 library exports\n  %s\nnot the names of packaging/libvalidate1.symbols\n  %s\n' \
      "$exported" "$listed"
    exit 1
  }
  read -r -a cflags < <(PKG_CONFIG_PATH=$lib/pkgconfig pkg-config --cflags validate)
  read -r -a libs < <(PKG_CONFIG_PATH=$lib/pkgconfig pkg-config --libs validate)
  aarch64-linux-gnu-gcc -std=c99 -Wall -Wextra -Wpedantic -Werror "${cflags[@]}" \
    tests/support/use_library.c "${libs[@]}" -o "$work/use_library"
  # shellcheck disable=SC2086
  verdicts=$(LD_LIBRARY_PATH=$lib $emulator "$work/use_library" "$PWD/examples/calibration.dat" \
    "$PWD/examples/calibration-altered.dat" "$work/missing.dat")
  [ "$verdicts" = "$version 0 1 2" ] || {
    echo "a C program on the arm64 library, on the examples and a missing file: $verdicts, not $version 0 1 2"
    exit 1
  }
  for package in $packages; do
    lint=$(lintian --fail-on error,warning "$build/$package" 2>&1 | grep -v '^running with root privileges') || true
    [ -z "$lint" ] || { echo "lintian on $package:"; echo "$lint"; exit 1; }
  done
  echo "libvalidate1_${version}_arm64.deb: $(wc -w <<<"$exported") names exported, each in the" \
    "symbols file; a C program works on it; lintian: nothing on the three packages"
  ;;
esac
