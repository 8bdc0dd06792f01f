// SPDX-License-Identifier: MIT
// The package's API in Node.js: everything of index.js, and the check of
// files by path, one read as a stream or many on worker threads.
import { open } from 'node:fs/promises';
import os from 'node:os';
import { fileURLToPath } from 'node:url';
import { Worker } from 'node:worker_threads';

import { Checker, init } from './index.js';
import { chunkSize, codedError, compileModule } from './library.js';

export * from './index.js';

// A failed read does not name its file: the error is given the path.
function named(error, path) {
  if (error !== null && typeof error === 'object' && error.path === undefined) {
    error.path = String(path);
  }
  return error;
}

/**
 * Checks the data file at path, read as a stream: a chunk at a time into
 * one of two buffers, the next read under way while the last is checked.
 */
export async function checkFile(path) {
  await init();
  let handle;
  try {
    handle = await open(path, 'r');
  } catch (error) {
    throw named(error, path);
  }
  const checker = new Checker();
  const buffers = [Buffer.allocUnsafeSlow(chunkSize), Buffer.allocUnsafeSlow(chunkSize)];
  let next = null;
  try {
    next = handle.read(buffers[0], 0, chunkSize, null);
    for (let turn = 1; ; turn ^= 1) {
      const { bytesRead, buffer } = await next;
      next = null;
      if (bytesRead === 0) {
        return checker.finish();
      }
      next = handle.read(buffers[turn], 0, chunkSize, null);
      checker.update(buffer.subarray(0, bytesRead));
    }
  } catch (error) {
    throw named(error, path);
  } finally {
    await next?.catch(() => {});
    checker.free();
    await handle.close();
  }
}

// An error as the worker sends it, {message, code, errno, syscall, path},
// made an Error again.
function remade(sent) {
  const error = new Error(sent.message);
  for (const field of ['code', 'errno', 'syscall', 'path']) {
    if (sent[field] !== undefined) {
      error[field] = sent[field];
    }
  }
  return error;
}

// The next batch of a worker: small enough that the workers end together.
function batchSize(left, workers) {
  return Math.max(1, Math.min(32, Math.floor(left / (4 * workers))));
}

function jobsOf(options) {
  const jobs = options.jobs ?? (os.availableParallelism?.() ?? os.cpus().length);
  if (!Number.isInteger(jobs) || jobs < 1) {
    throw codedError(`jobs must be a whole number of at least 1, not ${jobs}`, 'ERR_OUT_OF_RANGE', RangeError);
  }
  return jobs;
}

// Has one worker check the batch: its outcomes, in order.
function askWorker(worker, paths) {
  return new Promise((resolve, reject) => {
    const done = () => {
      worker.off('message', onMessage);
      worker.off('error', onError);
      worker.off('exit', onExit);
    };
    const onMessage = (outcomes) => {
      done();
      resolve(outcomes);
    };
    const onError = (error) => {
      done();
      reject(error);
    };
    const onExit = (code) => {
      done();
      reject(codedError(`a checking thread stopped (status ${code})`, 'ERR_WORKER_EXITED'));
    };
    worker.on('message', onMessage).on('error', onError).on('exit', onExit);
    worker.postMessage(paths);
  });
}

/**
 * Checks many files, jobs at a time on worker threads (one per core by
 * default): a result, or the Error that reading the file gave, for each
 * path, in the order given.
 */
export async function checkFiles(paths, options = {}) {
  const list = Array.from(paths, (path) => {
    if (typeof path !== 'string' && !(path instanceof URL)) {
      throw codedError('checkFiles() takes paths as strings or file: URLs', 'ERR_INVALID_ARG_TYPE', TypeError);
    }
    return path instanceof URL ? fileURLToPath(path) : path;
  });
  const jobs = jobsOf(options);
  if (list.length === 0) {
    return [];
  }
  const module = await compileModule();
  const workers = Math.min(jobs, list.length);
  const outcomes = new Array(list.length);
  let next = 0;
  const work = async () => {
    const worker = new Worker(new URL('./check-files-worker.js', import.meta.url), { workerData: { module } });
    try {
      while (next < list.length) {
        const start = next;
        next += batchSize(list.length - next, workers);
        const done = await askWorker(worker, list.slice(start, next));
        done.forEach((outcome, i) => {
          outcomes[start + i] = outcome.error === undefined ? outcome.result : remade(outcome.error);
        });
      }
    } finally {
      await worker.terminate();
    }
  };
  await Promise.all(Array.from({ length: workers }, work));
  return outcomes;
}
