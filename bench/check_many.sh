#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times datasig check against the ways there were before it:
#   - 10,000 signed data files of 4 KiB that share a key line: datasig check
#     (one thread per core, and one thread) against a shell loop that runs
#     validate once per file, and against sha512sum -c over the same files;
#   - 10,000 more, each with a key line of its own, so that each costs a
#     key schedule: datasig check against sha512sum -c, by wall time and by
#     CPU time (user and system, over all threads);
#   - one signed data file of 256 MiB: datasig check against validate.
#
#   [COUNT=N] bench/check_many.sh [RUNS] [LOOP_RUNS]
#
# COUNT, 10,000 by default, is how many small files each set holds: the
# 10,000 are kept under many-4K and many-4K-keys, other counts under names
# that end in -COUNT.
# It builds the release preset and writes the files with make_data_file
# under build/release/bench/ (the small ones once: later runs reuse them). Each
# comparison warms the page cache, then runs RUNS rounds (at least 5, 11 by
# default) with hyperfine, each round running the commands in turn so that
# load from elsewhere on the machine falls on all alike, and prints the
# median wall time of each and their ratios (for the files with keys of their
# own, the median CPU time too). The validate loop, which takes some 20 s,
# runs LOOP_RUNS times (3 by default) on its own.
# It installs nothing: scripts/prerequisites.sh bench installs what it uses.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C

runs=${1:-11}
loop_runs=${2:-3}
[[ $runs =~ ^[0-9]+$ && $loop_runs =~ ^[0-9]+$ ]] || {
  echo "usage: bench/check_many.sh [RUNS] [LOOP_RUNS]" >&2
  exit 2
}
[ "$runs" -ge 5 ] || runs=5
[ "$loop_runs" -ge 1 ] || loop_runs=1
count=${COUNT:-10000}
[[ $count =~ ^[1-9][0-9]*$ ]] || {
  echo "bench/check_many.sh: COUNT must be a positive number of files" >&2
  exit 2
}
# 10000 as 10,000
count_text=$(sed -E ':a; s/([0-9])([0-9]{3})($|,)/\1,\2\3/; ta' <<<"$count")
suffix=""
[ "$count" -eq 10000 ] || suffix=-$count

scripts/prerequisites.sh --check bench
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target validate datasig make_data_file >/dev/null

bin=build/release
validate=$bin/src/validate
datasig=$bin/src/datasig/datasig
make_data_file=$bin/bench/make_data_file
many=$bin/bench/many-4K$suffix
many_keys=$bin/bench/many-4K-keys$suffix
large=$bin/bench/data-256M-lf.dat

bench/make_many.sh "$make_data_file" "$many" "$count"
bench/make_many.sh "$make_data_file" "$many_keys" "$count" keys
[ -f "$large" ] || "$make_data_file" 256M "$large" lf
if [ "$("$datasig" check --quiet -r "$many" "$many_keys" "$large")" != "" ]; then
  echo "datasig check does not pass every generated file" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() {
  sort -g | awk '{ v[NR] = $1 } END { printf "%.6f\n", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# alternate NAME COMMAND...: RUNS rounds of the commands in turn, without a
# shell between; prints each command's median wall time and its ratio to the
# first, and keeps the medians in $work/NAME, one a line, and the medians of
# CPU time (user and system) in $work/NAME.cpu.
alternate() {
  local name=$1
  shift
  hyperfine -N --warmup 2 --runs 1 "$@" >/dev/null 2>&1
  for ((round = 0; round < runs; ++round)); do
    hyperfine -N --runs 1 --export-csv "$work/$name-$round.csv" "$@" >/dev/null 2>&1
  done
  local c first=""
  for ((c = 0; c < $#; ++c)); do
    local m
    m=$(awk -F, -v row=$((c + 2)) 'FNR == row { print $4 }' "$work/$name"-*.csv | median)
    first=${first:-$m}
    echo "$m" >>"$work/$name"
    awk -F, -v row=$((c + 2)) 'FNR == row { print $5 + $6 }' "$work/$name"-*.csv | median \
      >>"$work/$name.cpu"
    local command=("$@")
    printf '  %-52s %9.4f s  %6.2f\n' "${command[$c]}" "$m" "$(awk -v a="$m" -v b="$first" 'BEGIN { print a / b }')"
  done
}

echo "$count_text signed files of 4 KiB; $runs alternating rounds; median wall time, ratio to the first"
datasig_here=$(realpath --relative-to="$many/.." "$datasig")
many_here=$(basename "$many")
many_keys_here=$(basename "$many_keys")
(
  cd "$many/.."
  alternate shared "$datasig_here check -r $many_here" "$datasig_here check --jobs 1 -r $many_here" \
    "sha512sum -c --quiet $many_here.sha512"
)
echo "$count_text signed files of 4 KiB, each with a key line of its own; $runs alternating rounds"
(
  cd "$many/.."
  alternate keyed "$datasig_here check -r $many_keys_here" \
    "$datasig_here check --jobs 1 -r $many_keys_here" "sha512sum -c --quiet $many_keys_here.sha512"
)
echo "  the same, median CPU time (user + system, all threads); datasig/sha512sum by wall and CPU time"
keyed=("datasig check -r $many_keys_here" "datasig check --jobs 1 -r $many_keys_here"
  "sha512sum -c --quiet $many_keys_here.sha512")
mapfile -t wall <"$work/keyed"
mapfile -t cpu <"$work/keyed.cpu"
for c in 0 1 2; do
  printf '  %-52s %9.4f s' "${keyed[$c]}" "${cpu[$c]}"
  [ "$c" -eq 2 ] || awk -v w="${wall[$c]}" -v sw="${wall[2]}" -v u="${cpu[$c]}" -v su="${cpu[2]}" \
    'BEGIN { printf "  wall %5.2f  CPU %5.2f", w / sw, u / su }'
  echo
done
echo "the same files as the first, a shell loop that runs validate once per file; $loop_runs runs"
hyperfine --runs "$loop_runs" --export-csv "$work/loop.csv" \
  "for f in $many/*.dat; do $validate \"\$f\"; done >/dev/null" >/dev/null 2>&1
loop=$(awk -F, 'FNR == 2 { print $4 }' "$work/loop.csv")
printf '  %-52s %9.4f s\n' "for f in $many_here/*.dat; do validate \$f; done" "$loop"
awk -v loop="$loop" 'NR == 1 { printf "  the loop takes %.0f times as long as datasig check -r\n", loop / $1 }' "$work/shared"

echo "one signed file of 256 MiB; $runs alternating rounds"
alternate large "$validate $large" "$datasig check $large"
