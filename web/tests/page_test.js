// The page in headless Chromium, served on 127.0.0.1 as any static host would
// serve it, and karuto.html opened from disk: choose a file, press 変換開始,
// read the messages, take the download and compare it with the native
// command line's output. The cases every user meets run in Firefox and
// WebKit too (browsers.js). In each state, axe-core must find nothing.
//
//   KARUTO_SITE=build/web/site KARUTO_CLI=build/native/karuto \
//   KARUTO_MAKE_BOOK=build/native/make_address_book \
//     node --test web/tests/page_test.js
// KARUTO_SCREENSHOTS=DIR also saves the screenshots of the user guide there.
"use strict";

const assert = require("node:assert/strict");
const { execFileSync, spawn } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { after, before, test } = require("node:test");
const puppeteer = require("puppeteer-core");
const { pathToFileURL } = require("node:url");
const { audit, engines, expression, freePort, launch, recordSaves, savedFile, sleep, stubShare, waitIn } =
  require("./browsers.js");
const { pageReport, site } = require("./karuto_module.js");

const source = path.resolve(__dirname, "..", "..");
const cli = path.resolve(process.env.KARUTO_CLI || path.join(source, "build/native/karuto"));
const makeBook = path.resolve(process.env.KARUTO_MAKE_BOOK || path.join(source, "build/native/make_address_book"));
const screenshots = process.env.KARUTO_SCREENSHOTS;
const work = fs.mkdtempSync(path.join(os.tmpdir(), "karuto-page-"));
const example = path.join(source, "examples", "contacts.vcf");

let server;
let browser;
let origin;

async function waitForServer(url, limitMs) {
  const end = Date.now() + limitMs;
  for (;;) {
    try {
      const response = await fetch(url);
      if (response.ok) return;
    } catch (error) {
      if (Date.now() > end) throw error;
    }
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
}

before(async () => {
  const port = await freePort();
  origin = `http://127.0.0.1:${port}`;
  server = spawn("python3", ["-m", "http.server", "--bind", "127.0.0.1", "--directory", site, String(port)],
                 { stdio: "ignore" });
  await waitForServer(`${origin}/index.html`, 15000);
  browser = await puppeteer.launch({
    executablePath: process.env.KARUTO_CHROMIUM || "/usr/bin/chromium",
    headless: true,
    protocolTimeout: 120000,
    args: ["--no-sandbox", "--lang=ja-JP", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync",
           `--user-data-dir=${path.join(work, "profile")}`],
  });
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.kill();
  fs.rmSync(work, { recursive: true, force: true });
});

// The page at a given width, with every request it makes recorded; the
// served index.html unless another address is given. `share`: the browser
// can share files, as the iPhone's Safari can, from before the page's script runs.
async function openPage(width, height, url = `${origin}/index.html`, share = false) {
  const page = await browser.newPage();
  if (share) await page.evaluateOnNewDocument(stubShare, true);
  await page.setViewport({ width, height });
  const requests = [];
  page.on("request", (request) => requests.push(request.url()));
  const downloads = fs.mkdtempSync(path.join(work, "downloads-"));
  const session = await page.createCDPSession();
  await session.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
  await page.goto(url, { waitUntil: "load", timeout: 30000 });
  return { page, requests, downloads };
}

async function convert(page, file, limitMs = 60000) {
  const input = await page.$("#input-file");
  await input.uploadFile(file);
  return convertAgain(page, limitMs);
}

// Presses the start button for the file already chosen.
async function convertAgain(page, limitMs = 60000) {
  await page.waitForFunction(() => !document.getElementById("start").disabled, { timeout: 10000 });
  const before = await page.$$eval("#messages li", (items) => items.length);
  const started = Date.now();
  await page.click("#start");
  await page.waitForFunction(
    (count) => document.getElementById("busy").hidden &&
               document.querySelectorAll("#messages li").length > count,
    { timeout: limitMs, polling: 50 }, before);
  const elapsedMs = Date.now() - started;
  const messages = await page.$$eval("#messages li", (items) => items.map((item) => ({
    text: item.textContent, error: item.classList.contains("error") })));
  return { messages: messages.slice(before), elapsedMs };
}

async function takeDownload(page, downloads, press = () => page.click("#download"), name = "PC→iPhone.vcf") {
  await page.waitForSelector("#download:not([hidden])", { timeout: 10000 });
  await press();
  const file = path.join(downloads, name);
  const end = Date.now() + 30000;
  while (!fs.existsSync(file)) {
    assert.ok(Date.now() < end, "no download");
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  await new Promise((resolve) => setTimeout(resolve, 300));  // let Chromium finish writing
  return fs.readFileSync(file);
}

// The output file, and the report as the page saves it (UTF-8 with its mark
// and CR LF) when the options ask for it.
function commandLineOutput(input, options = []) {
  const output = path.join(work, `cli-${path.basename(input)}`);
  const started = process.hrtime.bigint();
  const stdout = execFileSync(cli, ["--yes", ...options, "-o", output, input],
                              { encoding: "utf8", timeout: 120000, maxBuffer: 1 << 30 });
  const elapsedMs = Number(process.hrtime.bigint() - started) / 1e6;
  const report = stdout.slice(stdout.indexOf("\n", stdout.indexOf("入力データ：")) + 1);
  return { bytes: fs.readFileSync(output), elapsedMs,
           report: Buffer.from("\uFEFF" + pageReport(report).replace(/\n/g, "\r\n")) };
}

// A puppeteer page as browsers.js drives one, for its audit.
const driven = (page) => ({ evaluate: (fn, ...args) => page.evaluate(expression(fn, args)) });

async function saveScreenshot(page, name) {
  if (!screenshots) return;
  fs.mkdirSync(screenshots, { recursive: true });
  await page.screenshot({ path: path.join(screenshots, name), fullPage: true });
}

test("the example address book converts as the command line converts it", async () => {
  // karuto.html opened from disk: the page, its worker and the converter in one file.
  const single = pathToFileURL(path.join(site, "karuto.html")).href;
  for (const [width, height, suffix, url, share] of [[1100, 900, "desktop"], [390, 844, "phone", undefined, true],
                                                     [1100, 900, null, single]]) {
    const { page, requests, downloads } = await openPage(width, height, url, share);
    assert.equal(await page.$eval("html", (html) => html.lang), "ja");
    assert.equal(await page.$eval("#download", (link) => link.hidden), true);
    if (suffix) await saveScreenshot(page, `web-${suffix}-before.png`);
    assert.deepEqual(await audit(driven(page)), [], `${width} px, at load`);
    // Nothing to download yet: the link is not shown.
    assert.equal(await page.$eval("#download", (link) => link.offsetParent === null), true);
    const { messages } = await convert(page, example);
    assert.deepEqual(messages, [
      { text: "変換処理中...", error: false },
      { text: "変換が完了しました。", error: false },
      { text: "入力データ：6件、　出力データ：5件", error: false },
    ]);
    const report = await page.$eval("#report", (element) => element.textContent);
    assert.match(report, /CHARSET=ISO-2022-JP/);
    assert.match(report, /書き出さなかった項目：1件（カード1件）\n  カード1（1行目）「佐藤 花子」：X-CLASS（15行目）/);
    assert.deepEqual(await audit(driven(page)), [], `${width} px, converted`);
    const downloaded = await takeDownload(page, downloads);
    assert.ok(downloaded.equals(commandLineOutput(example).bytes), "the download differs");
    // Shared only where the browser can share files: not Chromium on Linux.
    assert.equal(await page.$eval("#share", (button) => button.offsetParent !== null), Boolean(share));
    if (suffix) await saveScreenshot(page, `web-${suffix}-after.png`);
    // Nothing but the page's own files was asked for; karuto.html asks for nothing but itself.
    for (const asked of requests) {
      assert.ok(url ? asked === url || /^(blob|data):/.test(asked) : asked.startsWith(`${origin}/`) || asked.startsWith("blob:"), asked);
    }
    await page.close();
  }
});

test("another choice of pictograms converts the same file again with one click", async () => {
  const { page, downloads } = await openPage(1000, 800);
  const book = path.join(source, "tests", "data", "pictograms.vcf");
  assert.equal(await page.$eval("#emoji", (select) => select.value), "auto");
  await convert(page, book);
  assert.ok((await takeDownload(page, downloads)).equals(commandLineOutput(book).bytes), "auto differs");
  fs.rmSync(path.join(downloads, "PC→iPhone.vcf"));
  await page.select("#emoji", "softbank");
  await convertAgain(page);
  const softBank = await takeDownload(page, downloads);
  assert.ok(softBank.equals(commandLineOutput(book, ["--emoji=softbank"]).bytes), "SoftBank differs");
  assert.match(await page.$eval("#report", (element) => element.textContent), /SoftBank の絵文字2個/);
  // Another file chosen: the result of this one is no longer offered.
  await (await page.$("#input-file")).uploadFile(example);
  await page.waitForFunction(() => document.getElementById("chosen-name").textContent === "contacts.vcf");
  assert.deepEqual(await page.$eval("#download", (link) => [link.hidden, link.offsetParent === null]), [true, true]);
  assert.equal(await page.$eval("#report-box", (box) => box.hidden), true);
  // Codes no one carrier's table holds: the page says how to choose the
  // carrier in the page; nothing it shows names a command-line option.
  const shared = path.join(work, "shared.vcf");
  fs.writeFileSync(shared, Buffer.from("BEGIN:VCARD\r\nN:\xF9\x41;;;;\r\nEND:VCARD\r\n", "latin1"));
  await page.select("#emoji", "auto");
  await convert(page, shared);
  assert.match(await page.$eval("#report", (element) => element.textContent),
               /変換し直すと絵文字になります（【携帯電話の絵文字】で会社を選べます）。/);
  assert.doesNotMatch(await page.evaluate(() => document.body.innerText), /--|コマンドライン/);
  await page.close();
});

test("files dropped anywhere, the keyboard after converting and the page's icon", async () => {
  const { page, downloads } = await openPage(1000, 800);
  // Two files dropped outside the drop zone: the first is taken and the page
  // says so; the browser neither opens nor saves them.
  const prevented = await page.evaluate((text) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([Uint8Array.from(text, (c) => c.charCodeAt(0))], "contacts.vcf"));
    transfer.items.add(new File(["x"], "other.vcf"));
    const drop = new DragEvent("drop", { dataTransfer: transfer, bubbles: true, cancelable: true });
    document.querySelector("h1").dispatchEvent(drop);
    return drop.defaultPrevented;
  }, fs.readFileSync(example).toString("latin1"));
  assert.equal(prevented, true);
  assert.equal(await page.$eval("#chosen-name", (element) => element.textContent),
               "contacts.vcf（ドロップされた 2 個のファイルのうち最初のものを選びました）");
  await convertAgain(page);
  // The download button has the focus and takes Space.
  assert.equal(await page.evaluate(() => document.activeElement.id), "download");
  const saved = await takeDownload(page, downloads, () => page.keyboard.press("Space"));
  assert.ok(saved.equals(commandLineOutput(example).bytes), "the download differs");
  assert.equal(await page.evaluate(async () => (await fetch("favicon.ico")).status), 200);
  await page.close();
});

test("a converter that cannot be loaded fails the conversion and leaves the page usable", async () => {
  // The site without karuto.wasm, served on a port of its own.
  const broken = path.join(work, "broken-site");
  fs.cpSync(site, broken, { recursive: true });
  fs.rmSync(path.join(broken, "karuto.wasm"));
  const port = await freePort();
  const brokenServer = spawn("python3", ["-m", "http.server", "--bind", "127.0.0.1", "--directory", broken,
                                         String(port)], { stdio: "ignore" });
  try {
    await waitForServer(`http://127.0.0.1:${port}/index.html`, 15000);
    const page = await browser.newPage();
    await page.goto(`http://127.0.0.1:${port}/index.html`, { waitUntil: "load", timeout: 30000 });
    await new Promise((resolve) => setTimeout(resolve, 1000));
    assert.equal(await page.$$eval("#messages li", (items) => items.length), 0, "a message before any conversion");
    const { messages } = await convert(page, example);
    assert.deepEqual(messages, [{ text: "変換処理に失敗しました。", error: true }]);
    assert.deepEqual(await audit(driven(page)), [], "the conversion failed");
    assert.equal(await page.$eval("#start", (button) => button.disabled), false);
    assert.equal(await page.$eval("#busy", (note) => note.hidden), true);
    await page.close();
  } finally {
    brokenServer.kill();
  }
  // index.html opened from disk can start no worker, and says what to open instead.
  const page = await browser.newPage();
  await page.goto(pathToFileURL(path.join(site, "index.html")).href, { waitUntil: "load", timeout: 30000 });
  const needsServer = { text: "このページ（index.html）は、パソコンに保存したファイルを直接開いても変換できません。" +
                        "Web サーバーに置いて開くか、1つのファイルで動く karuto.html を開いて下さい。", error: true };
  assert.deepEqual(await page.$$eval("#messages li", (items) => items.map((item) => ({
    text: item.textContent, error: item.classList.contains("error") }))), [needsServer]);
  assert.deepEqual((await convert(page, example)).messages, [needsServer]);
  assert.deepEqual(await audit(driven(page)), [], "index.html opened from disk");
  await page.close();
});

test("a file that is not a vCard and a UTF-16 big-endian file give their messages", async () => {
  const { page } = await openPage(1000, 800);
  const text = path.join(work, "contacts.txt");
  fs.copyFileSync(example, text);
  assert.deepEqual((await convert(page, text)).messages,
                   [{ text: "変換元ファイルはvCardファイルではありません。", error: true }]);
  const bigEndian = path.join(work, "big-endian.vcf");
  fs.writeFileSync(bigEndian, Buffer.from([0xFE, 0xFF, 0x00, 0x42, 0x00, 0x45]));
  assert.deepEqual((await convert(page, bigEndian)).messages, [
    { text: "変換処理中...", error: false },
    { text: "変換元ファイルの文字コードに対応していません。", error: true },
    { text: "変換処理に失敗しました。", error: false },
  ]);
  assert.equal(await page.$eval("#download", (link) => link.hidden), true);
  assert.deepEqual(await audit(driven(page)), [], "a file that is not a vCard");
  await page.close();
});

// Key presses, one after another, from the start of a conversion until a
// moment after its end; each is handled at once. Returns the longest wait
// of a key press in the page's queue and, roughly, how long the conversion took.
async function pressKeysWhileConverting(page, limitMs) {
  await page.waitForFunction(() => !document.getElementById("start").disabled, { timeout: 10000 });
  await page.evaluate(() => {
    window.keyPresses = [];
    document.addEventListener("keydown", (event) => {
      window.keyPresses.push({ busy: !document.getElementById("busy").hidden,
                               waitedMs: performance.now() - event.timeStamp });
    });
  });
  const started = Date.now();
  await page.click("#start");
  await page.waitForFunction(() => !document.getElementById("busy").hidden, { timeout: 10000 });
  const end = Date.now() + limitMs;
  let pressesAfter = 0;
  let elapsedMs = 0;
  while (pressesAfter < 3) {
    assert.ok(Date.now() < end, "the conversion did not end");
    const pressed = Date.now();
    await page.keyboard.press("Shift");
    const busy = await page.evaluate(() => !document.getElementById("busy").hidden);
    const answeredMs = Date.now() - pressed;
    assert.ok(answeredMs < 1000, `the page took ${answeredMs} ms to answer`);
    if (!busy && ++pressesAfter === 1) elapsedMs = Date.now() - started;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  const presses = await page.evaluate(() => window.keyPresses);
  assert.ok(presses[0].busy, "the key press was not handled while the conversion ran");
  return { waitedMs: Math.max(...presses.map((press) => press.waitedMs)), elapsedMs };
}

test("big address books convert while the page keeps answering", async () => {
  const big = path.join(work, "book-60.vcf");
  execFileSync(makeBook, ["sjis", "60", big], { timeout: 120000 });
  // A report longer than the book: one card written, 100 000 refused.
  const refused = path.join(work, "refused.vcf");
  fs.writeFileSync(refused, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Kept\r\nEND:VCARD\r\n" + Array.from(
    { length: 100000 }, (_, i) => `BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Person ${i}\r\nEND:VCARD\r\n`).join(""));
  for (const book of [big, refused]) {
    const { page, downloads } = await openPage(1000, 800);
    await (await page.$("#input-file")).uploadFile(book);
    const { waitedMs, elapsedMs } = await pressKeysWhileConverting(page, 180000);
    console.log(`${path.basename(book)}: converted in about ${elapsedMs} ms, a key press waited ` +
                `${waitedMs.toFixed(0)} ms at most`);
    assert.ok(waitedMs < 200, `a key press waited ${waitedMs} ms`);
    const expected = commandLineOutput(book, ["--report"]);
    assert.ok((await takeDownload(page, downloads)).equals(expected.bytes), "the download differs");
    // The page shows the report's first lines; the button saves all of it.
    const shown = await page.$eval("#report", (element) => element.textContent);
    const fileLines = expected.report.toString("utf8").split("\r\n");
    if (book === refused) {
      assert.equal(shown, fileLines.slice(0, 100).join("\n").slice(1) + "\n");
      assert.equal(await page.$eval("#report-more", (element) => element.textContent),
                   `ほかに ${(fileLines.length - 101).toLocaleString("ja-JP")} 行あります（全部で ` +
                   `${(fileLines.length - 1).toLocaleString("ja-JP")} 行）。すべては【レポートを保存】で保存したファイルで見られます。`);
    }
    const saved = await takeDownload(page, downloads, () => page.click("#save-report"), "変換レポート.txt");
    assert.ok(saved.equals(expected.report), "the saved report differs");
    await page.close();
  }
});

test("speed and memory on a 50 MB address book", async () => {
  const book = path.join(work, "book-50.vcf");
  execFileSync(makeBook, ["sjis", "50", book], { timeout: 120000 });
  const native = commandLineOutput(book);
  const { page } = await openPage(1000, 800);
  const { messages, elapsedMs } = await convert(page, book, 180000);
  assert.match(messages.at(-1).text, /^入力データ：\d+件、　出力データ：\d+件$/);
  const heapBytes = Number(await page.$eval("body", (body) => body.dataset.heapBytes || 0));
  const inputBytes = fs.statSync(book).size;
  const megabytes = inputBytes / 1048576;
  console.log(`50 MB book: browser ${(megabytes / (elapsedMs / 1000)).toFixed(1)} MB/s ` +
              `(${elapsedMs} ms), native command line ${(megabytes / (native.elapsedMs / 1000)).toFixed(1)} MB/s ` +
              `(${native.elapsedMs.toFixed(0)} ms), WebAssembly memory ${(heapBytes / inputBytes).toFixed(2)} × input`);
  assert.ok(heapBytes > 0, "the worker did not report its memory");
  await page.close();
});

// The messages added since the `before`-th, as { text, error }.
async function messagesIn(page, before) {
  const messages = await page.evaluate(() => Array.from(document.querySelectorAll("#messages li"), (item) => ({
    text: item.textContent, error: item.classList.contains("error") })));
  return messages.slice(before);
}

// Presses 変換開始 for the chosen file and waits for the conversion's end.
async function convertIn(page) {
  await waitIn(page, () => !document.getElementById("start").disabled, [], 10000, "the start button");
  const before = await page.evaluate(() => document.querySelectorAll("#messages li").length);
  await page.click("#start");
  await waitIn(page, (count) => document.getElementById("busy").hidden &&
               document.querySelectorAll("#messages li").length > count, [before], 60000, "the conversion");
  return messagesIn(page, before);
}

// axe-core finds nothing at a phone's width (the narrow layout) nor at a
// desktop's, where the page is left.
async function assertAccessible(page, what) {
  for (const [width, height, narrow] of [[390, 844, true], [1000, 900, false]]) {
    await page.resize(width, height);
    await waitIn(page, (wanted) => matchMedia("(max-width: 30rem)").matches === wanted, [narrow], 10000,
                 `the page at ${width} px`);
    assert.deepEqual(await audit(page), [], `${what} at ${width} px`);
  }
}

const resultShown = () => ["download", "report-box", "share"].map((id) => !document.getElementById(id).hidden);

// What every user meets, in each engine, in the served page and in
// karuto.html opened from disk (where WebKit's worker may not read the file
// and the page hands it the bytes).
for (const engine of engines) {
  test(`the page in ${engine}, served and opened from disk`, async () => {
    // More refused cards than the report's box shows at once.
    const refused = path.join(work, `refused-${engine}.vcf`);
    fs.writeFileSync(refused, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Kept\r\nEND:VCARD\r\n" + Array.from(
      { length: 60 }, (_, i) => `BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Person ${i}\r\nEND:VCARD\r\n`).join(""));
    const browser = await launch(engine, fs.mkdtempSync(path.join(work, `${engine}-`)));
    try {
      for (const [where, url] of [["served", `${origin}/index.html`],
                                  ["disk", pathToFileURL(path.join(site, "karuto.html")).href]]) {
        const page = await browser.open(url, 1000, 900);
        await page.evaluate(recordSaves);
        // The page asks whether files can be shared when it offers a result.
        await page.evaluate(stubShare, true);
        let saves = 0;
        await assertAccessible(page, `${where}, at load`);
        if (where === "served") {
          // The audit runs in this engine: a button with no name is found.
          await page.evaluate(() => document.body.append(
            Object.assign(document.createElement("button"), { id: "planted" })));
          assert.match((await audit(page)).join("\n"), /^button-name \(critical\): #planted$/m);
          await page.evaluate(() => document.getElementById("planted").remove());
        }

        // The example book in each output form, byte for byte, shared as it
        // is downloaded, and its saved report. Another form takes the result away.
        await page.chooseFile(example);
        for (const [form, name, options] of [["icloud", "PC→iCloud.vcf", ["--format=icloud"]],
                                             ["iphone", "PC→iPhone.vcf", []]]) {
          await page.select("#form", form);
          assert.deepEqual(await page.evaluate(resultShown), [false, false, false], `${where}: a stale result is offered`);
          assert.deepEqual(await convertIn(page), [
            { text: "変換処理中...", error: false },
            { text: "変換が完了しました。", error: false },
            { text: "入力データ：6件、　出力データ：5件", error: false },
          ], where);
          // A book this small is converted at once, with no warm-up before.
          assert.doesNotMatch(await page.evaluate(() => document.body.dataset.steps), /warm-up/, where);
          // The messages are a live region; the download is where the keyboard goes on.
          assert.deepEqual(await page.evaluate(() => {
            const log = document.getElementById("messages").closest('[role="log"]');
            return [log && log.getAttribute("aria-labelledby"), document.activeElement.id,
                    document.getElementById("download").textContent];
          }), ["messages-title", "download", `${name} をダウンロード`], where);
          await assertAccessible(page, `${where}, converted to ${name}`);
          const expected = commandLineOutput(example, ["--report", ...options]);
          for (const button of ["#download", "#share"]) {
            await page.click(button);
            const output = await savedFile(page, saves++);
            assert.deepEqual([output.name, output.type], [name, "text/vcard"], `${where}: ${button}`);
            assert.ok(output.bytes.equals(expected.bytes), `${where}: ${button} differs from ${name}`);
          }
          await page.click("#save-report");
          const report = await savedFile(page, saves++);
          assert.equal(report.name, "変換レポート.txt");
          assert.ok(report.bytes.equals(expected.report), `${where}: the saved report differs`);
        }
        await assertAccessible(page, `${where}, the report saved`);
        // A share the user cancels says nothing; one that fails says so.
        const shown = await page.evaluate(() => document.querySelectorAll("#messages li").length);
        for (const failure of ["AbortError", "NotAllowedError"]) {
          await page.evaluate(stubShare, true, failure);
          await page.click("#share");
        }
        await waitIn(page, (n) => document.querySelectorAll("#messages li").length > n, [shown], 10000, "a message");
        assert.deepEqual(await messagesIn(page, shown),
                         [{ text: "共有できませんでした。【PC→iPhone.vcf をダウンロード】で保存して下さい。", error: true }], where);
        // KARUTO_ENGINE_SCREENSHOTS=DIR keeps what each engine showed, to be looked at.
        const screenshot = async (name) => {
          if (!process.env.KARUTO_ENGINE_SCREENSHOTS) return;
          fs.mkdirSync(process.env.KARUTO_ENGINE_SCREENSHOTS, { recursive: true });
          await page.screenshot(path.join(process.env.KARUTO_ENGINE_SCREENSHOTS, `${engine}-${where}-${name}.png`));
        };
        await screenshot("converted");

        // Another choice of pictograms takes the result away; converting
        // again gives that choice's output.
        const pictograms = path.join(source, "tests", "data", "pictograms.vcf");
        await page.chooseFile(pictograms);
        await convertIn(page);
        assert.deepEqual(await page.evaluate(resultShown), [true, true, true], where);
        await page.select("#emoji", "softbank");
        assert.deepEqual(await page.evaluate(resultShown), [false, false, false], `${where}: a stale result is offered`);
        await convertIn(page);
        await page.click("#download");
        assert.ok((await savedFile(page, saves++)).bytes.equals(commandLineOutput(pictograms, ["--emoji=softbank"]).bytes),
                  `${where}: the SoftBank output differs`);
        // So does another file.
        await page.chooseFile(example);
        await waitIn(page, () => document.getElementById("chosen-name").textContent === "contacts.vcf", [], 10000,
                     "the chosen file's name");
        assert.deepEqual(await page.evaluate(resultShown), [false, false, false], `${where}: a stale result is offered`);

        // A file taken away after it was chosen: the page says what to do.
        const gone = path.join(work, `gone-${engine}-${where}.vcf`);
        fs.copyFileSync(example, gone);
        await page.chooseFile(gone);
        fs.rmSync(gone);
        assert.deepEqual(await convertIn(page), [{ text: "変換元ファイルが読み込めません。\n" +
          "ファイルが移動・削除・変更されていないか確かめ、もう一度選んでから【変換開始】を押して下さい。", error: true }], where);
        assert.deepEqual(await page.evaluate(resultShown), [false, false, false], where);
        await assertAccessible(page, `${where}, a file that could not be read`);
        await screenshot("unreadable");
        // A file changed after it was chosen (and read ahead, and warmed up
        // on): the bytes it holds at the press are converted, or the page
        // says it cannot read it (Chromium and WebKit read no file changed
        // since it was chosen), never the old bytes. Another length; the
        // same length, a name changed near the start of a book long enough
        // for a warm-up (佐藤→加藤).
        const long = Buffer.concat(Array(100).fill(fs.readFileSync(example)));
        const edited = Buffer.from(long);
        edited.set([0x89, 0xC1], long.indexOf(Buffer.from([0x8D, 0xB2])));  // Shift_JIS 佐 → 加
        for (const [before, after] of [[fs.readFileSync(pictograms), fs.readFileSync(example)], [long, edited]]) {
          const changed = path.join(work, `changed-${engine}-${where}.vcf`);
          fs.writeFileSync(changed, before);
          await page.chooseFile(changed);
          await sleep(1000);
          fs.writeFileSync(changed, after);
          const outcome = (await convertIn(page)).at(-1).text;
          if (outcome.startsWith("変換元ファイルが読み込めません。\n")) continue;
          assert.match(outcome, /^入力データ：\d+件、　出力データ：\d+件$/, where);
          await page.click("#download");
          assert.ok((await savedFile(page, saves++)).bytes.equals(commandLineOutput(changed).bytes),
                    `${where}: not the changed file's output (${after.length} bytes)`);
        }
        // Chosen again, a file converts. Where files cannot be shared
        // (canShare says no, or there is none), the download is offered alone.
        await page.evaluate(stubShare, false);
        await page.chooseFile(example);
        assert.equal((await convertIn(page)).at(-1).text, "入力データ：6件、　出力データ：5件", where);
        assert.deepEqual(await page.evaluate(resultShown), [true, true, false], where);
        // A report and a list of messages longer than their boxes: both scroll.
        await page.evaluate(stubShare, null);
        await page.chooseFile(refused);
        await convertIn(page);
        assert.deepEqual(await page.evaluate(resultShown), [true, true, false], where);
        assert.deepEqual(await page.evaluate(() => ["messages", "report"].map((id) => {
          const box = document.getElementById(id);
          return box.scrollHeight > box.clientHeight;
        })), [true, true], where);
        await assertAccessible(page, `${where}, a long report`);
        await page.close();
      }
    } finally {
      await browser.close();
    }
  });
}
