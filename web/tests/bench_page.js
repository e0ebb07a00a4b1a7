// What a user of the page waits for, in each browser engine, beside the
// native command line on the same books, in the same run:
//  (a) the example book and a 1 MB feature-phone book, 変換開始 pressed
//      0.3 s after the page has opened and the book been chosen: from the
//      press to the offered download;
//  (b) a big book (25 MB unless told otherwise), 変換開始 pressed as soon as
//      the page allows after the choice: from the choice to the offered
//      download; beside it, the same book pressed once read ahead and warmed
//      up on, from the press.
// A measurement, not a test: run it on a quiet machine and more than once.
//
//   node web/tests/bench_page.js [MEGABYTES] [RUNS] [ENGINE...]
//
// Defaults: 25 MB, 5 runs, all three engines, the served page. KARUTO_SITE,
// KARUTO_CLI and KARUTO_MAKE_BOOK as for the page's tests;
// KARUTO_BENCH_PAGE=karuto.html times the page opened from disk. For each
// run it prints where the time went (the page keeps it in `data-steps` on
// its body): the page's steps in milliseconds since the press (`read`: the
// file read after the press, `checked`: the file read again and found
// unchanged, `answered`: the worker's result arrived, `shown`), and the
// worker's (its warm-up before the press; `waited` for the converter,
// `convert`, `blobs`, `held`: until the browser holds the output's bytes),
// each since the one before.
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

// Times, in the page, the choice of the file, the press of the start button
// and the download button's appearing.
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

function timeNative(book, work) {
  const times = [];
  for (let run = 0; run < runs; ++run) {
    const started = process.hrtime.bigint();
    execFileSync(cli, ["--yes", "-o", path.join(work, "out.vcf"), book], { timeout: 120000, stdio: "ignore" });
    times.push(Number(process.hrtime.bigint() - started) / 1e9);
  }
  return times;
}

// One conversion in a page opened afresh, the first after opening it, as a
// user's: `waitBeforeChoice` after the page has opened the book is chosen,
// and `waitBeforePress` after the choice (null: as soon as the button
// can be pressed) 変換開始 is pressed.
async function timeInPage(browser, url, book, waitBeforeChoice, waitBeforePress) {
  const page = await browser.open(url, 1000, 800);
  try {
    await page.evaluate(timeConversion);
    await sleep(waitBeforeChoice);
    await page.chooseFile(book);
    if (waitBeforePress !== null) await sleep(waitBeforePress);
    await waitIn(page, () => !document.getElementById("start").disabled, [], 10000, "the start button");
    await page.click("#start");
    const result = await waitIn(page, () => window.benchTimes.offered && document.body.dataset.steps &&
                                { ...window.benchTimes, steps: document.body.dataset.steps },
                                [], 180000, "the download");
    return { fromPress: (result.offered - result.pressed) / 1000, fromChoice: (result.offered - result.chosen) / 1000,
             steps: result.steps };
  } finally {
    await page.close();
  }
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "karuto-bench-"));
  const small = path.join(work, "feature-phone-1.vcf");
  execFileSync(makeBook, ["sjis", "1", small], { timeout: 120000 });
  const big = path.join(work, `book-${megabytes}.vcf`);
  execFileSync(makeBook, ["sjis", String(megabytes), big], { timeout: 120000 });
  const sizeOf = (book) => fs.statSync(book).size / 1048576;
  // (a) from the press, (b) from the choice.
  const cases = [
    { what: "(a) the example book, pressed 0.3 s after opening and choosing; from the press",
      book: path.join(source, "examples", "contacts.vcf"), beforeChoice: 0, beforePress: 300, from: "fromPress" },
    { what: `(a) a ${sizeOf(small).toFixed(1)} MB feature-phone book, pressed 0.3 s after opening and choosing; ` +
            "from the press", book: small, beforeChoice: 0, beforePress: 300, from: "fromPress" },
    // A user takes a few seconds to find a file in the dialog.
    { what: `(b) a ${sizeOf(big).toFixed(1)} MB Shift_JIS book, pressed at once; from the choice`,
      book: big, beforeChoice: 3000, beforePress: null, from: "fromChoice" },
    // Beside it, what the engines' first run of the converter costs: the
    // same book pressed once read ahead and warmed up on.
    { what: `    the same, pressed 3 s after the choice; from the press`,
      book: big, beforeChoice: 3000, beforePress: 3000, from: "fromPress" },
  ];
  const port = await freePort();
  const server = spawn("python3", ["-m", "http.server", "--bind", "127.0.0.1", "--directory", site, String(port)],
                       { stdio: "ignore" });
  const url = pageName === "karuto.html" ? pathToFileURL(path.join(site, "karuto.html")).href
                                         : `http://127.0.0.1:${port}/${pageName}`;
  try {
    await poll(async () => (await fetch(`http://127.0.0.1:${port}/index.html`)).ok || Promise.reject(new Error("no")),
               15000, "the server did not start");
    console.log(`${runs} runs, ${pageName}`);
    const medians = cases.map(() => 0);
    const print = (who, i, times, steps) => {
      const median = [...times].sort((a, b) => a - b)[Math.floor(runs / 2)];
      const beside = who === "native" ? "" : `, ${(median / medians[i]).toFixed(1)} × native's time`;
      console.log(`  ${who}: ${range(times)}${beside}`);
      for (const step of steps) console.log(`    ${step}`);
      return median;
    };
    console.log("native command line");
    cases.forEach((c, i) => {
      console.log(` ${c.what}`);
      medians[i] = print("native", i, timeNative(c.book, work), []);
    });
    for (const engine of chosen) {
      console.log(engine);
      const browser = await launch(engine);
      try {
        for (const [i, c] of cases.entries()) {
          const times = [];
          const steps = [];
          for (let run = 0; run < runs; ++run) {
            // WebKitWebDriver now and then fails to open a window: once more.
            const timed = await timeInPage(browser, url, c.book, c.beforeChoice, c.beforePress).catch((error) => {
              console.log(`  (${error.message}: once more)`);
              return timeInPage(browser, url, c.book, c.beforeChoice, c.beforePress);
            });
            times.push(timed[c.from]);
            steps.push(timed.steps);
          }
          console.log(` ${c.what}`);
          print(engine, i, times, steps);
        }
      } finally {
        await browser.close();
      }
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
