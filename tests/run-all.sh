#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every check the project has, in order, stopping at the first failure:
#   1. the license, and the SPDX lines of the source files;
#   2. the unit and binary tests (debug build, warnings as errors);
#   3. the same tests built with clang under AddressSanitizer and
#      UndefinedBehaviorSanitizer, and the tests of datasig check (which
#      runs on several threads) under ThreadSanitizer;
#   4. both fuzz targets for FUZZ_SECONDS each (60 by default);
#   5. clang-tidy and cppcheck on src/;
#   6. the Debian packages, built, unpacked, tried and run through lintian;
#      their version and date; the library's exports against its symbols
#      file, and its ABI against the one kept in abi/;
#   7. two release builds in other folders: the same executables and packages;
#   8. the Windows build under wine, and the aarch64 and s390x (big-endian)
#      builds under qemu-user: each whole test suite, and the zip and the
#      arm64 packages tried.
# scripts/prerequisites.sh test installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '\n== %s\n' "$*"; }

step "license"
tests/license-check.sh

step "tests"
cmake --workflow --preset dev

step "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --workflow --preset asan

step "datasig check under ThreadSanitizer"
cmake --workflow --preset tsan

step "fuzzing, ${FUZZ_SECONDS:-60} s per target"
fuzz/run.sh "${FUZZ_SECONDS:-60}"

step "static analysis"
clang-tidy -p build/dev --quiet $(ls src/*/*.cpp | grep -v _arm64) src/platform/posix/*.cpp
# The AArch64-only files, with the compile commands of the aarch64 tree.
cmake --preset aarch64 >/dev/null
clang-tidy -p build/aarch64 --quiet src/*/*_arm64*.cpp
cppcheck --enable=warning,style,performance,portability --std=c++20 --language=c++ \
  --inline-suppr --error-exitcode=1 --quiet -I src src
echo "clang-tidy and cppcheck: no findings"

step "Debian packages"
tests/package-check.sh

step "the library's ABI"
tests/abi-check.sh

step "reproducible release: two builds in other folders"
tests/reproducible-check.sh

for preset in windows aarch64 s390x; do
  step "$preset build, tests through its emulator"
  tests/run-cross.sh "$preset"
done

step "all checks passed"
