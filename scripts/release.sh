#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the release of the last commit into dist/: the sources and every
# package that this machine has the tools for, each from a fresh build tree,
# and SHA256SUMS beside them.
#   validate-VERSION.tar.gz              the sources, from git archive
#   validate_VERSION_amd64.deb           the release preset: the tools,
#   libvalidate1_VERSION_amd64.deb       the library
#   libvalidate-dev_VERSION_amd64.deb    and its development files
#   validate_VERSION_arm64.deb           the aarch64 preset: the same three
#   libvalidate1_VERSION_arm64.deb
#   libvalidate-dev_VERSION_arm64.deb
#   validate-VERSION-windows-x86_64.zip  the windows preset
#   validate_datasig-VERSION-*.whl       the Python module, from the sources
#                                        archive, with Debian's python3
#   validate-web-VERSION.zip             the wasm preset: the browser page
#   validate-datasig-VERSION.tgz         and the npm package, from npm pack
# Every build dates itself by the last commit, so building the same commit
# again, here or elsewhere, gives the same bytes. A work tree with changes
# that are not committed is refused: a release must be built from a commit.
#   scripts/release.sh [--allow-changes]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -n "$(git status --porcelain)" ] && [ "${1:-}" != --allow-changes ]; then
  git status --short
  echo "release: the work tree has changes that are not committed (--allow-changes builds anyway)" >&2
  exit 1
fi
version=$(cmake -P cmake/version.cmake)
rm -rf dist build/dist
mkdir dist

git archive --format=tar --prefix="validate-$version/" HEAD | gzip -9 -n >"dist/validate-$version.tar.gz"

# package PRESET GENERATOR FILES TOOL...: builds FILES (names separated by
# spaces) with the preset, without the tests, if this machine has every TOOL.
package() {
  local preset=$1 generator=$2 files=$3 tool file
  shift 3
  for tool in "$@"; do
    command -v "$tool" >/dev/null || {
      echo "$files: not built, this machine lacks $tool (scripts/prerequisites.sh test installs it)"
      return 0
    }
  done
  local build=build/dist/$preset
  {
    cmake --preset "$preset" -B "$build" -DVALIDATE_BUILD_TESTS=OFF &&
      cmake --build "$build" &&
      (cd "$build" && cpack -G "$generator")
  } >"$build.log" 2>&1 || {
    tail -n 40 "$build.log"
    echo "release: the $preset build failed; its log is $build.log" >&2
    exit 1
  }
  for file in $files; do
    cp "$build/$file" dist/
  done
}
# debian ARCHITECTURE: the names of the Debian packages for it.
debian() {
  echo "validate_${version}_$1.deb libvalidate1_${version}_$1.deb libvalidate-dev_${version}_$1.deb"
}

# The page from the wasm preset, to open from disk or put on a static host:
# its files under validate-web-VERSION/, stamped with the commit's time and
# stored in sorted order, so that the zip too is the same on every build.
web_page() {
  local file=validate-web-$version.zip build=build/dist/wasm tool
  for tool in emcc zip; do
    command -v "$tool" >/dev/null || {
      echo "$file: not built, this machine lacks $tool (scripts/prerequisites.sh test installs it)"
      return 0
    }
  done
  { cmake --preset wasm -B "$build" -DVALIDATE_BUILD_TESTS=OFF && cmake --build "$build"; } >"$build.log" 2>&1 || {
    tail -n 40 "$build.log"
    echo "release: the wasm build failed; its log is $build.log" >&2
    exit 1
  }
  local folder=build/dist/validate-web-$version epoch
  epoch=$(git log -1 --format=%ct)
  rm -rf "$folder"
  cp -r "$build/web" "$folder"
  cp LICENSE "$folder/LICENSE.txt"
  chmod -R u=rwX,go=rX "$folder"
  find "$folder" -exec touch -h -d "@$epoch" {} +
  (cd build/dist && find "validate-web-$version" | LC_ALL=C sort | TZ=UTC zip -q -X -@ "../../dist/$file")
}
# The npm package from the same wasm build, packed by npm, which dates every
# entry alike (1985-10-26) and keeps the files' modes: made the same here.
npm_package() {
  local file=validate-datasig-$version.tgz package=build/dist/wasm/js dist=$PWD/dist
  [ -d "$package" ] || return 0
  command -v npm >/dev/null || {
    echo "$file: not built, this machine lacks npm (scripts/prerequisites.sh test installs it)"
    return 0
  }
  chmod -R u=rwX,go=rX "$package"
  find "$package" -exec touch -h -d "@$(git log -1 --format=%ct)" {} +
  (cd "$package" && npm pack --silent --pack-destination "$dist" >/dev/null)
  [ -f "dist/$file" ] || { echo "release: npm pack wrote no $file" >&2; exit 1; }
}
mkdir -p build/dist
unset SOURCE_DATE_EPOCH
package release DEB "$(debian "$(dpkg --print-architecture)")" g++ dpkg-shlibdeps
package aarch64 DEB "$(debian arm64)" aarch64-linux-gnu-g++ qemu-aarch64
package windows ZIP "validate-$version-windows-x86_64.zip" x86_64-w64-mingw32-g++-posix wine mandoc
web_page
npm_package

# The wheel, built offline from the sources archive unpacked, so that it
# holds what was committed and nothing built before.
if /usr/bin/python3 -c 'import build, setuptools, wheel' 2>/dev/null; then
  mkdir build/dist/python
  tar -xzf "dist/validate-$version.tar.gz" -C build/dist/python
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) /usr/bin/python3 -m build --no-isolation --wheel \
    --outdir dist "build/dist/python/validate-$version/python" >build/dist/python.log 2>&1 || {
    tail -n 40 build/dist/python.log
    echo "release: the wheel did not build; its log is build/dist/python.log" >&2
    exit 1
  }
else
  echo "the wheel: not built, this machine lacks python3-build (scripts/prerequisites.sh test installs it)"
fi

cd dist
sha256sum -- * >SHA256SUMS
sha256sum --quiet -c SHA256SUMS
echo "dist/, from commit $(git rev-parse --short HEAD):"
cat SHA256SUMS
