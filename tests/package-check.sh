#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages from the release tree: validate (the tools),
# libvalidate1 (the shared library) and libvalidate-dev (what a program needs
# to be built with it). Unpacks them into one temporary folder, as if all
# were installed, and tries what they hold there: validate and datasig on
# the examples, both manual pages under mandoc's lint, and a C program built
# on the library through pkg-config and through the CMake package, shared
# and static. Each package must hold its own files, and together all that
# `cmake --install` installs; the library must export exactly the names in
# packaging/libvalidate1.symbols. lintian must have nothing to say about the
# packages, and the version of project() must be the one everywhere: the
# packages, datasig --version, the library, the manual pages and the newest
# release in the changelog, which are dated by the last commit.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
rm -f build/release/*.deb
(cd build/release && cpack -G DEB >/dev/null)
version=$(cmake -P cmake/version.cmake)
architecture=$(dpkg --print-architecture)
lib=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
package=build/release/validate_${version}_$architecture.deb
library=build/release/libvalidate1_${version}_$architecture.deb
development=build/release/libvalidate-dev_${version}_$architecture.deb
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unpacked=$work/root

expect() {
  [ "$1" = "$2" ] || {
    printf 'package check failed: %s\n  got:      %s\n  expected: %s\n' "$3" "$1" "$2"
    exit 1
  }
}
expect "$(ls build/release/*.deb | LC_ALL=C sort | xargs)" \
  "$development $library $package" "the packages"
for deb in "$package" "$library" "$development"; do
  dpkg-deb -x "$deb" "$unpacked"
done

# files DEB: the files and links a package holds.
files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { print substr($6, 2) }' | LC_ALL=C sort | xargs; }
expect "$(files "$package")" "/usr/bin/datasig /usr/bin/validate \
/usr/share/bash-completion/completions/datasig \
/usr/share/doc/validate/changelog.gz /usr/share/doc/validate/copyright \
/usr/share/fish/vendor_completions.d/datasig.fish \
/usr/share/lintian/overrides/validate /usr/share/man/man1/datasig.1.gz \
/usr/share/man/man1/validate.1.gz /usr/share/zsh/vendor-completions/_datasig" \
  "the files of $(basename "$package")"
expect "$(files "$library")" "$lib/libvalidate.so.1 $lib/libvalidate.so.$version \
/usr/share/doc/libvalidate1/changelog.gz /usr/share/doc/libvalidate1/copyright" \
  "the files of $(basename "$library")"
expect "$(files "$development")" "/usr/include/validate.h \
$lib/cmake/validate/validateConfig.cmake $lib/cmake/validate/validateConfigVersion.cmake \
$lib/cmake/validate/validateTargets-release.cmake $lib/cmake/validate/validateTargets.cmake \
$lib/libvalidate.a $lib/libvalidate.so $lib/pkgconfig/validate.pc \
/usr/share/doc/libvalidate-dev/changelog.gz /usr/share/doc/libvalidate-dev/copyright \
/usr/share/man/man3/validate.3.gz" \
  "the files of $(basename "$development")"
# A file installed outside the packages' components is in none of them.
DESTDIR=$work/installed cmake --install build/release >/dev/null
(cd "$work/installed" && find . ! -type d | cut -c 2- | LC_ALL=C sort) >"$work/installed.list"
(cd "$unpacked" && find . ! -type d | cut -c 2- | LC_ALL=C sort) >"$work/packaged.list"
expect "$(comm -23 "$work/installed.list" "$work/packaged.list" | xargs)" "" \
  "files that cmake --install installs and no package holds"

tests/try-tools.sh "$unpacked/usr/bin/validate" "$unpacked/usr/bin/datasig"
expect "$(dpkg-deb -f "$package" Section)" "utils" "the package's section"
# The release links both tools statically: a dynamic one needs the C library.
for tool in validate datasig; do
  if readelf -d "$unpacked/usr/bin/$tool" | grep -q '(NEEDED)'; then
    dpkg-deb -f "$package" Depends | grep -q libc6 || {
      echo "package check failed: $tool is linked dynamically, and the package depends on no libc6"
      exit 1
    }
  fi
done
for page in validate datasig; do
  manual="$unpacked/usr/share/man/man1/$page.1.gz"
  [ -f "$manual" ] || { echo "package check failed: $page.1.gz is missing"; exit 1; }
  expect "$(mandoc -T lint -W style "$manual" 2>&1)" "" "mandoc -T lint on $page.1"
done
echo "$package: validate, datasig and both manual pages work"

# The symbols file tells dpkg-shlibdeps which names the library has: one it
# lacks goes unnoticed by the programs' dependencies, one it has too many
# promises what the library does not give.
shared=$unpacked$lib/libvalidate.so.$version
nm -D --defined-only "$shared" | awk '{ sub(/@.*/, "", $3); print $3 }' | sort >"$work/exported"
sed -n 's/^ \([^@ ]*\)@.*/\1/p' packaging/libvalidate1.symbols | sort >"$work/listed"
expect "$(comm -23 "$work/exported" "$work/listed" | xargs)" "" \
  "names the library exports that packaging/libvalidate1.symbols lacks"
expect "$(comm -13 "$work/exported" "$work/listed" | xargs)" "" \
  "names in packaging/libvalidate1.symbols that the library does not export"
dpkg-deb --ctrl-tarfile "$library" | tar -xO ./symbols | cmp -s - packaging/libvalidate1.symbols || {
  echo "package check failed: the package's symbols file is not packaging/libvalidate1.symbols"
  exit 1
}
expect "$(objdump -p "$shared" | awk '$1 == "SONAME" { print $2 }')" "libvalidate.so.1" \
  "the library's SONAME"
expect "$(dpkg-deb -f "$library" Section)" "libs" "the library package's section"
dpkg-deb -f "$library" Depends | grep -q 'libc6.*libstdc++6' || {
  echo "package check failed: the library package does not depend on libc6 and libstdc++6"
  exit 1
}
expect "$(dpkg-deb -f "$development" Section)" "libdevel" "the development package's section"
expect "$(dpkg-deb -f "$development" Depends)" "libvalidate1 (= $version)" \
  "the development package's dependencies"
echo "$(basename "$library"): $(wc -l <"$work/exported") names exported, each in the symbols file"

# A C program on the library, tests/support/use_library.c, built as its
# users would build it: the header in strict C, with the flags of the
# pkg-config file, then through the CMake package; each build run on the
# signed example, its altered copy and a missing file.
examples=("$PWD/examples/calibration.dat" "$PWD/examples/calibration-altered.dat" "$work/missing.dat")
verdicts="$version 0 1 2"
export PKG_CONFIG_PATH=$unpacked$lib/pkgconfig
expect "$(pkg-config --modversion validate)" "$version" "pkg-config --modversion validate"
read -r -a cflags < <(pkg-config --cflags validate)
read -r -a libs < <(pkg-config --libs validate)
expect "${#cflags[@]} $(realpath -m "${cflags[0]#-I}")" "1 $unpacked/usr/include" \
  "pkg-config --cflags validate"
expect "${#libs[@]} $(realpath -m "${libs[0]#-L}") ${libs[1]}" "2 $unpacked$lib -lvalidate" \
  "pkg-config --libs validate"
gcc -std=c99 -Wall -Wextra -Wpedantic -Werror "${cflags[@]}" tests/support/use_library.c \
  "${libs[@]}" -o "$work/use-pkg-config"
expect "$(LD_LIBRARY_PATH=$unpacked$lib "$work/use-pkg-config" "${examples[@]}")" "$verdicts" \
  "a program linked with pkg-config --libs validate"
read -r -a static_libs < <(pkg-config --static --libs validate)
gcc -static "${cflags[@]}" tests/support/use_library.c "${static_libs[@]}" -o "$work/use-static"
expect "$("$work/use-static" "${examples[@]}")" "$verdicts" \
  "a static program linked with pkg-config --static --libs validate"

mkdir "$work/cmake"
cat >"$work/cmake/CMakeLists.txt" <<PROJECT
cmake_minimum_required(VERSION 3.25)
project(use_validate LANGUAGES C CXX)
find_package(validate $version EXACT CONFIG REQUIRED)
add_executable(use_shared $PWD/tests/support/use_library.c)
target_link_libraries(use_shared PRIVATE validate::validate)
add_executable(use_static $PWD/tests/support/use_library.c)
target_link_libraries(use_static PRIVATE validate::validate_static)
set_target_properties(use_static PROPERTIES LINKER_LANGUAGE CXX)
PROJECT
cmake -S "$work/cmake" -B "$work/cmake/build" -G Ninja -DCMAKE_PREFIX_PATH="$unpacked/usr" \
  -DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON >"$work/cmake.log" 2>&1 &&
  cmake --build "$work/cmake/build" >>"$work/cmake.log" 2>&1 || {
  cat "$work/cmake.log"
  echo "package check failed: a program on find_package(validate) does not build"
  exit 1
}
expect "$("$work/cmake/build/use_shared" "${examples[@]}")" "$verdicts" \
  "a program on validate::validate"
expect "$("$work/cmake/build/use_static" "${examples[@]}")" "$verdicts" \
  "a program on validate::validate_static"
objdump -p "$work/cmake/build/use_static" >"$work/needed"
if grep -q 'NEEDED *libvalidate' "$work/needed"; then
  echo "package check failed: validate::validate_static links the shared library"
  exit 1
fi
echo "$(basename "$development"): the header, pkg-config and the CMake package build programs that work"

for deb in "$package" "$library" "$development"; do
  expect "$(lintian --fail-on error,warning "$deb" 2>&1 | grep -v '^running with root privileges')" "" \
    "lintian on $(basename "$deb")"
done
echo "lintian: no errors and no warnings"

date=$(TZ=UTC git log -1 --format=%cd --date=format-local:%Y-%m-%d)
[ -z "${SOURCE_DATE_EPOCH:-}" ] || date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%F)
for deb in "$package" "$library" "$development"; do
  expect "$(dpkg-deb -f "$deb" Version)" "$version" "the version of $(basename "$deb")"
  expect "$(dpkg-deb -f "$deb" Maintainer | sed 's/ <.*//')" "validate developers" \
    "the name of the maintainer of $(basename "$deb")"
done
expect "$("$unpacked/usr/bin/datasig" --version)" "datasig $version" "datasig --version"
for page in validate datasig; do
  expect "$(zcat "$unpacked/usr/share/man/man1/$page.1.gz" | head -n 1 | cut -d ' ' -f 4-6)" \
    "$date \"validate $version\"" "the date and version in the header of $page.1"
done
expect "$(grep -m 1 '^## \[' CHANGELOG.md)" "## [$version] - @RELEASE_DATE@" \
  "the newest release in CHANGELOG.md"
for doc in libvalidate1 libvalidate-dev validate; do
  expect "$(zcat "$unpacked/usr/share/doc/$doc/changelog.gz" | head -n 1)" \
    "validate ($version) unstable; urgency=medium" "the newest entry of the changelog of $doc"
done
echo "version $version, dated $date: the packages, datasig --version, the library, the manual pages, the changelogs"
