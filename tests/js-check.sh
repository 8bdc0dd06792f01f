#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The npm package as its users get it: builds the wasm preset (the package in
# build/wasm/js, and the SHA-512 and Blowfish vectors, run on every
# compression the module holds under Node.js) and the native release tools;
# packs the package with npm pack, installs the tarball offline into a fresh
# folder and runs js/test/ there with node --test against validate, datasig
# sign and datasig explain; then tsc --noEmit over a Node.js and a browser
# consumer in TypeScript (js/test/typescript/), with the TypeScript that its
# package-lock.json pins. npm downloads nothing else.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

cmake --preset wasm >/dev/null
cmake --build --preset wasm
ctest --preset wasm
cmake --preset release >/dev/null
cmake --build --preset release

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version=$(cmake -P cmake/version.cmake)
(cd build/wasm/js && npm pack --pack-destination "$work" --silent >/dev/null)
tarball=$work/validate-datasig-$version.tgz
test -f "$tarball"

consumer=$work/consumer
mkdir "$consumer"
printf '{ "name": "consumer", "version": "1.0.0", "private": true, "type": "module" }\n' \
  >"$consumer/package.json"
(cd "$consumer" && npm install --offline --no-audit --no-fund --silent "$tarball")
cp js/test/*.js "$consumer/"
(cd "$consumer" && VALIDATE=$root/build/release/src/validate \
  DATASIG=$root/build/release/src/datasig/datasig \
  MAKE_DATA_FILE=$root/build/release/bench/make_data_file EXAMPLES=$root/examples \
  node --test ./*.test.js)

# npm ci starts from nothing each time; the lock file's copy says whether
# node_modules already holds what it pins.
types=js/test/typescript
if ! cmp -s $types/package-lock.json $types/node_modules/.installed-lock.json; then
  (cd $types && npm ci --ignore-scripts --no-audit --no-fund)
  cp $types/package-lock.json $types/node_modules/.installed-lock.json
fi
cp $types/*.ts $types/tsconfig.*.json "$consumer/"
for config in node browser; do
  "$root/$types/node_modules/.bin/tsc" -p "$consumer/tsconfig.$config.json"
done
echo "tsc --noEmit: the Node.js and browser consumers type-check"
