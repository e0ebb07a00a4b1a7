// Loads the built module (karuto.js and karuto.wasm of the site folder) in
// Node and calls it exactly as web/worker.js does in the browser.
"use strict";

const path = require("node:path");

const site = path.resolve(process.env.KARUTO_SITE || path.join(__dirname, "..", "..", "build", "web", "site"));
// The same converter in a heap small enough for a test to fill it.
const smallHeap = path.resolve(process.env.KARUTO_SMALL_HEAP ||
                               path.join(__dirname, "..", "..", "build", "web", "small-heap"));

// `folder`: where karuto.js and karuto.wasm are, the site's by default.
function loadModule(folder = site) {
  const createKarutoModule = require(path.join(folder, "karuto.js"));
  return createKarutoModule({ locateFile: (name) => path.join(folder, name) });
}

function cString(module, text) {
  const bytes = new TextEncoder().encode(text + "\0");
  const pointer = module._malloc(bytes.length);
  module.HEAPU8.set(bytes, pointer);
  return pointer;
}

// `emoji` and `form`: the numbers of the choices, as web/worker.js passes
// them (emoji 0 auto, 1 none, 2 docomo, 3 au, 4 softbank; form 0 the
// iPhone's, 1 iCloud.com's and Google's). `onReportBlock` sees each block of
// the report as it leaves the module. `warmUp`: the sizes of the warm-up
// passes run first on the input, as the page runs them on a big book.
function convertWithModule(module, name, bytes, { emoji = 0, form = 0, onReportBlock = () => {}, warmUp = [] } = {}) {
  const inputPointer = module._karuto_input_buffer(bytes.length);
  module.HEAPU8.set(bytes, inputPointer);
  for (const size of warmUp) module._karuto_warm_up(size);
  const blocks = [];
  // A block is a view of the module's heap, valid only during the call.
  module.onOutputBlock = (block) => blocks.push(Buffer.from(block));
  const reportBlocks = [];
  module.onReportBlock = (block) => {
    reportBlocks.push(block);
    onReportBlock(block);
  };
  const namePointer = cString(module, name);
  try {
    module._karuto_convert(namePointer, emoji, form);
  } finally {
    module._free(namePointer);
  }
  const result = JSON.parse(module.UTF8ToString(module._karuto_result_json()));
  result.output = result.converted ? Buffer.concat(blocks) : Buffer.alloc(0);
  result.report = result.reportLines > 0 ? Buffer.concat(reportBlocks).toString("utf8") : "";
  module._karuto_release();
  return result;
}

// The command line's report as the page gives it: the page's users choose
// the carrier of pictograms in the page, not with an option.
function pageReport(commandLineReport) {
  return commandLineReport.replaceAll("（コマンドラインでは --emoji=docomo、--emoji=au、--emoji=softbank）",
                                      "（【携帯電話の絵文字】で会社を選べます）");
}

module.exports = { loadModule, convertWithModule, pageReport, site, smallHeap };
