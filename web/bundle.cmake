# SPDX-License-Identifier: MIT
# Writes the page's worker script: the module (MODULE) and the worker's own
# code (WORKER) as the body of one function, validateWorker.
#   cmake -D MODULE=validate_web.js -D WORKER=worker.js -D OUTPUT=validate-worker.js -P bundle.cmake
file(READ ${MODULE} module)
file(READ ${WORKER} worker)
file(WRITE ${OUTPUT} "// SPDX-License-Identifier: MIT\n"
  "// Generated from web/worker.js and the library's module: the page runs\n"
  "// this function's text in a worker.\n"
  "function validateWorker() {\n${module}\n${worker}}\n")
