#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# datasig check -r on trees of many small files: its peak memory on 2,000
# files and on 200,000 (which must stay close: the walk streams), and when
# its first line comes out against how long the whole run takes (early: it
# checks while it walks). The trees are folders of 1,000 signed files each,
# the first folder written and the others hard links to it, so that they
# cost little disk space; they are made once under build/release/bench/ and
# reused.
#   bench/walk_memory.sh
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C

cmake --preset release >/dev/null
cmake --build --preset release -j2 --target datasig >/dev/null
datasig=$PWD/build/release/src/datasig/datasig
work=$PWD/build/release/bench/walk

tree() { # FILES: the tree's folder, made if it is not there yet
  local files=$1 folder=$work/$1 d f content
  if [ ! -f "$folder.done" ]; then
    rm -rf "$folder"
    mkdir -p "$folder/d0"
    IFS= read -r -d '' content <examples/calibration.dat || true
    for ((f = 0; f < 1000; ++f)); do
      printf '%s' "$content" >"$folder/d0/f$f"
    done
    for ((d = 1; d < files / 1000; ++d)); do
      cp -al "$folder/d0" "$folder/d$d"
    done
    touch "$folder.done"
  fi
  echo "$folder"
}

for files in 2000 200000; do
  folder=$(tree "$files")
  peak=$( { /usr/bin/time -f '%M' "$datasig" check --status -r "$folder" ; } 2>&1 )
  start=$(date +%s.%N)
  first=""
  while IFS= read -r _; do
    [ -n "$first" ] || first=$(date +%s.%N)
  done < <("$datasig" check -r "$folder")
  end=$(date +%s.%N)
  awk -v n="$files" -v kib="$peak" -v s="$start" -v f="$first" -v e="$end" 'BEGIN {
    printf "%7d files: peak RSS %.1f MiB; first line after %.3f s of %.3f s (%.1f %%)\n",
      n, kib / 1024, f - s, e - s, 100 * (f - s) / (e - s) }'
done
