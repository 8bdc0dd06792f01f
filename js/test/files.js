// SPDX-License-Identifier: MIT
// What the package's tests check against: the native tools (VALIDATE,
// DATASIG and MAKE_DATA_FILE name them; tests/js-check.sh sets them), the
// examples (EXAMPLES) and a folder of generated data files, each signed by
// datasig and changed in the ways that matter to the check.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const tools = {
  validate: process.env.VALIDATE,
  datasig: process.env.DATASIG,
  makeDataFile: process.env.MAKE_DATA_FILE,
};
export const examples = process.env.EXAMPLES;

export function run(program, args, options = {}) {
  const result = spawnSync(program, args, { maxBuffer: 1 << 30, ...options });
  if (result.error) {
    throw result.error;
  }
  return result;
}

/** What validate prints for the file: 'passed' or 'failed'. */
export function validateSays(file) {
  const out = run(tools.validate, [file]).stdout.toString();
  return out.includes('check passed') ? 'passed' : 'failed';
}

// A seeded generator, so that every run writes the same bytes.
let seed = 0x2468ace1;
export function random(limit) {
  seed = (Math.imul(seed, 1103515245) + 12345) >>> 0;
  return (seed >>> 8) % limit;
}

function text(length, first) {
  const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 =.-+_';
  let line = first;
  while (line.length < length) {
    line += alphabet[random(alphabet.length)];
  }
  return line;
}

const lines = (count) => Array.from({ length: count }, () => text(10 + random(60), 'ABCH'[random(4)]));
const key = 'HQDHWHARDWAREVERSION 4.0 rev A';

/** Drafts to sign: name and text. */
export const drafts = {
  'plain.dat': [key, '# a comment', ...lines(20)].join('\n') + '\n',
  'crlf.dat': [key, ...lines(15), ''].join('\r\n'),
  'no-key.dat': lines(12).join('\n') + '\n',
  'two-keys.dat': [key, ...lines(4), 'HQDHWHARDWAREVERSION second', ...lines(4)].join('\n') + '\n',
  'long-key.dat': [`${key} ${text(70, 'x')}`, ...lines(5)].join('\n') + '\n',
  'long-lines.dat': [key, text(200, 'A'), text(81, 'B'), text(80, 'H'), text(500, 'A')].join('\n') + '\n',
  'no-final-end.dat': [key, ...lines(5)].join('\n'),
  'nul-inside.dat': [key, 'A before\0after', ...lines(3)].join('\n') + '\n',
  'unchecked-tail.dat': [key, `A${' '.repeat(78)}x unchecked`, ...lines(3)].join('\n') + '\n',
  'stray-g.dat': [key, `A${' '.repeat(78)}G stray`, ...lines(3)].join('\n') + '\n',
  'comments-only.dat': '# nothing\n\nx not checked\n',
  'empty.dat': '',
};

/** Writes the files into a new folder: their paths. */
export function writeFiles() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'validate-datasig-'));
  const files = [path.join(examples, 'calibration.dat'), path.join(examples, 'calibration-altered.dat')];
  const add = (name, bytes) => {
    const file = path.join(folder, name);
    fs.writeFileSync(file, Buffer.from(bytes, 'latin1'));
    files.push(file);
    return file;
  };
  for (const [name, draft] of Object.entries(drafts)) {
    const draftFile = add(`unsigned-${name}`, draft);
    const signedFile = path.join(folder, `signed-${name}`);
    if (run(tools.datasig, ['sign', draftFile, '-o', signedFile]).status === 0) {
      files.push(signedFile);
    }
  }
  const signed = fs.readFileSync(path.join(folder, 'signed-plain.dat'), 'latin1');
  const all = signed.split('\n');
  const signatures = all.filter((line) => line.startsWith('G'));
  const body = all.filter((line) => !line.startsWith('G') && line !== '');
  add('altered-content.dat', signed.replace(all[3], `${all[3]}Z`));
  add('lowercase-signature.dat', signed.replace(signatures[0], signatures[0].toLowerCase()));
  add('one-signature.dat', [...body, signatures[0]].join('\n') + '\n');
  add('third-signature.dat', [...body, ...signatures, signatures[0]].join('\n') + '\n');
  add('swapped.dat', [...body, signatures[1], signatures[0]].join('\n') + '\n');
  add('eof-mark.dat', `${signed}\x1aA after the end mark\n`);
  add('nul-in-signature.dat', signed.replace(signatures[0], `${signatures[0].slice(0, 9)}\0${signatures[0].slice(10)}`));
  add('binary.dat', Array.from({ length: 3000 }, () => String.fromCharCode(random(256))).join(''));
  add('many-warnings.dat', [key, ...Array.from({ length: 40 }, (_, i) => `A line ${i}\0`), ...signatures].join('\n') + '\n');
  // A report longer than the room explain first gives it.
  add('report-of-3000-lines.dat', Array.from({ length: 3000 }, (_, i) => `A line ${i}\0 after`).join('\n') + '\n');
  const large = path.join(folder, 'large-signed.dat');
  run(tools.makeDataFile, ['3M', large, 'crlf', '5']);
  files.push(large);
  return { folder, files };
}
