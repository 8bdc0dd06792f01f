#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The npm package in Node.js against validate on one generated data file, by
# CPU time (user + system) of the whole process, Node.js's start and the
# module's compilation included, and of checkFile alone: the package as
# built (SHA-512 with a SIMD message schedule) and a build with the portable
# compression alone.
#   js/bench/bench.sh [SIZE] [RUNS]
# SIZE as make_data_file takes it (256M by default); each command runs RUNS
# times (5 by default), and the least CPU time of each counts. It builds the
# release preset, the wasm preset's package and the portable one in
# build/wasm-portable.
set -euo pipefail
cd "$(dirname "$0")/../.."
size=${1:-256M}
runs=${2:-5}

cmake --preset release >/dev/null
cmake --build --preset release --target validate make_data_file >/dev/null
cmake --preset wasm >/dev/null
cmake --build --preset wasm --target js_package >/dev/null
cmake --preset wasm -B build/wasm-portable -DVALIDATE_SHA512_PORTABLE_ONLY=ON \
  -DVALIDATE_BUILD_TESTS=OFF >/dev/null
cmake --build build/wasm-portable --target js_package >/dev/null

file=build/release/bench/bench-js-$size.dat
[ -f "$file" ] || build/release/bench/make_data_file "$size" "$file"
cat "$file" >/dev/null

least() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

# The least user + system time of RUNS runs of a command, in seconds, and
# for the package the least the check alone took, as check-file.mjs says.
cpu_time() {
  local best="" alone="" run out
  for ((run = 0; run < runs; run++)); do
    out=$( { /usr/bin/env time -f 'time %U %S' "$@"; } 2>&1)
    best=$(least "$(awk '/^time / { printf "%.3f", $2 + $3 }' <<<"$out")" "$best")
    if [[ $(sed -n 2p <<<"$out") =~ ^[0-9.]+$ ]]; then
      alone=$(least "$(sed -n 2p <<<"$out")" "$alone")
    fi
  done
  echo "$best $alone"
}

read -r native _ < <(cpu_time build/release/src/validate "$file")
read -r simd simd_alone < <(cpu_time node js/bench/check-file.mjs build/wasm/js "$file")
read -r portable portable_alone < <(cpu_time node js/bench/check-file.mjs build/wasm-portable/js "$file")
ratio() { awk -v a="$1" -v b="$native" 'BEGIN { printf "%.2f", a / b }'; }
echo "$size file, CPU time (user + system), the least of $runs runs:"
echo "  validate (release)             ${native} s"
echo "  package, SIMD schedule         ${simd} s  $(ratio "$simd") x validate's (the target is 1.5 at most);" \
  "checkFile alone ${simd_alone} s, $(ratio "$simd_alone") x"
echo "  package, portable compression  ${portable} s  $(ratio "$portable") x validate's;" \
  "checkFile alone ${portable_alone} s, $(ratio "$portable_alone") x"
