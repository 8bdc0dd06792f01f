#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every check the project has, in order, stopping at the first failure:
#   1. the license, and the SPDX lines of the source files; the relative
#      links of README and docs/; prerequisites.sh's probes, asked from a
#      folder that holds folders named like what they look for;
#   2. the unit and binary tests (debug build, warnings as errors);
#   3. datasig sign killed, and failing, at each system call it makes;
#   4. the Python module: its wheel built, installed into a fresh virtual
#      environment and tested there against validate and datasig; mypy;
#   5. the same tests built with clang under AddressSanitizer and
#      UndefinedBehaviorSanitizer, and the tests of datasig check (which
#      runs on several threads) under ThreadSanitizer;
#   6. every fuzz target for FUZZ_SECONDS each (60 by default);
#   7. clang-tidy and cppcheck on src/, clang-tidy on the Python module;
#   8. the Debian packages, built, unpacked, tried and run through lintian;
#      their version and date; the library's exports against its symbols
#      file;
#   9. the library's ABI against the one kept in abi/;
#  10. the library, installed into a temporary folder and used from there
#      through pkg-config (shared and static) and CMake's find_package;
#  11. two release builds in other folders: the same executables and packages,
#      and two wasm builds: the same module and npm tarball;
#  12. the browser page (the library as WebAssembly) in Chromium: its verdicts
#      and details against validate's and datasig explain's; the npm package,
#      packed, installed offline into a fresh folder and tested there against
#      validate and datasig, its declarations with tsc; the SHA-512 vectors on
#      the module's portable and SIMD compressions under Node.js;
#  13. the Windows build under wine, and the aarch64 and s390x (big-endian)
#      builds under qemu-user: each whole test suite, and the zip and the
#      arm64 packages tried.
# scripts/prerequisites.sh test installs what it needs.
#   tests/run-all.sh [--quick]
# --quick runs steps 1, 2 and 5 alone: about 5 minutes on two cores rather
# than about 22, for a round while working.
set -euo pipefail
cd "$(dirname "$0")/.."
quick=false
case "${1:-}" in
  --quick) quick=true ;;
  "") ;;
  *) echo "usage: tests/run-all.sh [--quick]" >&2; exit 2 ;;
esac

step() { printf '\n== %s\n' "$*"; }

step "license"
tests/license-check.sh

step "the links of README and docs/"
tests/link-check.py

step "the probes of scripts/prerequisites.sh"
tests/prerequisites-check.sh

step "tests"
cmake --workflow --preset dev

if ! $quick; then
  step "datasig sign killed and failing at each system call"
  tests/crash-check.sh

  step "Python module"
  tests/python-check.sh
fi

step "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --workflow --preset asan

step "datasig check under ThreadSanitizer"
cmake --workflow --preset tsan

if $quick; then
  step "quick checks passed (tests/run-all.sh without --quick runs every check)"
  exit 0
fi

step "fuzzing, ${FUZZ_SECONDS:-60} s per target"
fuzz/run.sh "${FUZZ_SECONDS:-60}"

step "static analysis"
# Not the file on the GNU C library's x86 header, which is C that only GCC
# takes in C++ (clang builds leave that file out).
clang-tidy -p build/dev --quiet $(ls src/*/*.cpp | grep -v -e _arm64 -e _glibc -e _wasm) src/platform/posix/*.cpp
# The AArch64-only files, with the compile commands of the aarch64 tree.
cmake --preset aarch64 >/dev/null
clang-tidy -p build/aarch64 --quiet src/*/*_arm64*.cpp
# The WebAssembly-only files, with the wasm tree's, told Emscripten's target
# and headers, which clang-tidy cannot learn from em++. There the check of
# static initializers takes the header's extern arrays for dynamic ones.
cmake --preset wasm >/dev/null
clang-tidy -p build/wasm --quiet --extra-arg=--target=wasm32-unknown-emscripten \
  --extra-arg=--sysroot="$(em-config CACHE)/sysroot" --extra-arg=-Wno-unused-command-line-argument \
  --checks=-bugprone-dynamic-static-initializers src/*/*_wasm*.cpp
cppcheck --enable=warning,style,performance,portability --std=c++20 --language=c++ \
  --inline-suppr --error-exitcode=1 --quiet -I src src
clang-tidy --quiet python/src/*.cpp -- -std=c++17 -Iinclude \
  $(/usr/bin/python3-config --includes)
echo "clang-tidy and cppcheck: no findings"

step "Debian packages"
tests/package-check.sh

step "the library's ABI"
tests/abi-check.sh

step "the library, installed and used as its users would"
tests/library-check.sh

step "reproducible release: two builds in other folders"
tests/reproducible-check.sh
tests/reproducible-check.sh wasm

step "the browser page in Chromium"
tests/web-check.sh

step "the npm package, installed from its tarball"
tests/js-check.sh

for preset in windows aarch64 s390x; do
  step "$preset build, tests through its emulator"
  tests/run-cross.sh "$preset"
done

step "all checks passed"
