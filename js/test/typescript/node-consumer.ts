// SPDX-License-Identifier: MIT
// A Node.js program in TypeScript on the installed package: tsc --noEmit
// must take it as it is, and refuse the lines marked @ts-expect-error.
import {
  Checker, check, checkFile, checkFiles, explain, init, sign, version,
  type DatasigError, type Result, type Verdict, type Warning,
} from 'validate-datasig';

await init();
const bytes: Uint8Array = new TextEncoder().encode('A line\n');
const result: Result = check(bytes);
const verdict: Verdict = result.verdict;
const passed: boolean = result.passed;
const [first, second]: readonly [string, string] = result.expected;
const found: Uint8Array = result.found[0];
const lines: readonly [number, number] = result.foundLines;
const warnings: readonly Warning[] = result.warnings;
const columns = warnings.map((warning) => [warning.column, warning.lastColumn, warning.slot]);
const kinds = warnings.map((warning) => warning.kind === 'nul_byte');
const signed: Uint8Array = sign(bytes.buffer);
const report: string = explain(new DataView(signed.buffer), 'signed.dat');

{
  using checker = new Checker();
  checker.update(bytes);
  const again: Result = checker.finish();
  checker.reset();
  console.log(again.digest.length);
}
const streamed: Result = await checkFile('examples/calibration.dat');
const many: Array<Result | DatasigError> = await checkFiles(['a.dat', new URL('file:///b.dat')], { jobs: 2 });
for (const outcome of many) {
  console.log(outcome instanceof Error ? outcome.code : outcome.keyLineNumber);
}
console.log(version, verdict, passed, first, second, found, lines, columns, kinds, report, streamed);

// @ts-expect-error: a path is not content
check('examples/calibration.dat');
// @ts-expect-error: the verdicts are three
const wrong: Verdict = 'failed';
// @ts-expect-error: results are read only
result.passed = true;
// @ts-expect-error: jobs is a number
await checkFiles([], { jobs: 'all' });
console.log(wrong);
