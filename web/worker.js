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

function utf8Bytes(text) {
  return new TextEncoder().encode(text + "\0");
}

// A file that cannot be held in memory: the job's message for a file that
// cannot be loaded.
class CannotLoad extends Error {}

// The converter's numbers for the choices of the page's pictogram list.
const emojiChoices = ["auto", "none", "docomo", "au", "softbank"];
// And of its list of output forms: the iPhone's file, or the one that
// iCloud.com and Google Contacts read.
const formChoices = ["iphone", "icloud"];

// Where the time of a conversion goes, for the page's bench: each step's
// milliseconds since the one before, the first since `start`.
function stepTimer(start) {
  let last = start;
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

// The chosen file, which the page reads and hands over piece by piece as
// soon as it is chosen, straight into the converter's input buffer: { id,
// name, size, pointer, received, failure, warmUp }. A conversion takes the
// buffer over.
let chosen = null;

// The engines compile a function only when it first runs (Chromium) or
// run it in an interpreter first (WebKit), and fully only once it has run
// a while, so that a book's first conversion runs far slower than the
// next: measured here, a first conversion of the example book (3 KB) takes
// 0.05 s in Chromium and WebKit, of a 30 KB book 0.1 s, of 0.5 MB 0.15 s
// and 0.7–1.2 s, where a later one takes 0.01–0.06 s (Firefox compiles
// the whole module as it loads: 0.05 s for 0.5 MB). Once a book big enough
// for that to show is all here, the converter converts its start a few
// times, output dropped, while the user goes on to 変換開始. Each pass is a
// task of its own, short enough that a press waits little for it; the
// passes grow as they get quicker, and end at the press, at another
// choice, or once a pass no longer gets quicker.
const kWarmUpFrom = 16 * 1024;
const kPassMs = 20;
const kFirstPassBytes = 16 * 1024;
const kLongestPassBytes = 1 << 20;
const kMostPasses = 40;

function warmUp(module, target) {
  const state = { passes: 0, ms: 0 };
  target.warmUp = state;
  let bytes = Math.min(kFirstPassBytes, target.size);
  let best = Infinity;
  let stale = 0;
  const pass = () => {
    if (chosen !== target || target.pressed || state.passes >= kMostPasses) return;
    const started = performance.now();
    if (!module._karuto_warm_up(bytes)) return;
    const ms = performance.now() - started;
    state.passes += 1;
    state.ms += ms;
    // Compared between passes of the same size.
    const rate = ms / bytes;
    if (rate < best * 0.9) {
      best = rate;
      stale = 0;
    } else if (++stale >= 3) {
      return;
    }
    const next = Math.min(target.size, kLongestPassBytes, bytes * 2);
    if (ms * 2 <= kPassMs && next > bytes) {
      bytes = next;
      best = Infinity;
      stale = 0;
    }
    setTimeout(pass, 0);
  };
  setTimeout(pass, 0);
}

// `request`: { id, name, size, pressed (read for a conversion asked for
// already: no warm-up) }; the pieces follow, then, if it was read ahead,
// { pressed: id } once 変換開始 is pressed.
function choose(module, request) {
  chosen = { ...request, received: 0, failure: null, warmUp: null };
  const pointer = module._karuto_input_buffer(request.size);
  if (pointer === 0) chosen.failure = new CannotLoad();
  chosen.pointer = pointer;
}

// `request`: { id, offset, bytes }, a piece of the chosen file.
function receive(module, request) {
  const target = chosen;
  if (!target || target.id !== request.id || target.failure) return;
  module.HEAPU8.set(new Uint8Array(request.bytes), target.pointer + request.offset);
  target.received += request.bytes.byteLength;
  if (target.received === target.size && target.size >= kWarmUpFrom && !target.pressed) warmUp(module, target);
}

// Blobs from this size on are waited for until the browser holds them (below).
const kHeldFrom = 4 << 20;

// `request`: { id, emoji, form } for the file chosen last, all of whose
// bytes have arrived; `arrived`: when the request did.
async function convert(module, request, arrived) {
  const timer = stepTimer(arrived);
  const target = chosen;
  if (!target || target.id !== request.id || target.received !== target.size) throw new Error("not the chosen file");
  if (target.failure) throw target.failure;
  chosen = null;
  const name = target.name;
  timer.step("waited");
  const blocks = [];
  // Made a Blob block by block, the output is copied once and the browser
  // takes each block's bytes while the next is made.
  module.onOutputBlock = (block) => blocks.push(new Blob([block]));
  // A byte-order mark (the core's kUtf8Mark, the same bytes), so that any
  // Windows editor reads the report as UTF-8.
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
  // A small one is no matter, and the wait would be most of its time.
  for (const blob of [result.output, result.report]) {
    if (blob && blob.size >= kHeldFrom) await blob.slice(0, 1).arrayBuffer().catch(() => {});
  }
  timer.step("held");
  const passes = target.warmUp;
  result.steps = (passes ? `warm-up ${passes.passes} passes ${passes.ms.toFixed(0)} ms, ` : "") + timer.text();
  return result;
}

// Every outcome of a conversion reaches the page, failures included: the
// page must never stay busy. The messages are handled one after another, in
// order, once the converter is there.
let queue = Promise.resolve();
self.onmessage = (event) => {
  const message = event.data;
  const arrived = performance.now();
  queue = queue.then(async () => {
    try {
      const module = await loaded;
      if (message.choose) choose(module, message.choose);
      else if (message.piece) receive(module, message.piece);
      // 変換開始 was pressed: the conversion follows the last bytes.
      else if (message.pressed !== undefined && chosen && chosen.id === message.pressed) chosen.pressed = true;
      else if (message.convert) self.postMessage(await convert(module, message.convert, arrived));
    } catch (error) {
      if (!message.convert) return;
      const cannotLoad = error instanceof CannotLoad || error instanceof RangeError ||
                         /memory/i.test(String(error && error.message));
      self.postMessage({ failed: true, cannotLoad });
    }
  });
};
