#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The browser page: builds the wasm preset (the library as WebAssembly and
# the page in build/wasm/web) and the native release tools, then has
# Debian's Chromium check the examples and some fifty generated files in the
# page and compares what it shows with validate and datasig explain
# (tests/web/web-check.mjs). puppeteer-core drives Chromium; npm installs the
# version that tests/web/package-lock.json pins, and no browser.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset wasm >/dev/null
cmake --build --preset wasm
cmake --preset release >/dev/null
cmake --build --preset release

# npm ci starts from nothing each time; the lock file's copy says whether
# node_modules already holds what it pins.
if ! cmp -s tests/web/package-lock.json tests/web/node_modules/.installed-lock.json; then
  (cd tests/web && npm ci --ignore-scripts --no-audit --no-fund)
  cp tests/web/package-lock.json tests/web/node_modules/.installed-lock.json
fi
node tests/web/web-check.mjs
