// SPDX-License-Identifier: MIT
// What the package throws: Errors with a code, never a verdict for a file
// that could not be read; and what the installed package holds.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { test } from 'node:test';
import { pathToFileURL } from 'node:url';

import * as datasig from 'validate-datasig';

import { run, tools } from './files.js';

test('every call but init and the file checks needs init first', async () => {
  // A fresh copy of the module, which nothing has started.
  const entry = path.join(path.dirname(createRequire(import.meta.url).resolve('validate-datasig/package.json')),
    'lib/index.js');
  const fresh = await import(`${pathToFileURL(entry).href}?fresh`);
  for (const call of [() => fresh.check(new Uint8Array()), () => fresh.sign(new Uint8Array()),
    () => fresh.explain(new Uint8Array()), () => new fresh.Checker()]) {
    assert.throws(call, { code: 'ERR_NOT_INITIALIZED' });
  }
  await fresh.init();
  assert.equal(fresh.check(new Uint8Array()).verdict, 'unsigned');
});

test('wrong arguments are TypeErrors and RangeErrors with codes', async () => {
  await datasig.init();
  const table = [
    [() => datasig.check('examples/calibration.dat'), TypeError, 'ERR_INVALID_ARG_TYPE'],
    [() => datasig.check(null), TypeError, 'ERR_INVALID_ARG_TYPE'],
    [() => datasig.sign([65, 10]), TypeError, 'ERR_INVALID_ARG_TYPE'],
    [() => datasig.explain(new Uint8Array(), 7), TypeError, 'ERR_INVALID_ARG_TYPE'],
    [() => new datasig.Checker().update('A line'), TypeError, 'ERR_INVALID_ARG_TYPE'],
  ];
  for (const [call, type, code] of table) {
    assert.throws(call, (error) => error instanceof type && error.code === code);
  }
  await assert.rejects(datasig.checkFiles(['a'], { jobs: 0 }), { name: 'RangeError', code: 'ERR_OUT_OF_RANGE' });
  await assert.rejects(datasig.checkFiles([7]), { name: 'TypeError', code: 'ERR_INVALID_ARG_TYPE' });
});

test('a file that cannot be read rejects with the system\'s error and its path', async () => {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'validate-datasig-errors-'));
  const cases = [
    [path.join(folder, 'missing.dat'), 'ENOENT'],
    [folder, 'EISDIR'],
    [path.join(folder, 'missing', 'below.dat'), 'ENOENT'],
  ];
  try {
    for (const [file, code] of cases) {
      await assert.rejects(datasig.checkFile(file), (error) => error instanceof Error &&
        error.code === code && error.path === file && !('verdict' in error), file);
    }
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
});

test('a freed checker says so; free is also Symbol.dispose', async () => {
  await datasig.init();
  const checker = new datasig.Checker();
  checker.update(new Uint8Array([0x41, 0x0a]));
  checker[Symbol.dispose]();
  for (const call of [() => checker.update(new Uint8Array()), () => checker.finish(), () => checker.reset()]) {
    assert.throws(call, { code: 'ERR_CHECKER_FREED' });
  }
  checker.free();
});

test('the version is the project\'s, which datasig states', () => {
  const installed = JSON.parse(fs.readFileSync(new URL(import.meta.resolve('validate-datasig/package.json'))));
  assert.equal(datasig.version, installed.version);
  assert.ok(run(tools.datasig, ['--version']).stdout.toString().includes(datasig.version));
});

test('the package exports its API and nothing else', () => {
  assert.deepEqual(Object.keys(datasig).sort(),
    ['Checker', 'check', 'checkFile', 'checkFiles', 'explain', 'init', 'sign', 'version']);
});

test('the browsers\' entry imports nothing of Node.js', () => {
  const lib = path.dirname(new URL(import.meta.resolve('validate-datasig/package.json')).pathname);
  const seen = new Set();
  const visit = (file) => {
    if (seen.has(file)) {
      return;
    }
    seen.add(file);
    const source = fs.readFileSync(file, 'utf8');
    for (const [, name] of source.matchAll(/^import .* from '([^']+)';$/gm)) {
      assert.ok(name.startsWith('./'), `${path.basename(file)} imports ${name}`);
      visit(path.join(path.dirname(file), name));
    }
  };
  visit(path.join(lib, 'lib/index.js'));
  assert.equal(seen.size, 3);
});
