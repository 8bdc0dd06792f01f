#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times the Python module datasig against the programs: check() of a signed
# file of 256 MiB against validate, and check_files() over 3,000 signed files
# of 4 KiB against datasig check (one thread per core for both), once where
# the files share a key line and once where each has a key line of its own.
# It builds the release preset and the wheel (with Debian's python3,
# offline), installs the wheel into a virtual environment in
# build/python-bench/, writes the files with bench/make_many.sh under
# build/release/bench/ (once: later runs, and COUNT=3000 bench/check_many.sh,
# reuse them), and runs bench/python_bench.py there, which prints medians
# and ratios.
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
small=$bin/bench/many-4K-3000
[ -f "$large" ] || "$make_data_file" 256M "$large" lf
keys=$bin/bench/many-4K-keys-3000
bench/make_many.sh "$make_data_file" "$small" 3000
bench/make_many.sh "$make_data_file" "$keys" 3000 keys

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
