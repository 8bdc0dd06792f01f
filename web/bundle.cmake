# SPDX-License-Identifier: MIT
# Writes the page's worker script: the npm package's browser code (its
# module, library.js and index.js) and the worker's own code (WORKER) as the
# body of one function, validateWorker, which the page runs as a classic
# worker from a blob, as a page opened from disk must. The files' imports
# are dropped and their exports made plain declarations: each file imports
# on lines of their own, and their top-level names differ.
#   cmake -D PACKAGE=build/wasm/js -D WORKER=worker.js -D OUTPUT=validate-worker.js -P bundle.cmake
set(body "")
foreach(file ${PACKAGE}/lib/module.js ${PACKAGE}/lib/library.js ${PACKAGE}/lib/index.js ${WORKER})
  file(READ ${file} text)
  string(REGEX REPLACE "\nimport [^\n]*;" "\n" text "${text}")
  string(REGEX REPLACE "\nexport {[^\n]*};" "\n" text "${text}")
  string(REGEX REPLACE "\nexport " "\n" text "${text}")
  if(text MATCHES "\n(import|export)[ {*]" OR text MATCHES "import\\.meta")
    message(FATAL_ERROR "${file}: an import or export that the page's bundle cannot take")
  endif()
  string(APPEND body "${text}\n")
endforeach()
file(WRITE ${OUTPUT} "// SPDX-License-Identifier: MIT\n"
  "// Generated from the npm package and web/worker.js: the page runs this\n"
  "// function's text in a worker.\n"
  "function validateWorker() {\n'use strict';\n${body}}\n")
