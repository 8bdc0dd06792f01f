// SPDX-License-Identifier: MIT
// sign against datasig sign: the same bytes, or the same refusal.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { before, test } from 'node:test';

import { check, init, sign } from 'validate-datasig';

import { drafts, examples, run, tools } from './files.js';

before(() => init());

test('sign writes what datasig sign writes, or refuses as it does', () => {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'validate-datasig-sign-'));
  const inputs = Object.entries(drafts).map(([name, text]) => [name, Buffer.from(text, 'latin1')]);
  inputs.push(['calibration-altered.dat', fs.readFileSync(path.join(examples, 'calibration-altered.dat'))]);
  // Signature lines of 90 characters, whose parts past the 79th are
  // pieces of their own; one in a long content line.
  inputs.push(['long-g.dat', Buffer.from(`A1\nG${'0'.repeat(78)}G${'1'.repeat(40)}\n`)]);
  inputs.push(['stray-g.dat', Buffer.from(`A${'2'.repeat(78)}G${'3'.repeat(70)}\n`)]);
  try {
    for (const [name, bytes] of inputs) {
      const input = path.join(folder, name);
      const output = `${input}.signed`;
      fs.writeFileSync(input, bytes);
      const native = run(tools.datasig, ['sign', input, '-o', output]);
      if (native.status === 0) {
        const signed = sign(bytes);
        assert.deepEqual(Buffer.from(signed), fs.readFileSync(output), name);
        assert.equal(check(signed).verdict, 'passed', name);
      } else {
        assert.throws(() => sign(bytes), { code: 'ERR_CANNOT_SIGN' }, name);
      }
    }
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
});
