// SPDX-License-Identifier: MIT
// The package's check against validate: every file's verdict, the same
// result however it is given (bytes, a stream, chunks, many files on
// threads), and the warnings datasig explain lists.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { Checker, check, checkFile, checkFiles, explain, init } from 'validate-datasig';

import { random, run, tools, validateSays, writeFiles } from './files.js';

let folder;
let files;
before(async () => {
  await init();
  ({ folder, files } = writeFiles());
});
after(() => fs.rmSync(folder, { recursive: true, force: true }));

const read = (file) => fs.readFileSync(file);

test('every verdict is validate\'s', () => {
  for (const file of files) {
    const result = check(read(file));
    assert.equal(result.passed ? 'passed' : 'failed', validateSays(file), path.basename(file));
    assert.equal(result.passed, result.verdict === 'passed');
  }
});

test('a file without signature lines is unsigned, one with a wrong one altered', () => {
  const verdicts = Object.fromEntries(files.map((file) => [path.basename(file), check(read(file)).verdict]));
  assert.equal(verdicts['unsigned-plain.dat'], 'unsigned');
  assert.equal(verdicts['altered-content.dat'], 'altered');
  assert.equal(verdicts['one-signature.dat'], 'altered');
  assert.equal(verdicts['calibration.dat'], 'passed');
});

test('the result\'s lines are those datasig explain shows', () => {
  for (const file of files) {
    const result = check(read(file));
    const report = run(tools.datasig, ['explain', file]).stdout.toString('latin1');
    const digest = Buffer.from(result.digest).toString('hex').toUpperCase();
    assert.ok(report.includes(digest.slice(0, 64)) && report.includes(digest.slice(64)), file);
    for (const slot of [0, 1]) {
      if (result.foundLines[slot] !== 0) {
        assert.ok(report.includes(`(line ${result.foundLines[slot]})`), `${file} slot ${slot}`);
      }
    }
    const key = Buffer.from(result.keyLine).toString('latin1');
    const last = result.keyLines > 1 ? `, the last of ${result.keyLines}` : '';
    assert.ok(report.includes(key === '' ? 'key line: none' : `key line: line ${result.keyLineNumber}${last}: `), file);
    const pieces = `pieces: ${result.digestedPieces} digested, ${result.ignoredPieces} ignored, ` +
      `${result.signaturePieces} signature`;
    assert.ok(report.includes(pieces), `${file}: ${pieces}`);
  }
});

test('the warnings are the lines datasig explain lists, the first 32 of them', () => {
  let seen = 0;
  for (const file of files) {
    const result = check(read(file));
    const report = run(tools.datasig, ['explain', file]).stdout.toString('utf8');
    const listed = report.split('\n').filter((line) => /^ {2}line \d+: /.test(line) || /^ {2}the file /.test(line));
    assert.equal(result.warningCount, listed.length, path.basename(file));
    assert.deepEqual(result.warnings.map((warning) => `  ${warning.text}`), listed.slice(0, 32), file);
    for (const warning of result.warnings) {
      assert.ok(warning.text.startsWith(warning.line === 0 ? '' : `line ${warning.line}: `), warning.text);
      assert.ok(warning.column <= warning.lastColumn || warning.lastColumn === 0, warning.text);
    }
    seen += result.warnings.length;
  }
  assert.ok(seen > 40, `only ${seen} warnings among the files`);
});

test('the kinds of warnings', () => {
  const named = (name) => read(files.find((file) => path.basename(file) === name));
  const kinds = (name) => check(named(name)).warnings.map((w) => [w.kind, w.slot]);
  const cases = [
    ['signed-nul-inside.dat', [['nul_byte', 0]]],
    ['signed-unchecked-tail.dat', [['unchecked_part', 0]]],
    ['eof-mark.dat', [['after_eof_mark', 0]]],
    ['one-signature.dat', [['missing_signature', 0]]],
  ];
  for (const [name, want] of cases) {
    assert.deepEqual(kinds(name), want, name);
  }
  assert.equal(kinds('many-warnings.dat').length, 32);
  assert.ok(check(named('many-warnings.dat')).warningCount > 32);
});

test('checkFile reads the file to the same result', async () => {
  for (const file of files) {
    assert.deepEqual(await checkFile(file), check(read(file)), file);
  }
});

test('a Checker gives the same result however the bytes are split', () => {
  const checker = new Checker();
  for (const file of files) {
    const bytes = read(file);
    const whole = check(bytes);
    // Every split in two of a small file, random chunks of the others.
    const splits = bytes.length < 2000
      ? Array.from({ length: bytes.length + 1 }, (_, at) => [bytes.subarray(0, at), bytes.subarray(at)])
      : Array.from({ length: 4 }, () => {
        const pieces = [];
        for (let at = 0; at < bytes.length;) {
          const size = 1 + random(random(2) ? 100 : 3 << 20);
          pieces.push(bytes.subarray(at, at + size));
          at += size;
        }
        return pieces;
      });
    for (const pieces of splits) {
      pieces.forEach((piece) => checker.update(piece));
      assert.deepEqual(checker.finish(), whole, `${file} in ${pieces.length} pieces`);
    }
  }
  checker.free();
});

test('reset drops what was given; a checker takes any view of bytes', () => {
  const bytes = read(files[0]);
  const checker = new Checker();
  checker.update(new Uint8Array([0x41, 0x0a]));
  checker.reset();
  checker.update(new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength));
  assert.deepEqual(checker.finish(), check(bytes));
  checker.update(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength));
  assert.deepEqual(checker.finish(), check(bytes));
  assert.equal(new Checker().finish().verdict, 'unsigned');
});

test('checkFiles gives each file\'s result or error, in the order given', async () => {
  const missing = path.join(folder, 'missing.dat');
  const paths = [...files, missing, folder, ...files.slice().reverse()];
  for (const jobs of [1, 3]) {
    const outcomes = await checkFiles(paths, { jobs });
    assert.equal(outcomes.length, paths.length);
    paths.forEach((file, i) => {
      if (file === missing || file === folder) {
        assert.ok(outcomes[i] instanceof Error, file);
        assert.equal(outcomes[i].code, file === missing ? 'ENOENT' : 'EISDIR');
        assert.equal(outcomes[i].path, file);
      } else {
        assert.deepEqual(outcomes[i], check(read(file)), `${file}, jobs ${jobs}`);
      }
    });
  }
  assert.deepEqual(await checkFiles([]), []);
});

test('explain gives datasig explain\'s report', () => {
  for (const file of files) {
    const name = path.basename(file);
    const report = run(tools.datasig, ['explain', name], { cwd: path.dirname(file) }).stdout.toString();
    assert.equal(explain(read(file), name), report, name);
  }
  assert.match(explain(read(files[0])), /^file: -\n/);
});
