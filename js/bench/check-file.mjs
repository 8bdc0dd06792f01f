// SPDX-License-Identifier: MIT
// Checks one file with the package laid out in a build tree, as a program
// on it would, and prints the verdict and the processor time (user +
// system, in seconds) of the check alone, init() included: what bench.sh
// times, beside the whole process.
//   node check-file.mjs build/wasm/js FILE
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [packageDir, file] = process.argv.slice(2);
const { checkFile } = await import(pathToFileURL(path.resolve(packageDir, 'lib/node.js')).href);
const before = process.cpuUsage();
const { verdict } = await checkFile(file);
const { user, system } = process.cpuUsage(before);
console.log(verdict);
console.log(((user + system) / 1e6).toFixed(3));
