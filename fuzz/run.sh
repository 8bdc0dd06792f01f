#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz preset and runs every fuzz target for SECONDS each (60 by
# default), starting from the seed corpus in fuzz/corpus/. Fails on any
# finding, and prints the input that caused it in base64.
#   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for target in fuzz_validate fuzz_digest fuzz_api; do
  mkdir -p "$work/$target/corpus" "$work/$target/findings"
  log="$work/$target/log"
  if "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -max_len=8192 \
      -print_final_stats=1 -artifact_prefix="$work/$target/findings/" \
      "$work/$target/corpus" "fuzz/corpus/${target#fuzz_}" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: ${runs:-?} runs in ${seconds} s, no findings"
  else
    status=1
    echo "$target: FINDING"
    tail -n 40 "$log"
    for finding in "$work/$target/findings/"*; do
      [ -f "$finding" ] || continue
      echo "input $(basename "$finding") (base64):"
      base64 "$finding"
    done
  fi
done
exit "$status"
