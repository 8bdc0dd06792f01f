// SPDX-License-Identifier: MIT
// The page's worker: checks files with the library's streaming checker, a
// chunk at a time, and explains a file when the page asks. It runs inside
// validateWorker (see bundle.cmake), beside the module's createValidateModule.
// Messages in:  {kind: 'check' | 'explain', id, file}
// Messages out: {id, kind: 'progress', done},
//               {id, kind: 'verdict', status, milliseconds},
//               {id, kind: 'report', status, text}, {id, kind: 'error', message}

const chunkSize = 4 << 20;
const PASSED = 0;
const ALTERED = 1;
const NO_SPACE = 6;

let modulePromise = null;
// A module that aborted (out of memory) is left for a new one.
function library() {
  if (modulePromise === null) {
    modulePromise = createValidateModule();
  }
  return modulePromise;
}

function statusText(m, status) {
  return m.UTF8ToString(m._validate_status_message(status));
}

// The file's bytes in order, up to chunkSize at a time, the next read
// already under way while the caller works on the last. A byte stream reads
// into the worker's own two buffers; where the browser has none, slices.
async function* chunks(file) {
  let reader = null;
  if (typeof ReadableStreamBYOBReader === 'function') {
    try {
      reader = file.stream().getReader({ mode: 'byob' });
    } catch {
      // Not a byte stream here.
    }
  }
  if (reader !== null) {
    let spare = new ArrayBuffer(chunkSize);
    let next = reader.read(new Uint8Array(chunkSize));
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
  let next = file.slice(0, chunkSize).arrayBuffer();
  for (let at = 0; at < file.size; ) {
    const bytes = new Uint8Array(await next);
    if (bytes.length === 0) {
      throw new Error('the file ended before its size');
    }
    at += bytes.length;
    if (at < file.size) {
      next = file.slice(at, at + chunkSize).arrayBuffer();
    }
    yield bytes;
  }
}

async function check(job) {
  const m = await library();
  const checker = m._validate_checker_new();
  const buffer = m._malloc(chunkSize);
  try {
    if (checker === 0 || buffer === 0) {
      throw new Error('out of memory');
    }
    const started = performance.now();
    let done = 0;
    for await (const bytes of chunks(job.file)) {
      m.HEAPU8.set(bytes, buffer);
      m._validate_checker_update(checker, buffer, bytes.length);
      done += bytes.length;
      self.postMessage({ id: job.id, kind: 'progress', done });
    }
    const status = m._validate_checker_final(checker, 0);
    if (status !== PASSED && status !== ALTERED) {
      throw new Error(statusText(m, status));
    }
    self.postMessage({ id: job.id, kind: 'verdict', status, milliseconds: performance.now() - started });
  } finally {
    m._free(buffer);
    m._validate_checker_free(checker);
  }
}

async function explain(job) {
  const bytes = new Uint8Array(await job.file.arrayBuffer());
  const m = await library();
  const nameSize = m.lengthBytesUTF8(job.file.name) + 1;
  const blocks = [];
  const allocate = (size) => {
    const at = m._malloc(size);
    if (at === 0) {
      throw new Error('out of memory');
    }
    blocks.push(at);
    return at;
  };
  try {
    const data = allocate(Math.max(bytes.length, 1));
    m.HEAPU8.set(bytes, data);
    const name = allocate(nameSize);
    m.stringToUTF8(job.file.name, name, nameSize);
    const length = allocate(4);
    // Most reports are a few lines; a file with many warnings takes a
    // second call with the room it needs.
    let capacity = 1 << 16;
    for (;;) {
      const out = allocate(capacity);
      const status = m._validate_explain(data, bytes.length, name, out, capacity, length);
      const size = m.HEAPU32[length >> 2];
      if (status === NO_SPACE && size >= capacity) {
        capacity = size + 1;
        continue;
      }
      if (status !== PASSED && status !== ALTERED) {
        throw new Error(statusText(m, status));
      }
      const text = new TextDecoder().decode(m.HEAPU8.subarray(out, out + size));
      self.postMessage({ id: job.id, kind: 'report', status, text });
      return;
    }
  } finally {
    blocks.forEach((at) => m._free(at));
  }
}

let queue = Promise.resolve();
self.onmessage = (event) => {
  const job = event.data;
  queue = queue
    .then(() => (job.kind === 'explain' ? explain(job) : check(job)))
    .catch((error) => {
      if (error instanceof WebAssembly.RuntimeError) {
        modulePromise = null;
      }
      self.postMessage({ id: job.id, kind: 'error', message: String(error.message || error) });
    });
};
