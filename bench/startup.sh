#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times what a check of a small file costs beyond starting a process at all:
# validate on one signed data file of 4 KiB, and validate with no argument,
# against an empty C program (main returns 0) linked with cc -O2 -static-pie,
# about the least a process can cost, and against a C program linked the same
# way that only reads the file (open, fstat, read to the end, close, one line
# written), about the least a process that reads it can cost.
#
#   bench/startup.sh [RUNS] [ROUNDS]
#
# It builds the release preset, writes the two programs and the 4 KiB file
# under build/release/bench/, checks that validate passes the file, then runs
# ROUNDS rounds (5 by default), each timing the four commands in turn so that
# load from elsewhere on the machine falls on all alike: with perf stat -r RUNS
# -e task-clock (RUNS is 300 by default) where perf may count events, else
# with hyperfine -N --runs RUNS and its user and system times. It prints each
# command's median CPU time and its ratio to the empty program's.
# It installs nothing: scripts/prerequisites.sh bench installs what it uses.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C

runs=${1:-300}
rounds=${2:-5}
[[ $runs =~ ^[1-9][0-9]*$ && $rounds =~ ^[1-9][0-9]*$ ]] || {
  echo "usage: bench/startup.sh [RUNS] [ROUNDS]" >&2
  exit 2
}

scripts/prerequisites.sh --check bench
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target validate make_data_file >/dev/null

bin=build/release
validate=$bin/src/validate
empty=$bin/bench/empty
read_only=$bin/bench/read_only
file=$bin/bench/data-4K-lf.dat

if ! cc -O2 -static-pie -x c -o "$empty" - 2>/dev/null <<<'int main(void){return 0;}'; then
  echo "bench/startup.sh: cc -O2 -static-pie cannot link an empty C program" >&2
  echo "(is there a static C library, libc.a? On Debian libc6-dev holds it)" >&2
  exit 1
fi
cc -O2 -static-pie -x c -o "$read_only" - <<'EOF'
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
static char block[65536];
int main(int argc, char **argv)
{
    struct stat status;
    ssize_t n;
    int file = argc > 1 ? open(argv[1], O_RDONLY) : -1;
    if (file < 0 || fstat(file, &status) != 0)
        return 1;
    while ((n = read(file, block, sizeof block)) > 0)
        ;
    close(file);
    return write(1, "read\n", 5) == 5 && n == 0 ? 0 : 1;
}
EOF
"$bin/bench/make_data_file" 4K "$file" lf
verdict=$("$validate" "$file")
if [ "$verdict" != "Validation check passed, data indicated as correct" ]; then
  echo "validate does not pass the generated file: $verdict" >&2
  exit 1
fi

names=("empty static-pie program" "validate FILE (4 KiB)" "validate (no argument)"
  "C program reading FILE")
commands=("$empty" "$validate $file" "$validate" "$read_only $file")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() {
  sort -g | awk '{ v[NR] = $1 } END { printf "%.6f\n", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

declare -a ms
if perf stat -e task-clock true >/dev/null 2>&1; then
  how="perf stat -r $runs -e task-clock"
  for c in 0 1 2 3; do
    # shellcheck disable=SC2086 # the command's words
    for ((i = 0; i < 10; ++i)); do ${commands[$c]} >/dev/null 2>&1 || true; done
  done
  for ((round = 0; round < rounds; ++round)); do
    for c in 0 1 2 3; do
      # validate with no argument fails, and so does perf stat with it.
      # shellcheck disable=SC2086
      perf stat -x, -o "$work/$c-$round.txt" -r "$runs" -e task-clock -- ${commands[$c]} \
        >/dev/null 2>&1 || true
    done
  done
  [ "$(awk -F, '$3 ~ /^task-clock/' "$work"/*.txt | wc -l)" -eq $((4 * rounds)) ] || {
    echo "bench/startup.sh: perf stat gave no task-clock for some round" >&2
    exit 1
  }
  # perf prints task-clock in ms to two decimals only; the counter's running
  # time after it, in ns, is the same time (a task-clock counter runs while
  # the task does) to the nanosecond.
  for c in 0 1 2 3; do
    ms[c]=$(awk -F, '$3 ~ /^task-clock/ { print ($5 ~ /^[0-9]+$/ ? $5 / 1e6 : $1) }' \
      "$work/$c"-*.txt | median)
  done
else
  how="hyperfine -N --runs $runs, user + system (perf may not count events here)"
  hyperfine -N -i --warmup 10 --runs 1 "${commands[@]}" >/dev/null 2>&1
  for ((round = 0; round < rounds; ++round)); do
    hyperfine -N -i --runs "$runs" --export-csv "$work/round-$round.csv" "${commands[@]}" \
      >/dev/null 2>&1
  done
  for c in 0 1 2 3; do
    ms[c]=$(awk -F, -v row=$((c + 2)) 'FNR == row { print ($5 + $6) * 1000 }' \
      "$work"/round-*.csv | median)
  done
fi

echo "file: $file; $rounds alternating rounds of $how"
printf '%-26s %s\n' "command" "median CPU time (ms)"
for c in 0 1 2 3; do
  printf '%-26s %.3f\n' "${names[$c]}" "${ms[$c]}"
done
awk -v e="${ms[0]}" -v f="${ms[1]}" -v n="${ms[2]}" -v r="${ms[3]}" \
  'BEGIN { printf "validate FILE/empty        %.2f\nvalidate/empty             %.2f\nreading FILE/empty         %.2f\n", f / e, n / e, r / e }'
