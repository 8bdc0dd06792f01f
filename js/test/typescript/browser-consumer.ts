// SPDX-License-Identifier: MIT
// A page's script in TypeScript, resolved as a bundler resolves the package
// for browsers: the calls of every environment, and none of Node.js's.
import { Checker, check, init } from 'validate-datasig';
// @ts-expect-error: files by path are Node.js's alone
import { checkFile } from 'validate-datasig';

export async function checkBlob(blob: Blob): Promise<string> {
  await init();
  const checker = new Checker();
  try {
    const reader = blob.stream().getReader();
    for (let next = await reader.read(); !next.done; next = await reader.read()) {
      checker.update(next.value);
    }
    return checker.finish().verdict;
  } finally {
    checker.free();
  }
}

export const quick = (bytes: ArrayBuffer): boolean => check(bytes).passed;
console.log(checkFile);
