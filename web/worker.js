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
  ready = createKarutoModule(options);
} catch (error) {
  ready = Promise.reject(error);
}
ready.catch(() => {});

function utf8Bytes(text) {
  return new TextEncoder().encode(text + "\0");
}

// A file that cannot be read (taken away since it was chosen) or held in
// memory: the job's message for a file that cannot be loaded.
class CannotLoad extends Error {}

// The converter's numbers for the choices of the page's pictogram list.
const emojiChoices = ["auto", "none", "docomo", "au", "softbank"];

async function convert(file, emoji) {
  const module = await ready;
  let input;
  try {
    input = new Uint8Array(await file.arrayBuffer());
  } catch (error) {
    throw new CannotLoad();
  }
  const inputPointer = module._karuto_input_buffer(input.length);
  if (inputPointer === 0) throw new CannotLoad();
  module.HEAPU8.set(input, inputPointer);
  input = null;  // a big book is not held twice while it converts
  const blocks = [];
  module.onOutputBlock = (block) => blocks.push(block);
  // A byte-order mark, so that any Windows editor reads the report as UTF-8.
  const reportBlocks = [new Uint8Array([0xEF, 0xBB, 0xBF])];
  module.onReportBlock = (block) => reportBlocks.push(block);
  const nameBytes = utf8Bytes(file.name);
  const namePointer = module._malloc(nameBytes.length);
  module.HEAPU8.set(nameBytes, namePointer);
  try {
    module._karuto_convert(namePointer, Math.max(0, emojiChoices.indexOf(emoji)));
  } finally {
    module._free(namePointer);
  }
  const result = JSON.parse(module.UTF8ToString(module._karuto_result_json()));
  module._karuto_release();
  result.heapBytes = module.HEAPU8.length;
  // The blocks are the output only when the conversion ran to its end, and
  // the report only when it was made to its end.
  result.output = result.converted ? new Blob(blocks, { type: "text/vcard" }) : null;
  result.report = result.reportLines > 0 ? new Blob(reportBlocks, { type: "text/plain;charset=utf-8" }) : null;
  // The browser copies a new blob's bytes in the background; the page gets
  // the blobs once it holds them (a byte can be read only then), so that
  // the copying of a few hundred megabytes does not slow the page's thread
  // just as it shows the result.
  for (const blob of [result.output, result.report]) {
    if (blob) await blob.slice(0, 1).arrayBuffer();
  }
  return result;
}

// Every outcome reaches the page, failures included: the page must never
// stay busy.
self.onmessage = async (event) => {
  try {
    self.postMessage(await convert(event.data.file, event.data.emoji));
  } catch (error) {
    const cannotLoad = error instanceof CannotLoad || error instanceof RangeError ||
                       /memory/i.test(String(error && error.message));
    self.postMessage({ failed: true, cannotLoad });
  }
};
