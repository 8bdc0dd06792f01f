// SPDX-License-Identifier: MIT
// The package's API in Node.js (lib/node.js): that of every environment, and
// files checked by path.
import type { DatasigError, Result } from './index.js';

export * from './index.js';

/** A path as a string, or a file: URL. */
export type FilePath = string | { readonly href: string; readonly protocol: string };

/** Checks the data file at path, read as a stream. Rejects with the read's error. */
export function checkFile(path: FilePath): Promise<Result>;

export interface CheckFilesOptions {
  /** Files checked at a time, each on a worker thread; one per core by default. */
  jobs?: number;
}

/** Checks many files: a result, or the error reading it gave, for each path, in the order given. */
export function checkFiles(
  paths: Iterable<FilePath>,
  options?: CheckFilesOptions,
): Promise<Array<Result | DatasigError>>;
