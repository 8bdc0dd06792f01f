#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times the Python module datasig against the programs: check() of a signed
# file of 256 MiB against validate, and check_files() over 3,000 signed files
# of 4 KiB against datasig check (one thread per core for both), once where
# the files share a key line and once where each has a key line of its own. It builds the release preset and the wheel (with Debian's
# python3, offline), installs the wheel into a virtual environment in
# build/python-bench/, writes the files with make_data_file under
# build/release/bench/ (once: later runs reuse them), and runs
# bench/python_bench.py there, which prints medians and ratios.
#   bench/python_bench.sh [ROUNDS]      (11 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C
rounds=${1:-11}
[[ $rounds =~ ^[0-9]+$ ]] || { echo "usage: bench/python_bench.sh [ROUNDS]" >&2; exit 2; }
python=${PYTHON:-/usr/bin/python3}

cmake --preset release >/dev/null
cmake --build --preset release -j2 --target validate datasig make_data_file >/dev/null
bin=build/release
make_data_file=$bin/bench/make_data_file
large=$bin/bench/data-256M-lf.dat
small=$bin/bench/many-3000
[ -f "$large" ] || "$make_data_file" 256M "$large" lf
keys=$bin/bench/many-keys-3000
# make_small FOLDER [keys]: 3,000 signed files of 4 KiB; with keys, each with
# a key line of its own.
make_small() {
  local folder=$1 key=()
  [ -f "$folder.done" ] && return
  rm -rf "$folder"
  mkdir -p "$folder"
  echo "writing 3,000 signed files of 4 KiB to $folder"
  for ((i = 0; i < 3000; ++i)); do
    [ "${2:-}" != keys ] || key=("FILE $i")
    "$make_data_file" 4K "$(printf '%s/f%04d.dat' "$folder" "$i")" lf "$i" "${key[@]}"
  done
  touch "$folder.done"
}
make_small "$small"
make_small "$keys" keys

out=build/python-bench
rm -rf "$out"
"$python" -m build --no-isolation --wheel --outdir "$out/dist" python/ >"$out.log" 2>&1 || {
  tail -n 40 "$out.log"
  exit 1
}
"$python" -m venv "$out/venv"
"$out/venv/bin/python" -m pip install --no-index --no-deps --quiet "$out"/dist/*.whl
"$out/venv/bin/python" bench/python_bench.py "$bin/src/validate" "$bin/src/datasig/datasig" \
  "$large" "$small" "$keys" "$rounds"
