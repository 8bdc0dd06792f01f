#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs, with apt-get, what this machine lacks for a purpose, and nothing
# when it lacks nothing:
#   build  cmake, ninja and g++: enough to build validate and datasig
#   test   everything tests/run-all.sh uses: GoogleTest, clang with its
#          sanitizer and fuzzer runtimes, clang-tidy, cppcheck, the packaging
#          tools and lintian, pkg-config, libabigail's tools, the cross
#          compilers, wine and qemu-user for the Windows, aarch64 and s390x
#          builds, Debian's python3 with what builds the Python module's
#          wheel, pytest and mypy, Dask's distributed for the cluster
#          example, Emscripten, Node.js, npm and Chromium for the browser
#          page and the npm package, and bash-completion, zsh and fish for
#          datasig's shell completions
#   bench  what the scripts under bench/ and js/bench/ and the
#          micro-benchmarks use
#   scripts/prerequisites.sh [--check] build|test|bench ...
# With --check it installs nothing: it names what is missing and fails.
# PYTHON names another interpreter to look its modules up in, as
# tests/python-check.sh takes it.
set -euo pipefail

missing=()
need_command() { command -v "$1" >/dev/null || missing+=("$2"); }
need_file() { compgen -G "$1" >/dev/null || missing+=("$2"); }
# Modules are looked up in isolation (-I) and from /, so that a folder of the
# working folder named like a module (build/, for one) never stands in for it.
python=${PYTHON:-/usr/bin/python3}
need_python() { (cd / && "$python" -I -c "import $1") 2>/dev/null || missing+=("$2"); }

for_build() {
  need_command cmake cmake
  need_command ninja ninja-build
  need_command g++ g++
  need_command gzip gzip
}

# Building the Python module's wheel offline, and a virtual environment.
for_python() {
  need_file "/usr/include/python3*/Python.h" python3-dev
  need_python ensurepip python3-venv
  need_python setuptools python3-setuptools
  need_python wheel python3-wheel
  need_python build python3-build
}

for_test() {
  for_build
  for_python
  need_python pytest python3-pytest
  need_python mypy python3-mypy
  need_python distributed python3-distributed
  need_file /usr/include/gtest/gtest.h libgtest-dev
  need_file /usr/src/googletest/CMakeLists.txt googletest
  need_command clang++ clang
  need_command clang-tidy clang-tidy
  need_command cppcheck cppcheck
  need_command dpkg-shlibdeps dpkg-dev
  need_command lintian lintian
  need_command pkg-config pkgconf
  need_command abidiff abigail-tools
  need_command git git
  need_command file file
  need_command unzip unzip
  need_command mandoc mandoc
  need_command strace strace
  need_command x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
  need_command wine wine
  need_file /usr/lib/wine/wine64 wine64
  need_command aarch64-linux-gnu-g++ g++-aarch64-linux-gnu
  need_command s390x-linux-gnu-g++ g++-s390x-linux-gnu
  need_command qemu-aarch64 qemu-user
  need_command qemu-s390x qemu-user
  need_command emcc emscripten
  # Debian's emscripten links only with acorn, which it finds through NODE_PATH.
  need_file /usr/share/nodejs/acorn/package.json node-acorn
  need_command node nodejs
  need_command npm npm
  need_command chromium chromium
  need_file /usr/share/bash-completion/bash_completion bash-completion
  need_command zsh zsh
  need_command fish fish
}

# The fuzzer and sanitizer runtimes of whichever clang is installed: known
# only once clang is.
clang_runtime() {
  local major
  major=$(clang++ --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
  need_file "/usr/lib/llvm-$major/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" \
    "libclang-rt-$major-dev"
}

for_bench() {
  for_build
  for_python
  need_file /usr/include/benchmark/benchmark.h libbenchmark-dev
  need_command hyperfine hyperfine
  need_command openssl openssl
  need_command sha512sum coreutils
  need_command /usr/bin/time time
  need_command perf linux-perf
  # js/bench/bench.sh: the npm package, built with Emscripten, in Node.js.
  need_command emcc emscripten
  need_file /usr/share/nodejs/acorn/package.json node-acorn
  need_command node nodejs
}

check_only=false
install_missing() {
  [ ${#missing[@]} -gt 0 ] || return 0
  if $check_only; then
    echo "missing: ${missing[*]} (scripts/prerequisites.sh $purposes installs them)" >&2
    exit 1
  fi
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  missing=()
}

[ "${1:-}" != --check ] || { check_only=true; shift; }
[ $# -gt 0 ] || { echo "usage: $0 [--check] build|test|bench ..." >&2; exit 2; }
purposes="$*"
for purpose in "$@"; do
  case "$purpose" in
    build | bench) "for_$purpose" ;;
    test) for_test; install_missing; clang_runtime ;;
    *) echo "$0: unknown purpose $purpose" >&2; exit 2 ;;
  esac
done
install_missing
