// SPDX-License-Identifier: MIT
// The package's API in every environment (lib/index.js).
/// <reference lib="esnext.disposable" />

/** A file's content: a Uint8Array (a Node.js Buffer is one), an ArrayBuffer or a view of one. */
export type Bytes = ArrayBufferLike | ArrayBufferView;

export type Verdict = 'passed' | 'altered' | 'unsigned';

export type WarningKind =
  | 'after_eof_mark'
  | 'unchecked_part'
  | 'stray_signature'
  | 'nul_byte'
  | 'lowercase_signature'
  | 'missing_signature'
  | 'extra_signature';

/** What the signature does not protect, or why the file cannot pass. */
export interface Warning {
  readonly kind: WarningKind;
  /** The line, from 1; 0 for the whole file. */
  readonly line: number;
  /** The columns of the characters concerned, from 1; 0 when none. */
  readonly column: number;
  readonly lastColumn: number;
  /** The signature slot concerned, 1 or 2; 0 for none. */
  readonly slot: number;
  /** The line datasig explain prints for it. */
  readonly text: string;
}

/** What the check of one file found. */
export interface Result {
  readonly passed: boolean;
  readonly verdict: Verdict;
  /** The SHA-512 digest of the content lines, 64 bytes. */
  readonly digest: Uint8Array;
  /** The two signature lines the content requires. */
  readonly expected: readonly [string, string];
  /** The file's first and second signature lines as read, line end included (empty when missing). */
  readonly found: readonly [Uint8Array, Uint8Array];
  /** The lines they were read from, from 1; 0 when missing. */
  readonly foundLines: readonly [number, number];
  /** The key line in effect, as digested; empty without one. */
  readonly keyLine: Uint8Array;
  readonly keyLineNumber: number;
  readonly keyLines: number;
  readonly digestedPieces: number;
  readonly ignoredPieces: number;
  readonly signaturePieces: number;
  /** How many warnings the check found; warnings holds the first 32. */
  readonly warningCount: number;
  readonly warnings: readonly Warning[];
}

/**
 * The errors the package throws: code is a system error's name (ENOENT,
 * EISDIR, EACCES ... for a file that cannot be read; ENOMEM when the module
 * is out of memory) or one of ERR_NOT_INITIALIZED, ERR_INVALID_ARG_TYPE,
 * ERR_OUT_OF_RANGE, ERR_CANNOT_SIGN, ERR_CHECKER_FREED.
 */
export interface DatasigError extends Error {
  code: string;
  errno?: number;
  syscall?: string;
  path?: string;
}

/** The version of the package and of the library inside it. */
export const version: string;

/** Compiles and starts the module; the other calls need it done. */
export function init(): Promise<void>;

/** Checks a whole data file held in memory, as validate does. */
export function check(data: Bytes): Result;

/** The data file signed, byte for byte as datasig sign writes it. */
export function sign(data: Bytes): Uint8Array;

/** The report datasig explain prints for the file, named name ('-' by default). */
export function explain(data: Bytes, name?: string): string;

/** A check given the file in chunks, split anywhere. */
export class Checker implements Disposable {
  constructor();
  update(chunk: Bytes): void;
  /** Ends the file and gives its result; the checker is ready for another. */
  finish(): Result;
  /** Drops what was given since the last finish(). */
  reset(): void;
  /** Gives back the module's memory now; the checker is of no more use. */
  free(): void;
  [Symbol.dispose](): void;
}
