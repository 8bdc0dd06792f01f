// SPDX-License-Identifier: MIT
// The page: takes files from the file input or a drop, has the worker check
// each and shows the verdict as validate prints it, and the report of
// datasig explain when a file's details are opened.
'use strict';

const verdicts = {
  passed: 'Validation check passed, data indicated as correct',
  failed: 'Validation check failed\nFile data may have been altered',
};
// Explaining takes the whole file into memory, twice over inside the module.
const explainWarnAbove = 64 << 20;
const explainLimit = 256 << 20;

const input = document.getElementById('files');
const drop = document.getElementById('drop');
const list = document.getElementById('results');
const status = document.getElementById('status');
const clear = document.getElementById('clear');

// A worker from a file:// address is refused, one from a blob is not.
const workerSource = new Blob([`(${validateWorker})();`], { type: 'text/javascript' });
const worker = new Worker(URL.createObjectURL(workerSource));

const rows = new Map();
let nextId = 1;
let batch = { checked: 0, passed: 0, failed: 0, errors: 0 };

function formatSize(bytes) {
  const units = ['bytes', 'KiB', 'MiB', 'GiB'];
  let size = bytes;
  let unit = 0;
  while (size >= 1024 && unit < units.length - 1) {
    size /= 1024;
    unit += 1;
  }
  return unit === 0 ? `${size} bytes` : `${size.toFixed(1)} ${units[unit]}`;
}

function formatTime(milliseconds) {
  return milliseconds < 1000 ? `${milliseconds.toFixed(0)} ms` : `${(milliseconds / 1000).toFixed(2)} s`;
}

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) {
    node.className = className;
  }
  if (text !== undefined) {
    node.textContent = text;
  }
  return node;
}

function addFile(file) {
  const id = nextId++;
  const item = element('li', 'result');
  item.dataset.name = file.name;
  item.dataset.state = 'checking';
  const head = element('div', 'head');
  head.append(element('span', 'name', file.name), element('span', 'meta', formatSize(file.size)));
  const progress = element('progress');
  progress.max = Math.max(file.size, 1);
  progress.value = 0;
  progress.setAttribute('aria-label', `Checking ${file.name}`);
  const verdict = element('p', 'verdict', 'Checking…');
  const details = element('details');
  details.hidden = true;
  details.append(element('summary', '', 'Details'));
  const warnings = element('div', 'warnings');
  const report = element('div', 'report');
  details.append(warnings, report);
  details.addEventListener('toggle', () => {
    if (details.open && !row.explained) {
      row.explained = true;
      explain(row);
    }
  });
  item.append(head, progress, verdict, details);
  list.append(item);
  const row = { id, file, item, meta: head.lastChild, progress, verdict, details, warnings, report, explained: false };
  rows.set(id, row);
  clear.hidden = false;
  worker.postMessage({ kind: 'check', id, file });
}

function explain(row) {
  const size = row.file.size;
  row.report.replaceChildren();
  if (size > explainLimit) {
    row.report.append(element('p', 'note',
      `The details need the whole file in memory, and this one is ${formatSize(size)}: ` +
      `over the ${formatSize(explainLimit)} this page explains. datasig explain shows them.`));
    return;
  }
  if (size > explainWarnAbove) {
    row.report.append(element('p', 'note',
      `The details need the whole file in memory (${formatSize(size)}): this may take a while.`));
  }
  row.report.append(element('p', 'pending', 'Reading the whole file…'));
  worker.postMessage({ kind: 'explain', id: row.id, file: row.file });
}

// The report in a <pre>, the character that the line below marks with ^
// (where a found signature line first differs) in a <mark>.
function showReport(row, text) {
  const pre = element('pre');
  const lines = text.split('\n');
  lines.forEach((line, at) => {
    const below = lines[at + 1];
    const column = below !== undefined && /^ +\^$/.test(below) ? below.length - 1 : -1;
    if (column >= 0 && column < line.length) {
      pre.append(line.slice(0, column), element('mark', '', line[column]), line.slice(column + 1));
    } else {
      pre.append(line);
    }
    if (at < lines.length - 1) {
      pre.append('\n');
    }
  });
  row.report.querySelector('.pending')?.remove();
  row.report.append(pre);
}

// What the signature does not protect, from the check's findings: shown
// at once, before the report that needs the whole file.
function showWarnings(row, { verdict, warnings, warningCount: count }) {
  row.item.dataset.warnings = String(count);
  if (verdict === 'unsigned') {
    row.warnings.append(element('p', 'note', 'The file has no signature lines: it was never signed.'));
  }
  if (count === 0) {
    row.warnings.append(element('p', 'note', 'Warnings: none.'));
    return;
  }
  row.warnings.append(element('p', 'heading', count === 1 ? '1 warning:' : `${count} warnings:`));
  const list = element('ul');
  for (const warning of warnings) {
    list.append(element('li', '', warning.text));
  }
  if (count > warnings.length) {
    list.append(element('li', 'more', `and ${count - warnings.length} more, which the report lists`));
  }
  row.warnings.append(list);
}

function finish(row, state, text) {
  row.item.dataset.state = state;
  row.verdict.textContent = text;
  row.progress.hidden = true;
  batch.checked += 1;
  if (state === 'passed') {
    batch.passed += 1;
  } else if (state === 'altered') {
    batch.failed += 1;
  } else {
    batch.errors += 1;
  }
  if (state !== 'error') {
    row.details.hidden = false;
  }
  const waiting = [...rows.values()].some((other) => other.item.dataset.state === 'checking');
  if (!waiting) {
    announce(row, text);
  }
}

// Screen readers hear one verdict, or the counts of a run of files.
function announce(row, text) {
  if (batch.checked === 1) {
    status.textContent = `${row.file.name}: ${text.replace('\n', '. ')}`;
  } else {
    const parts = [`${batch.checked} files checked: ${batch.passed} passed, ${batch.failed} failed`];
    if (batch.errors > 0) {
      parts.push(`${batch.errors} could not be read`);
    }
    status.textContent = parts.join(', ');
  }
  batch = { checked: 0, passed: 0, failed: 0, errors: 0 };
}

worker.onmessage = (event) => {
  const message = event.data;
  const row = rows.get(message.id);
  if (row === undefined) {
    return;
  }
  switch (message.kind) {
    case 'progress':
      row.progress.value = message.done;
      break;
    case 'verdict':
      row.item.dataset.milliseconds = message.milliseconds.toFixed(1);
      // The time says something only for larger files.
      if (row.file.size >= 1 << 20) {
        row.meta.textContent = `${formatSize(row.file.size)}, checked in ${formatTime(message.milliseconds)}`;
      }
      showWarnings(row, message);
      finish(row, message.passed ? 'passed' : 'altered', verdicts[message.passed ? 'passed' : 'failed']);
      break;
    case 'report':
      showReport(row, message.text);
      break;
    case 'error':
      if (row.item.dataset.state === 'checking') {
        finish(row, 'error', `Could not check this file: ${message.message}`);
      } else {
        row.report.querySelector('.pending')?.remove();
        row.report.append(element('p', 'note', `No details: ${message.message}`));
        row.explained = false;
      }
      break;
  }
};

worker.onerror = (event) => {
  status.textContent = `The checker could not start: ${event.message}`;
};

input.addEventListener('change', () => {
  [...input.files].forEach(addFile);
  input.value = '';
});

clear.addEventListener('click', () => {
  for (const row of [...rows.values()]) {
    if (row.item.dataset.state !== 'checking') {
      rows.delete(row.id);
      row.item.remove();
    }
  }
  clear.hidden = rows.size === 0;
  input.focus();
});

// Files may be dropped anywhere on the page; the area shows where.
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  event.dataTransfer.dropEffect = 'copy';
  drop.classList.add('dragging');
});
document.addEventListener('dragleave', (event) => {
  if (event.relatedTarget === null) {
    drop.classList.remove('dragging');
  }
});
document.addEventListener('drop', (event) => {
  event.preventDefault();
  drop.classList.remove('dragging');
  [...event.dataTransfer.files].forEach(addFile);
});
