// How long the page takes, in each browser engine, from a press of 変換開始
// to the offered download, beside the native command line on the same book.
// A measurement, not a test: run it on a quiet machine and more than once.
//
//   node web/tests/bench_page.js [MEGABYTES] [RUNS] [ENGINE...]
//
// Defaults: a generated 25 MB Shift_JIS book, 5 runs, all three engines,
// the served page. KARUTO_SITE, KARUTO_CLI and KARUTO_MAKE_BOOK as for the
// page's tests; KARUTO_BENCH_PAGE=karuto.html times the page opened from disk.
"use strict";

const { execFileSync, spawn } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { pathToFileURL } = require("node:url");
const { engines, freePort, launch, poll, sleep, waitIn } = require("./browsers.js");
const { site } = require("./karuto_module.js");

const source = path.resolve(__dirname, "..", "..");
const cli = path.resolve(process.env.KARUTO_CLI || path.join(source, "build/native/karuto"));
const makeBook = path.resolve(process.env.KARUTO_MAKE_BOOK || path.join(source, "build/native/make_address_book"));
const megabytes = Number(process.argv[2] || 25);
const runs = Number(process.argv[3] || 5);
const chosen = process.argv.length > 4 ? process.argv.slice(4) : engines;
const pageName = process.env.KARUTO_BENCH_PAGE || "index.html";

// Times, in the page, from the press of the start button to the download
// button's appearing; the worker's own times come with the result.
function timeConversion() {
  window.benchTimes = {};
  const download = document.getElementById("download");
  document.getElementById("input-file").addEventListener("change", () => {
    window.benchTimes.chosen = performance.now();
  }, { once: true });
  document.getElementById("start").addEventListener("click", () => {
    window.benchTimes.pressed = performance.now();
  }, { capture: true, once: true });
  new MutationObserver((changes, observer) => {
    if (download.hidden) return;
    window.benchTimes.offered = performance.now();
    observer.disconnect();
  }).observe(download, { attributes: true });
}

function range(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const median = sorted[Math.floor(sorted.length / 2)];
  return `${sorted[0].toFixed(2)}–${sorted.at(-1).toFixed(2)} s (median ${median.toFixed(2)})`;
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "karuto-bench-"));
  const book = path.join(work, "book.vcf");
  execFileSync(makeBook, ["sjis", String(megabytes), book], { timeout: 120000 });
  const size = fs.statSync(book).size / 1048576;
  const port = await freePort();
  const server = spawn("python3", ["-m", "http.server", "--bind", "127.0.0.1", "--directory", site, String(port)],
                       { stdio: "ignore" });
  const url = pageName === "karuto.html" ? pathToFileURL(path.join(site, "karuto.html")).href
                                         : `http://127.0.0.1:${port}/${pageName}`;
  try {
    await poll(async () => (await fetch(`http://127.0.0.1:${port}/index.html`)).ok || Promise.reject(new Error("no")),
               15000, "the server did not start");
    const native = [];
    for (let run = 0; run < runs; ++run) {
      const started = process.hrtime.bigint();
      execFileSync(cli, ["--yes", "-o", path.join(work, "out.vcf"), book], { timeout: 120000, stdio: "ignore" });
      native.push(Number(process.hrtime.bigint() - started) / 1e9);
    }
    const nativeMedian = [...native].sort((a, b) => a - b)[Math.floor(runs / 2)];
    console.log(`${size.toFixed(1)} MB Shift_JIS book, ${runs} runs, ${pageName}`);
    const medians = {};
    console.log(`native command line: ${range(native)}, ${(size / nativeMedian).toFixed(0)} MB/s`);
    for (const engine of chosen) {
      const browser = await launch(engine);
      const times = [];
      const fromChoice = [];
      const steps = [];
      try {
        for (let run = 0; run < runs; ++run) {
          // A fresh page each time: the first conversion after opening it,
          // as a user's.
          const page = await browser.open(url, 1000, 800);
          await page.evaluate(timeConversion);
          // A user takes a few seconds to choose a file.
          await sleep(3000);
          await page.chooseFile(book);
          await waitIn(page, () => !document.getElementById("start").disabled, [], 10000, "the start button");
          // The page reads the file as it is chosen; no user presses the
          // button sooner than a second after the file dialog has closed.
          await sleep(1000);
          await page.click("#start");
          const result = await waitIn(page, () => window.benchTimes.offered &&
                                      { ...window.benchTimes, steps: document.body.dataset.steps },
                                      [], 180000, "the download");
          times.push((result.offered - result.pressed) / 1000);
          fromChoice.push((result.offered - result.chosen) / 1000);
          if (result.steps) steps.push(result.steps);
          await page.close();
        }
      } finally {
        await browser.close();
      }
      const median = [...times].sort((a, b) => a - b)[Math.floor(runs / 2)];
      medians[engine] = median;
      const beside = engine !== "chromium" && medians.chromium ? `, ${(median / medians.chromium).toFixed(1)} × Chromium` : "";
      console.log(`${engine}: ${range(times)}, ${(size / median).toFixed(0)} MB/s, ` +
                  `${(median / nativeMedian).toFixed(1)} × native's time${beside}; ` +
                  `from the file's choice ${range(fromChoice)}`);
      for (const step of steps) console.log(`  ${step}`);
    }
  } finally {
    server.kill();
    fs.rmSync(work, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
