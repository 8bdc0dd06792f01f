#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times validate against sha512sum and openssl on one generated data file.
#
#   bench/compare.sh [--portable-only] SIZE [RUNS] [lf|crlf]
#
# SIZE is in bytes or with K, M or G (256M is 256 MiB). It builds the release
# preset (with --portable-only, in build/release-portable-only/ with
# -DVALIDATE_SHA512_PORTABLE_ONLY=ON, so that validate runs the portable
# SHA-512 compression whatever the processor has), writes a signed file of
# that size under the build tree's bench/, warms
# the page cache, then times RUNS rounds (at least 5; by default 11, or 101
# below 1 MiB) with hyperfine: in each round the three commands run in turn
# (ten times each below 1 MiB), so that load from elsewhere on the machine
# falls on all three alike. It prints the median wall time of each, the
# ratios, and the peak resident set size of validate (from /usr/bin/time).
# It installs nothing: scripts/prerequisites.sh bench installs what it uses.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C

usage() {
  echo "usage: bench/compare.sh [--portable-only] SIZE [RUNS] [lf|crlf]" >&2
  exit 2
}
tree=build/release
configure=(--preset release)
name=validate
if [ "${1:-}" = --portable-only ]; then
  shift
  tree=build/release-portable-only
  configure+=(-B "$tree" -DVALIDATE_SHA512_PORTABLE_ONLY=ON)
  name="validate (portable)"
fi
if [ $# -lt 1 ] || [ $# -gt 3 ]; then usage; fi
size=$1
runs=${2:-}
line_ends=${3:-lf}
[[ $size =~ ^[0-9]+[KkMmGg]?$ ]] || usage
[[ -z $runs || $runs =~ ^[0-9]+$ ]] || usage
[[ $line_ends == lf || $line_ends == crlf ]] || usage

scripts/prerequisites.sh --check bench

cmake "${configure[@]}" >/dev/null
cmake --build "$tree" -j2 --target validate make_data_file >/dev/null

validate=$tree/src/validate
file=$tree/bench/data-$size-$line_ends.dat
"$tree/bench/make_data_file" "$size" "$file" "$line_ends"
bytes=$(stat -c %s "$file")
if [ -z "$runs" ]; then
  runs=11
  [ "$bytes" -ge $((1 << 20)) ] || runs=101
fi
[ "$runs" -ge 5 ] || runs=5

verdict=$("$validate" "$file")
if [ "$verdict" != "Validation check passed, data indicated as correct" ]; then
  echo "validate does not pass the generated file: $verdict" >&2
  exit 1
fi

names=("$name" "sha512sum" "openssl dgst -sha512")
commands=("$validate $file" "sha512sum $file" "openssl dgst -sha512 $file")
# Small files: each round runs each command several times, and its figure for
# the round is their median.
per_round=1
[ "$bytes" -ge $((1 << 20)) ] || per_round=10

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Each round is one hyperfine run of the three commands in turn, without a
# shell between, so that load from elsewhere on the machine falls on all
# three alike; a command's figure is the median of its rounds.
hyperfine -N --warmup 3 --runs 1 "${commands[@]}" >/dev/null 2>&1
for ((round = 0; round < runs; ++round)); do
  hyperfine -N --runs "$per_round" --export-csv "$work/round-$round.csv" "${commands[@]}" \
    >/dev/null 2>&1
done

median() {
  sort -g | awk '{ v[NR] = $1 } END { printf "%.6f\n", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

declare -a medians
for c in 0 1 2; do
  medians[c]=$(awk -F, -v row=$((c + 2)) 'FNR == row { print $4 }' "$work"/round-*.csv | median)
done
rss_file=$(/usr/bin/time -f %M "$validate" "$file" 2>&1 >/dev/null)

echo "file: $file, $bytes bytes, $line_ends line ends; $runs alternating rounds of $per_round run(s) each"
printf '%-22s %s\n' "command" "median wall (s)"
for c in 0 1 2; do
  printf '%-22s %.4f\n' "${names[$c]}" "${medians[$c]}"
done
awk -v v="${medians[0]}" -v s="${medians[1]}" -v o="${medians[2]}" \
  'BEGIN { printf "validate/sha512sum     %.2f\nvalidate/openssl       %.2f\n", v / s, v / o }'
echo "peak RSS of validate:  $rss_file KiB"
