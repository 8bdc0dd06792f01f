// SPDX-License-Identifier: MIT
// A thread of checkFiles (node.js): checks each batch of paths it is sent
// with one checker, reading each file straight into the module's memory,
// and sends back a result or an error for each.
import fs from 'node:fs';
import { parentPort, workerData } from 'node:worker_threads';

import { Library, chunkSize } from './library.js';

const library = await Library.start(workerData.module);

function checkOne(path) {
  let fd = null;
  const checker = library.takeChecker();
  try {
    fd = fs.openSync(path, 'r');
    for (;;) {
      const size = fs.readSync(fd, library.chunkView(), 0, chunkSize, null);
      if (size === 0) {
        break;
      }
      library.updateFromChunk(checker, size);
    }
    return { result: library.finish(checker) };
  } catch (error) {
    const { message, code, errno, syscall } = error;
    return { error: { message, code, errno, syscall, path: error.path ?? String(path) } };
  } finally {
    library.giveBack(checker);
    if (fd !== null) {
      fs.closeSync(fd);
    }
  }
}

parentPort.on('message', (paths) => {
  parentPort.postMessage(paths.map(checkOne));
});
