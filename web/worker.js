// Runs the converter (karuto.js and karuto.wasm, the project's core compiled
// to WebAssembly) off the page's thread, so the page never freezes.
"use strict";

// A converter that cannot be loaded is reported when a conversion asks for
// it, not as the page opens.
let ready;
try {
  importScripts("karuto.js");
  ready = createKarutoModule();
} catch (error) {
  ready = Promise.reject(error);
}
ready.catch(() => {});

function utf8Bytes(text) {
  return new TextEncoder().encode(text + "\0");
}

// The converter's numbers for the choices of the page's pictogram list.
const emojiChoices = ["auto", "none", "docomo", "au", "softbank"];

async function convert(name, bytes, emoji) {
  const module = await ready;
  const input = new Uint8Array(bytes);
  const inputPointer = module._karuto_input_buffer(input.length);
  if (inputPointer === 0) throw new Error("out of memory");
  module.HEAPU8.set(input, inputPointer);
  const blocks = [];
  module.onOutputBlock = (block) => blocks.push(block.buffer);
  const nameBytes = utf8Bytes(name);
  const namePointer = module._malloc(nameBytes.length);
  module.HEAPU8.set(nameBytes, namePointer);
  try {
    module._karuto_convert(namePointer, Math.max(0, emojiChoices.indexOf(emoji)));
  } finally {
    module._free(namePointer);
  }
  const result = JSON.parse(module.UTF8ToString(module._karuto_result_json()));
  result.heapBytes = module.HEAPU8.length;
  // The blocks are the output only when the conversion ran to its end.
  result.output = result.converted ? blocks : [];
  module._karuto_release();
  return result;
}

// Every outcome reaches the page, failures included: the page must never
// stay busy.
self.onmessage = async (event) => {
  try {
    const result = await convert(event.data.name, event.data.bytes, event.data.emoji);
    self.postMessage(result, result.output);
  } catch (error) {
    const outOfMemory = error instanceof RangeError || /memory/i.test(String(error && error.message));
    self.postMessage({ failed: true, outOfMemory });
  }
};
