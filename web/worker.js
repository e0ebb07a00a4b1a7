// Runs the converter (karuto.js and karuto.wasm, the project's core compiled
// to WebAssembly) off the page's thread, so the page never freezes. The
// files for the user are made here too: a Blob of a few hundred megabytes
// takes seconds to build, and the page's thread only receives it.
"use strict";

// A converter that cannot be loaded is reported when a conversion asks for
// it, not as the page opens. karuto.html carries the converter in the
// worker's own script, the WebAssembly as base64 (karutoWasmBase64).
let loaded;
try {
  if (typeof createKarutoModule !== "function") importScripts("karuto.js");
  const options = {};
  if (typeof karutoWasmBase64 === "string") {
    options.wasmBinary = Uint8Array.from(atob(karutoWasmBase64), (c) => c.charCodeAt(0));
  }
  loaded = createKarutoModule(options);
} catch (error) {
  loaded = Promise.reject(error);
}
loaded.catch(() => {});

// The engines compile a function fully only once it has run a while, some
// (WebKit) only after several books: the converter converts books of its
// own a few times while the user chooses a file. Each pass is a task of its
// own, so that the file is read meanwhile and a conversion stops the rest.
const kWarmUpPasses = 8;
let warmingUp = true;
const ready = loaded.then(async (module) => {
  for (let pass = 0; pass < kWarmUpPasses && warmingUp; ++pass) {
    module._karuto_warm_up();
    await new Promise((resolve) => setTimeout(resolve, 0));
  }
  return module;
});
ready.catch(() => {});

function utf8Bytes(text) {
  return new TextEncoder().encode(text + "\0");
}

// A file that cannot be held in memory: the job's message for a file that
// cannot be loaded.
class CannotLoad extends Error {}

// A file this worker may not read: WebKit lets no worker read a file chosen
// in a page opened from disk. The page reads it then and hands the bytes over.
class Unreadable extends Error {}

// The converter's numbers for the choices of the page's pictogram list.
const emojiChoices = ["auto", "none", "docomo", "au", "softbank"];
// And of its list of output forms: the iPhone's file, or the one that
// iCloud.com and Google Contacts read.
const formChoices = ["iphone", "icloud"];

// Where the time of a conversion goes, for the page's bench: each step's
// milliseconds since the one before.
function stepTimer() {
  let last = performance.now();
  const steps = [];
  return {
    step(name) {
      const now = performance.now();
      steps.push(`${name} ${(now - last).toFixed(0)}`);
      last = now;
    },
    text: () => steps.join(", "),
  };
}

// The chosen file, read into the converter's input buffer as soon as it is
// chosen, so that little or nothing is left to read when 変換開始 is
// pressed: { id, file (null for bytes the page read), name, pointer, size,
// loaded (a promise) }. A conversion takes the buffer over.
let chosen = null;

// Room for `size` bytes in the converter's input buffer.
function inputBuffer(module, size) {
  const pointer = module._karuto_input_buffer(size);
  if (pointer === 0) throw new CannotLoad();
  return pointer;
}

// Reads the file straight into the converter's input buffer, piece by
// piece: the book is never held twice. Stops when another file is chosen,
// whose buffer takes this one's place.
async function readInto(module, target) {
  const size = target.file.size;
  const pointer = inputBuffer(module, size);
  let offset = 0;
  try {
    const reader = target.file.stream().getReader();
    for (;;) {
      const { done, value } = await reader.read();
      if (chosen !== target) {
        reader.cancel().catch(() => {});
        return;
      }
      if (done) break;
      if (offset + value.length > size) throw new Error("the file grew");
      module.HEAPU8.set(value, pointer + offset);
      offset += value.length;
    }
  } catch (error) {
    throw new Unreadable();
  }
  if (offset !== size) throw new Unreadable();
  Object.assign(target, { pointer, size });
}

function copyInto(module, target, bytes) {
  const input = new Uint8Array(bytes);
  const pointer = inputBuffer(module, input.length);
  module.HEAPU8.set(input, pointer);
  Object.assign(target, { pointer, size: input.length });
}

// `request`: { id, file }, or { id, bytes, name } with the file's bytes read
// by the page.
function choose(request) {
  const target = { id: request.id, file: request.file || null, name: request.bytes ? request.name : request.file.name };
  chosen = target;
  // Read while the converter warms up.
  target.loaded = loaded.then((module) => {
    if (chosen !== target) return;
    if (request.bytes) copyInto(module, target, request.bytes);
    else return readInto(module, target);
  });
  // The page reads a file this worker may not read, ahead too.
  target.loaded.catch((error) => {
    if (error instanceof Unreadable && chosen === target) self.postMessage({ unreadableAhead: target.id });
  });
}

// Whether the buffer still holds the file: its end, as the page read it
// just now (null when it could not; undefined when the file was read just
// now), is the end read before. A file removed or changed since it was
// chosen is read again, and fails as it would have.
function stillTheFile(module, target, end) {
  if (end === undefined) return true;
  if (!end || end.byteLength > target.size) return false;
  const held = module.HEAPU8.subarray(target.pointer + target.size - end.byteLength, target.pointer + target.size);
  return new Uint8Array(end).every((byte, i) => byte === held[i]);
}

// `request`: { id, emoji, form, end } for the file chosen last, `end` its last
// bytes if it was read ahead.
async function convert(request) {
  const timer = stepTimer();
  warmingUp = false;
  const module = await ready;
  timer.step("module");
  const target = chosen;
  if (!target || target.id !== request.id) throw new Error("not the chosen file");
  await target.loaded;
  if (!stillTheFile(module, target, request.end)) {
    // The page hands over the bytes it reads.
    if (!target.file) throw new Unreadable();
    await readInto(module, target);
  }
  chosen = null;
  const name = target.name;
  timer.step("read");
  const blocks = [];
  // Made a Blob block by block, the output is copied once and the browser
  // takes each block's bytes while the next is made.
  module.onOutputBlock = (block) => blocks.push(new Blob([block]));
  // A byte-order mark, so that any Windows editor reads the report as UTF-8.
  const reportBlocks = [new Uint8Array([0xEF, 0xBB, 0xBF])];
  module.onReportBlock = (block) => reportBlocks.push(block);
  const nameBytes = utf8Bytes(name);
  const namePointer = module._malloc(nameBytes.length);
  module.HEAPU8.set(nameBytes, namePointer);
  try {
    module._karuto_convert(namePointer, Math.max(0, emojiChoices.indexOf(request.emoji)),
                           Math.max(0, formChoices.indexOf(request.form)));
  } finally {
    module._free(namePointer);
  }
  timer.step("convert");
  const result = JSON.parse(module.UTF8ToString(module._karuto_result_json()));
  module._karuto_release();
  result.heapBytes = module.HEAPU8.length;
  // The blocks are the output only when the conversion ran to its end, and
  // the report only when it was made to its end.
  result.output = result.converted ? new Blob(blocks, { type: "text/vcard" }) : null;
  result.report = result.reportLines > 0 ? new Blob(reportBlocks, { type: "text/plain;charset=utf-8" }) : null;
  timer.step("blobs");
  // The browser copies a new blob's bytes in the background; the page gets
  // the blobs once it holds them (a byte can be read only then), so that
  // the copying of a few hundred megabytes does not slow the page's thread
  // just as it shows the result.
  // WebKit lets a worker of a page opened from disk read no blob, not even
  // its own: there the page gets them at once.
  for (const blob of [result.output, result.report]) {
    if (blob) await blob.slice(0, 1).arrayBuffer().catch(() => {});
  }
  timer.step("held");
  result.steps = timer.text();
  return result;
}

// Every outcome reaches the page, failures included: the page must never
// stay busy.
self.onmessage = async (event) => {
  try {
    if (event.data.choose) {
      choose(event.data.choose);
      return;
    }
    self.postMessage(await convert(event.data.convert));
  } catch (error) {
    if (error instanceof Unreadable) {
      self.postMessage({ unreadable: true });
      return;
    }
    const cannotLoad = error instanceof CannotLoad || error instanceof RangeError ||
                       /memory/i.test(String(error && error.message));
    self.postMessage({ failed: true, cannotLoad });
  }
};
