// Runs the converter (karuto.js and karuto.wasm, the project's core compiled
// to WebAssembly) off the page's thread, so the page never freezes. The
// files for the user are made here too: a Blob of a few hundred megabytes
// takes seconds to build, and the page's thread only receives it.
"use strict";

// A converter that cannot be loaded is reported when a conversion asks for
// it, not as the page opens. karuto.html carries the converter in the
// worker's own script, the WebAssembly as base64 (karutoWasmBase64).
let ready;
try {
  if (typeof createKarutoModule !== "function") importScripts("karuto.js");
  const options = {};
  if (typeof karutoWasmBase64 === "string") {
    options.wasmBinary = Uint8Array.from(atob(karutoWasmBase64), (c) => c.charCodeAt(0));
  }
  // The warm-up runs while the user chooses a file.
  ready = createKarutoModule(options).then((module) => {
    module._karuto_warm_up();
    return module;
  });
} catch (error) {
  ready = Promise.reject(error);
}
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

// Reads the file straight into the converter's input buffer, piece by
// piece: the book is never held twice.
async function readInto(module, file) {
  const size = file.size;
  const pointer = module._karuto_input_buffer(size);
  if (pointer === 0) throw new CannotLoad();
  let offset = 0;
  try {
    const reader = file.stream().getReader();
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      if (offset + value.length > size) throw new Error("the file grew");
      module.HEAPU8.set(value, pointer + offset);
      offset += value.length;
    }
  } catch (error) {
    throw new Unreadable();
  }
  if (offset !== size) throw new Unreadable();
}

// `request`: { file, emoji }, or { bytes, name, emoji } with the file's
// bytes read by the page.
async function convert(request) {
  const timer = stepTimer();
  const module = await ready;
  timer.step("module");
  if (request.bytes) {
    const input = new Uint8Array(request.bytes);
    const pointer = module._karuto_input_buffer(input.length);
    if (pointer === 0) throw new CannotLoad();
    module.HEAPU8.set(input, pointer);
  } else {
    await readInto(module, request.file);
  }
  const name = request.bytes ? request.name : request.file.name;
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
    module._karuto_convert(namePointer, Math.max(0, emojiChoices.indexOf(request.emoji)));
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
    self.postMessage(await convert(event.data));
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
