// SPDX-License-Identifier: MIT
// The package's API in every environment: init, check, Checker, sign and
// explain, on the library's WebAssembly instance (library.js).
import { Library, bytesOf, codedError, compileModule } from './library.js';
import { version } from './module.js';

export { version };

let library = null;
let starting = null;

/**
 * Compiles and starts the module, once; the other calls need it done. Later
 * calls give the same promise, or start a new instance where the last one
 * ran out of memory.
 */
export function init() {
  if (starting === null || library?.lost) {
    starting = compileModule()
      .then((module) => Library.start(module))
      .then((started) => {
        library = started;
      });
    starting.catch(() => {
      starting = null;
    });
  }
  return starting;
}

function ready() {
  if (library === null) {
    throw codedError('the module is not ready: await init() first', 'ERR_NOT_INITIALIZED');
  }
  return library;
}

/** Checks a whole data file held in memory, as validate does. */
export function check(data) {
  return ready().inspect(bytesOf(data, 'check()'));
}

/** The data file signed, byte for byte as datasig sign writes it. */
export function sign(data) {
  return ready().sign(bytesOf(data, 'sign()'));
}

/** The report datasig explain prints for the file, its verdict included. */
export function explain(data, name = '-') {
  if (typeof name !== 'string') {
    throw codedError('explain() takes the name as a string', 'ERR_INVALID_ARG_TYPE', TypeError);
  }
  return ready().explain(bytesOf(data, 'explain()'), name);
}

// A checker the program dropped in the middle of an input gives its memory
// back when it is collected.
const dropped = new FinalizationRegistry(({ owner, native }) => owner.giveBack(native));

/**
 * A check given the file in chunks, split anywhere: update() with each,
 * then finish(). It holds memory of the module only between the first
 * update() and finish(), reset() or free().
 */
export class Checker {
  #library;
  #native = 0;
  #freed = false;

  constructor() {
    this.#library = ready();
  }

  #checker() {
    if (this.#freed) {
      throw codedError('the checker was freed', 'ERR_CHECKER_FREED');
    }
    if (this.#native === 0) {
      this.#native = this.#library.takeChecker();
      dropped.register(this, { owner: this.#library, native: this.#native }, this);
    }
    return this.#native;
  }

  #giveBack() {
    if (this.#native !== 0) {
      dropped.unregister(this);
      this.#library.giveBack(this.#native);
      this.#native = 0;
    }
  }

  /** Takes the next bytes of the file. */
  update(chunk) {
    const bytes = bytesOf(chunk, 'update()');
    this.#library.update(this.#checker(), bytes);
  }

  /** Ends the file and gives its result; the checker is ready for another. */
  finish() {
    try {
      return this.#library.finish(this.#checker());
    } finally {
      this.#giveBack();
    }
  }

  /** Drops what was given since the last finish(). */
  reset() {
    if (this.#freed) {
      throw codedError('the checker was freed', 'ERR_CHECKER_FREED');
    }
    this.#giveBack();
  }

  /** Gives back the module's memory now; the checker is of no more use. */
  free() {
    this.#giveBack();
    this.#freed = true;
  }
}

if (typeof Symbol.dispose === 'symbol') {
  Checker.prototype[Symbol.dispose] = Checker.prototype.free;
}
