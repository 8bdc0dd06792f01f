// SPDX-License-Identifier: MIT
// Given to a test program built for WebAssembly (--pre-js): its getenv sees
// the environment of the Node.js process that runs it, as a native program's
// does; Emscripten's own holds only a few made-up variables.
Module['preRun'] = () => Object.assign(ENV, process.env);
