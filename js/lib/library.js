// SPDX-License-Identifier: MIT
// The C library (include/validate.h) as a WebAssembly instance: compiles and
// starts the module, moves bytes in and out of its memory and reads the
// findings it writes there into plain objects. The check is the library's.
import { moduleText } from './module.js';

// The library's statuses (validate_status).
const OK = 0;
const ERROR_MEMORY = 4;
const ERROR_SPACE = 6;
const ERROR_SIGN = 7;
const verdictNames = ['none', 'passed', 'altered', 'unsigned'];

// Bytes are moved into the module this many at a time.
export const chunkSize = 1 << 20;
// Room for a warning's text, which is one short line.
const textSize = 1024;

// The order src/layout.cpp gives the offsets in.
const layoutNames = [
  'findingsSize', 'size', 'status', 'verdict', 'errorNumber', 'digest', 'expected', 'found',
  'foundLine', 'keyLine', 'keyLineNumber', 'keyLines', 'digestedPieces', 'ignoredPieces',
  'signaturePieces', 'warningCount', 'warnings', 'warningSize', 'warningKind', 'warningSlot',
  'warningLine', 'warningColumn', 'warningLastColumn', 'lineSize', 'digestSize', 'warningRoom',
];

const utf8 = new TextDecoder();

/** An Error with a code, as Node.js gives its own. */
export function codedError(message, code, Type = Error) {
  const error = new Type(message);
  error.code = code;
  return error;
}

/** The bytes of an ArrayBuffer or any view of one, as a Uint8Array. */
export function bytesOf(data, what) {
  if (data instanceof Uint8Array) {
    return data;
  }
  if (ArrayBuffer.isView(data)) {
    return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
  }
  if (data instanceof ArrayBuffer || Object.prototype.toString.call(data) === '[object SharedArrayBuffer]') {
    return new Uint8Array(data);
  }
  const given = data === null ? 'null' : typeof data;
  throw codedError(`${what} takes the file's bytes (a Uint8Array, an ArrayBuffer or a view of one), ` +
    `not ${given}`, 'ERR_INVALID_ARG_TYPE', TypeError);
}

function decodeBase64(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i += 1) {
    bytes[i] = binary.charCodeAt(i);
  }
  return bytes;
}

// The module grows its memory by what one allocation lacks, and the engine
// may copy the whole memory each time: once it has grown, a quarter more (at
// least 16 MiB, within its 4 GiB), which its allocator then finds there.
function growAhead(memory) {
  const pages = memory.buffer.byteLength / 65536;
  const more = Math.min(Math.max(pages >> 2, 256), 65536 - pages);
  try {
    memory.grow(more);
  } catch {
    // The module grows by what it needs, as before.
  }
}

let compiled = null;
/** The compiled module, compiled once, asynchronously, for every instance. */
export function compileModule() {
  if (compiled === null) {
    compiled = WebAssembly.compile(decodeBase64(moduleText));
    compiled.catch(() => {
      compiled = null;
    });
  }
  return compiled;
}

/** One instance of the module, with the buffers the calls share. */
export class Library {
  /** Starts an instance of a compiled module. */
  static async start(module) {
    let memory = null;
    const imports = {
      env: { emscripten_notify_memory_growth: () => growAhead(memory) },
      // Reached only where the C++ inside aborts: out of memory.
      wasi_snapshot_preview1: {
        proc_exit: () => {
          throw new WebAssembly.RuntimeError('the module stopped');
        },
      },
    };
    const instance = await WebAssembly.instantiate(module, imports);
    memory = instance.exports.memory;
    return new Library(instance);
  }

  constructor(instance) {
    this.c = instance.exports;
    this.memory = this.c.memory;
    this.lost = false;
    this.spare = [];
    this.call('_initialize');
    this.layout = this.#readLayout();
    this.findings = this.#allocate(this.layout.findingsSize);
    this.chunk = this.#allocate(chunkSize);
    this.text = this.#allocate(textSize);
    this.length = this.#allocate(8);
  }

  #readLayout() {
    const count = this.#allocate(4);
    const at = this.call('validate_js_layout', count);
    const values = new Uint32Array(this.memory.buffer, at, this.#view().getUint32(count, true));
    this.#release(count);
    if (values.length !== layoutNames.length) {
      throw new Error(`the module gives ${values.length} offsets, not ${layoutNames.length}`);
    }
    return Object.fromEntries(layoutNames.map((name, i) => [name, values[i]]));
  }

  #view() {
    return new DataView(this.memory.buffer);
  }

  #heap() {
    return new Uint8Array(this.memory.buffer);
  }

  /**
   * Runs a call into the module; an abort there loses this instance. What
   * it returns is unsigned, as the C types are: addresses past 2 GiB and
   * sizes come back as i32 values below 0.
   */
  call(name, ...args) {
    if (this.lost) {
      throw codedError('the module ran out of memory: await init() for a new one', 'ENOMEM');
    }
    try {
      return this.c[name](...args) >>> 0;
    } catch (error) {
      if (error instanceof WebAssembly.RuntimeError) {
        this.lost = true;
        throw codedError('the module ran out of memory', 'ENOMEM');
      }
      throw error;
    }
  }

  #allocate(size) {
    const at = this.call('malloc', Math.max(size, 1));
    if (at === 0) {
      throw codedError('the module is out of memory', 'ENOMEM');
    }
    return at;
  }

  #release(at) {
    if (!this.lost) {
      this.c.free(at);
    }
  }

  /** Runs use(at) on a copy of bytes in the module's memory. */
  #withCopy(bytes, use) {
    const at = this.#allocate(bytes.length);
    try {
      this.#heap().set(bytes, at);
      return use(at);
    } finally {
      this.#release(at);
    }
  }

  #fail(status) {
    const at = this.call('validate_status_message', status);
    const message = this.#string(at, 256);
    if (status === ERROR_MEMORY) {
      return codedError(message, 'ENOMEM');
    }
    if (status === ERROR_SIGN) {
      return codedError(message, 'ERR_CANNOT_SIGN');
    }
    return codedError(message, 'ERR_VALIDATE_STATUS');
  }

  #string(at, limit) {
    const heap = this.#heap();
    let end = at;
    while (end < at + limit && heap[end] !== 0) {
      end += 1;
    }
    return utf8.decode(heap.subarray(at, end));
  }

  #bytes(at, limit) {
    const heap = this.#heap();
    let end = at;
    while (end < at + limit && heap[end] !== 0) {
      end += 1;
    }
    return heap.slice(at, end);
  }

  #number(at) {
    const view = this.#view();
    return view.getUint32(at, true) + view.getUint32(at + 4, true) * 2 ** 32;
  }

  #prepareFindings() {
    this.#view().setUint32(this.findings + this.layout.size, this.layout.findingsSize, true);
    return this.findings;
  }

  /** The findings at this.findings as a result, or the error they hold. */
  #result(status) {
    const L = this.layout;
    const at = this.findings;
    const view = this.#view();
    if (status !== OK) {
      throw this.#fail(status);
    }
    const verdict = verdictNames[view.getUint32(at + L.verdict, true)];
    const pair = (offset, read) => [read(at + offset), read(at + offset + L.lineSize)];
    const warningCount = this.#number(at + L.warningCount);
    const warnings = [];
    for (let i = 0; i < Math.min(warningCount, L.warningRoom); i += 1) {
      warnings.push(this.#warning(at + L.warnings + i * L.warningSize));
    }
    return {
      passed: verdict === 'passed',
      verdict,
      digest: this.#heap().slice(at + L.digest, at + L.digest + L.digestSize),
      expected: pair(L.expected, (p) => this.#string(p, L.lineSize)),
      found: pair(L.found, (p) => this.#bytes(p, L.lineSize)),
      foundLines: [this.#number(at + L.foundLine), this.#number(at + L.foundLine + 8)],
      keyLine: this.#bytes(at + L.keyLine, L.lineSize),
      keyLineNumber: this.#number(at + L.keyLineNumber),
      keyLines: this.#number(at + L.keyLines),
      digestedPieces: this.#number(at + L.digestedPieces),
      ignoredPieces: this.#number(at + L.ignoredPieces),
      signaturePieces: this.#number(at + L.signaturePieces),
      warningCount,
      warnings,
    };
  }

  #warning(at) {
    const L = this.layout;
    const view = this.#view();
    const kind = this.call('validate_warning_kind_name', view.getUint32(at + L.warningKind, true));
    const status = this.call('validate_warning_text', at, this.text, textSize, this.length);
    return {
      kind: this.#string(kind, 64),
      line: this.#number(at + L.warningLine),
      column: this.#number(at + L.warningColumn),
      lastColumn: this.#number(at + L.warningLastColumn),
      slot: view.getInt32(at + L.warningSlot, true),
      text: status === OK ? this.#string(this.text, textSize) : '',
    };
  }

  /** The findings of a whole file held in memory. */
  inspect(bytes) {
    if (bytes.length > chunkSize) {
      const checker = this.takeChecker();
      try {
        this.update(checker, bytes);
        return this.finish(checker);
      } finally {
        this.giveBack(checker);
      }
    }
    this.#heap().set(bytes, this.chunk);
    return this.#result(this.call('validate_inspect_bytes', this.chunk, bytes.length, this.#prepareFindings()));
  }

  /** A streaming checker: one kept from before, or a new one. */
  takeChecker() {
    const checker = this.spare.pop() ?? this.call('validate_checker_new');
    if (checker === 0) {
      throw codedError('the module is out of memory', 'ENOMEM');
    }
    return checker;
  }

  /** Takes back a checker, ready for a new input; a few are kept. */
  giveBack(checker) {
    if (this.lost) {
      return;
    }
    this.c.validate_checker_reset(checker);
    if (this.spare.length < 4) {
      this.spare.push(checker);
    } else {
      this.c.validate_checker_free(checker);
    }
  }

  update(checker, bytes) {
    for (let at = 0; at < bytes.length; at += chunkSize) {
      const piece = bytes.subarray(at, at + chunkSize);
      this.#heap().set(piece, this.chunk);
      this.updateFromChunk(checker, piece.length);
    }
  }

  /** The module's memory where the next chunk goes, for reading straight into it. */
  chunkView() {
    return new Uint8Array(this.memory.buffer, this.chunk, chunkSize);
  }

  /** Gives the checker the first size bytes of the chunk. */
  updateFromChunk(checker, size) {
    const status = this.call('validate_checker_update', checker, this.chunk, size);
    if (status !== OK) {
      throw this.#fail(status);
    }
  }

  finish(checker) {
    return this.#result(this.call('validate_checker_finish', checker, this.#prepareFindings()));
  }

  sign(bytes) {
    return this.#withCopy(bytes, (data) => {
      const capacity = this.call('validate_sign_bound', bytes.length);
      const out = this.#allocate(capacity);
      try {
        const status = this.call('validate_sign', data, bytes.length, out, capacity, this.length);
        if (status !== OK) {
          throw this.#fail(status);
        }
        const size = this.#view().getUint32(this.length, true);
        return this.#heap().slice(out, out + size);
      } finally {
        this.#release(out);
      }
    });
  }

  explain(bytes, name) {
    const encoded = new TextEncoder().encode(`${name}\0`);
    return this.#withCopy(encoded, (nameAt) => this.#withCopy(bytes, (data) => {
      // Most reports are a few lines; one with many warnings takes a second call.
      let capacity = 1 << 16;
      for (;;) {
        const out = this.#allocate(capacity);
        try {
          const status = this.call('validate_explain_report', data, bytes.length, nameAt, out,
            capacity, this.length, 0);
          const length = this.#view().getUint32(this.length, true);
          if (status === OK) {
            return utf8.decode(this.#heap().subarray(out, out + length));
          }
          if (status !== ERROR_SPACE) {
            throw this.#fail(status);
          }
          capacity = length + 1;
        } finally {
          this.#release(out);
        }
      }
    }));
  }
}
