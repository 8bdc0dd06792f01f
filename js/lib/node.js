// SPDX-License-Identifier: MIT
// The package's API in Node.js: everything of index.js, and the check of
// files by path, one read as a stream or many on worker threads.
import { createReadStream } from 'node:fs';
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

/** Checks the data file at path, read as a stream. */
export async function checkFile(path) {
  await init();
  const stream = createReadStream(path, { highWaterMark: chunkSize });
  const checker = new Checker();
  try {
    for await (const chunk of stream) {
      checker.update(chunk);
    }
    return checker.finish();
  } catch (error) {
    throw named(error, path);
  } finally {
    checker.free();
    stream.destroy();
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
