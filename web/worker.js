// SPDX-License-Identifier: MIT
// The page's worker: checks files with the package's streaming Checker, a
// chunk at a time, and explains a file when the page asks. In the page it
// runs inside validateWorker (see bundle.cmake), after the package's
// browser code, whose import below the bundle drops.
// Messages in:  {kind: 'check' | 'explain', id, file}
// Messages out: {id, kind: 'progress', done},
//               {id, kind: 'verdict', passed, verdict, warnings, warningCount, milliseconds},
//               {id, kind: 'report', text}, {id, kind: 'error', message}
import { Checker, explain, init } from 'validate-datasig';

const readSize = 4 << 20;

// The file's bytes in order, up to readSize at a time, the next read
// already under way while the caller works on the last. A byte stream reads
// into the worker's own two buffers; where the browser has none, slices.
async function* fileChunks(file) {
  let reader = null;
  if (typeof ReadableStreamBYOBReader === 'function') {
    try {
      reader = file.stream().getReader({ mode: 'byob' });
    } catch {
      // Not a byte stream here.
    }
  }
  if (reader !== null) {
    let spare = new ArrayBuffer(readSize);
    let next = reader.read(new Uint8Array(readSize));
    for (;;) {
      const { value, done } = await next;
      if (done) {
        return;
      }
      next = reader.read(new Uint8Array(spare));
      yield value;
      spare = value.buffer;
    }
  }
  let next = file.slice(0, readSize).arrayBuffer();
  for (let at = 0; at < file.size;) {
    const bytes = new Uint8Array(await next);
    if (bytes.length === 0) {
      throw new Error('the file ended before its size');
    }
    at += bytes.length;
    if (at < file.size) {
      next = file.slice(at, at + readSize).arrayBuffer();
    }
    yield bytes;
  }
}

async function checkJob(job) {
  await init();
  const checker = new Checker();
  try {
    const started = performance.now();
    let done = 0;
    for await (const bytes of fileChunks(job.file)) {
      checker.update(bytes);
      done += bytes.length;
      self.postMessage({ id: job.id, kind: 'progress', done });
    }
    const { passed, verdict, warnings, warningCount } = checker.finish();
    self.postMessage({
      id: job.id, kind: 'verdict', passed, verdict, warnings, warningCount,
      milliseconds: performance.now() - started,
    });
  } finally {
    checker.free();
  }
}

async function explainJob(job) {
  const bytes = new Uint8Array(await job.file.arrayBuffer());
  await init();
  self.postMessage({ id: job.id, kind: 'report', text: explain(bytes, job.file.name) });
}

let queue = Promise.resolve();
self.onmessage = (event) => {
  const job = event.data;
  queue = queue
    .then(() => (job.kind === 'explain' ? explainJob(job) : checkJob(job)))
    .catch((error) => {
      self.postMessage({ id: job.id, kind: 'error', message: String(error.message || error) });
    });
};
