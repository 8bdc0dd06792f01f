// SPDX-License-Identifier: MIT
// The module's memory comes back without the caller's help: a checker that
// finishes holds none, one dropped mid-file gives its back when collected.
// Each checker takes some 110 KiB of the module's 4 GiB at most, and the
// module's addresses past 2 GiB are the JavaScript's too.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { test } from 'node:test';

import { Checker, check, explain, init, sign } from 'validate-datasig';

const file = new TextEncoder().encode('HQDHWHARDWAREVERSION 1\nA line\n');

test('checkers finished and never freed hold no memory: 60,000 in a row', async () => {
  await init();
  const want = check(file);
  for (let i = 0; i < 60000; i += 1) {
    const checker = new Checker();
    checker.update(file);
    assert.equal(checker.finish().digestedPieces, want.digestedPieces);
  }
});

test('21,000 checkers at once, each in the middle of a file: past 2 GiB of the module', async () => {
  await init();
  const want = check(file);
  const signed = sign(file);
  const report = explain(file);
  const checkers = Array.from({ length: 21000 }, () => new Checker());
  checkers.forEach((checker) => checker.update(file.subarray(0, 10)));
  // What sign and explain take of the module now lies past 2 GiB.
  assert.deepEqual(sign(file), signed);
  assert.equal(explain(file), report);
  checkers.forEach((checker) => checker.update(file.subarray(10)));
  for (const checker of checkers) {
    assert.deepEqual(checker.finish(), want);
    checker.free();
  }
});

test('checkers dropped in the middle of a file give their memory back when collected', () => {
  // 60,000 of them would need 6.6 GiB if none came back.
  const script = `
    import { Checker, init } from 'validate-datasig';
    await init();
    for (let i = 0; i < 60000; i += 1) {
      new Checker().update(new Uint8Array([0x41]));
      if (i % 2000 === 0) {
        globalThis.gc();
        await new Promise((resolve) => setTimeout(resolve, 0));
      }
    }
    console.log('done');`;
  const child = spawnSync(process.execPath, ['--expose-gc', '--input-type=module', '-e', script],
    { encoding: 'utf8' });
  assert.equal(child.stderr, '');
  assert.equal(child.stdout, 'done\n');
});
