#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Python module datasig: builds its wheel offline with Debian's python3
# and tools, installs it into a fresh virtual environment in a temporary
# folder, and there runs its tests (python/tests/) against the release
# build of validate and datasig, then mypy --strict over the installed
# package and the programs that use it (bench/python_bench.py, and
# examples/dask_check.py, whose test runs it on Dask clusters).
# The environment sees the system's packages, for pytest and mypy; the
# wheel itself needs nothing but Python. PYTHON names another interpreter.
#   tests/python-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
python=${PYTHON:-/usr/bin/python3}

cmake --preset release >/dev/null
cmake --build --preset release -j2 --target validate datasig >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" -m build --no-isolation --wheel --outdir "$work/dist" python/ >"$work/build.log" 2>&1 || {
  tail -n 40 "$work/build.log"
  echo "python check: the wheel did not build" >&2
  exit 1
}
wheel=$(ls "$work"/dist/*.whl)
echo "built $(basename "$wheel")"
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --no-index --no-deps --quiet "$wheel"

# Run from the temporary folder, so that the installed package is the one
# imported. Any status but 0 fails, pytest's 5 for no tests among them.
cd "$work"
VALIDATE_PROGRAM=$root/build/release/src/validate \
  DATASIG_PROGRAM=$root/build/release/src/datasig/datasig \
  "$work/venv/bin/python" -m pytest -p no:cacheprovider -q "$root/python/tests"
package=$("$work/venv/bin/python" -c 'import datasig, os; print(os.path.dirname(datasig.__file__))')
# distributed's functions carry few annotations to check calls against; reading it
# whole, with dask and tornado, would take mypy some 30 s more.
printf '[mypy]\n[mypy-distributed.*]\nfollow_imports = skip\n' >"$work/mypy.ini"
"$work/venv/bin/python" -m mypy --config-file "$work/mypy.ini" --strict --no-incremental \
  --cache-dir=/dev/null "$package" "$root/bench/python_bench.py" "$root/examples/dask_check.py"
