// SPDX-License-Identifier: MIT
// Checks one file with the package laid out in a build tree, as a program
// on it would, and prints the verdict: what bench.sh times.
//   node check-file.mjs build/wasm/js FILE
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [packageDir, file] = process.argv.slice(2);
const { checkFile } = await import(pathToFileURL(path.resolve(packageDir, 'lib/node.js')).href);
console.log((await checkFile(file)).verdict);
