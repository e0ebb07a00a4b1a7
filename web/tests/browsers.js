// The three browser engines that run here, behind one small interface for
// the page's tests and its bench: Chromium and Firefox through puppeteer-core
// (DevTools and WebDriver BiDi), WebKitGTK through WebKitWebDriver (plain W3C
// WebDriver over HTTP, on a private Xvfb display). Every wait is bounded.
//
//   const browser = await launch("webkit");
//   const page = await browser.open(url, 1000, 800);
//   await page.chooseFile("/abs/contacts.vcf");
//   await page.click("#start");
//   await page.evaluate((a, b) => a + b, 1, 2);
//   assert.deepEqual(await audit(page), []);
"use strict";

const { spawn } = require("node:child_process");
const fs = require("node:fs");
const net = require("node:net");
const os = require("node:os");
const path = require("node:path");
const puppeteer = require("puppeteer-core");

const engines = ["chromium", "firefox", "webkit"];

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.once("error", reject);
    probe.listen(0, "127.0.0.1", () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// Polls until `ready()` resolves; its last error is the failure's.
async function poll(ready, limitMs, what) {
  const end = Date.now() + limitMs;
  for (;;) {
    try {
      return await ready();
    } catch (error) {
      if (Date.now() > end) throw new Error(`${what}: ${error.message}`);
    }
    await sleep(100);
  }
}

// A function and its arguments as one expression, run in the page as the
// driver's own script: the page's Content-Security-Policy forbids eval.
function expression(fn, args) {
  return `(${fn})(...${JSON.stringify(args)})`;
}

// Chromium and Firefox.
async function launchPuppeteer(engine, profile) {
  const options = engine === "chromium"
    ? {
        executablePath: process.env.KARUTO_CHROMIUM || "/usr/bin/chromium",
        args: ["--no-sandbox", "--lang=ja-JP", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               `--user-data-dir=${profile}`],
      }
    : {
        browser: "firefox",
        executablePath: process.env.KARUTO_FIREFOX || "/usr/bin/firefox-esr",
        extraPrefsFirefox: { "intl.accept_languages": "ja-JP", "browser.download.dir": profile },
      };
  const browser = await puppeteer.launch({ headless: true, protocolTimeout: 120000, timeout: 60000, ...options });
  return {
    engine,
    async open(url, width, height) {
      const page = await browser.newPage();
      await page.setViewport({ width, height });
      await page.goto(url, { waitUntil: "load", timeout: 30000 });
      return {
        puppeteerPage: page,
        evaluate: (fn, ...args) => page.evaluate(expression(fn, args)),
        chooseFile: async (file) => (await page.$("#input-file")).uploadFile(file),
        click: (selector) => page.click(selector),
        select: (selector, value) => page.select(selector, value),
        resize: (width, height) => page.setViewport({ width, height }),
        screenshot: (file) => page.screenshot({ path: file, fullPage: true }),
        close: () => page.close(),
      };
    },
    close: () => browser.close(),
  };
}

// Xvfb on a display of its own choosing, for the one engine that needs one.
async function startDisplay() {
  const xvfb = spawn("Xvfb", ["-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                     { stdio: ["ignore", "ignore", "ignore", "pipe"] });
  const display = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error("Xvfb did not start in time")), 30000);
    let text = "";
    xvfb.stdio[3].on("data", (chunk) => {
      text += chunk;
      if (text.includes("\n")) {
        clearTimeout(timer);
        resolve(`:${text.trim()}`);
      }
    });
    xvfb.once("exit", () => reject(new Error("Xvfb ended")));
  });
  return { display, stop: () => xvfb.kill() };
}

const miniBrowser = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser";

async function launchWebKit() {
  const display = await startDisplay();
  const port = await freePort();
  const driver = spawn(process.env.KARUTO_WEBKIT_DRIVER || "WebKitWebDriver", [`--port=${port}`],
                       { stdio: "ignore", env: { ...process.env, DISPLAY: display.display } });
  const base = `http://127.0.0.1:${port}`;
  async function call(method, address, body, limitMs = 120000) {
    const response = await fetch(base + address, {
      method, headers: { "Content-Type": "application/json" },
      body: body === undefined ? undefined : JSON.stringify(body), signal: AbortSignal.timeout(limitMs),
    });
    const answer = await response.json();
    if (!response.ok) throw new Error(`WebDriver ${method} ${address}: ${JSON.stringify(answer.value)}`);
    return answer.value;
  }
  try {
    await poll(async () => (await call("GET", "/status", undefined, 2000)).ready || Promise.reject(new Error("not ready")),
               30000, "WebKitWebDriver did not start");
  } catch (error) {
    driver.kill();
    display.stop();
    throw error;
  }
  const sessions = new Set();
  return {
    engine: "webkit",
    // One window per session: MiniBrowser shows one page at a time.
    async open(url, width, height) {
      const session = await call("POST", "/session", { capabilities: { alwaysMatch: {
        "webkitgtk:browserOptions": { binary: process.env.KARUTO_MINIBROWSER || miniBrowser, args: ["--automation"] },
      } } }, 60000);
      const at = `/session/${session.sessionId}`;
      sessions.add(at);
      await call("POST", `${at}/timeouts`, { script: 120000, pageLoad: 30000 });
      await call("POST", `${at}/window/rect`, { width, height });
      await call("POST", `${at}/url`, { url });
      const element = async (selector) => Object.values(
        await call("POST", `${at}/element`, { using: "css selector", value: selector }))[0];
      return {
        // The function's promise, if it gives one, is waited for.
        evaluate: async (fn, ...args) => {
          const answer = await call("POST", `${at}/execute/async`, {
            script: "const done = arguments[arguments.length - 1];" +
                    `Promise.resolve().then(() => ${expression(fn, args)})` +
                    ".then((value) => done({ value }), (error) => done({ error: String(error) }));",
            args: [],
          });
          if (answer.error) throw new Error(answer.error);
          return answer.value;
        },
        chooseFile: async (file) => call("POST", `${at}/element/${await element("#input-file")}/value`, { text: file }),
        click: async (selector) => call("POST", `${at}/element/${await element(selector)}/click`, {}),
        select: async (selector, value) =>
          call("POST", `${at}/element/${await element(`${selector} option[value="${value}"]`)}/click`, {}),
        resize: (width, height) => call("POST", `${at}/window/rect`, { width, height }),
        screenshot: async (file) => fs.writeFileSync(file, Buffer.from(await call("GET", `${at}/screenshot`), "base64")),
        close: async () => {
          sessions.delete(at);
          await call("DELETE", at, undefined, 30000);
        },
      };
    },
    async close() {
      for (const at of sessions) await call("DELETE", at, undefined, 30000).catch(() => {});
      driver.kill();
      display.stop();
    },
  };
}

async function launch(engine, profile = fs.mkdtempSync(path.join(os.tmpdir(), `karuto-${engine}-`))) {
  if (engine === "webkit") return launchWebKit();
  return launchPuppeteer(engine, profile);
}

// Polls a condition in the page until it holds; bounded.
async function waitIn(page, fn, args, limitMs, what) {
  const end = Date.now() + limitMs;
  for (;;) {
    const value = await page.evaluate(fn, ...args);
    if (value) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await sleep(50);
  }
}

// What the page saves, recorded instead of downloaded: the engines without
// DevTools have no download folder to read. Each save is { name, blob }.
function recordSaves() {
  const blobs = new Map();
  const createObjectURL = URL.createObjectURL;
  URL.createObjectURL = (blob) => {
    const url = createObjectURL.call(URL, blob);
    blobs.set(url, blob);
    return url;
  };
  window.savedFiles = [];
  HTMLAnchorElement.prototype.click = function () {
    window.savedFiles.push({ name: this.download, blob: blobs.get(this.href) });
  };
}

// Sharing files as the iPhone's Safari offers it, each file shared recorded
// as a save. `can`: what canShare answers, null for a browser without it;
// `failure`: the name of the error that share rejects with.
function stubShare(can, failure = null) {
  window.savedFiles ??= [];
  const define = (name, value) => Object.defineProperty(navigator, name, { value, configurable: true, writable: true });
  define("canShare", can === null ? undefined : (data) => can && data.files.every((file) => file instanceof File));
  define("share", async (data) => {
    if (failure) throw new DOMException("not shared", failure);
    window.savedFiles.push(...data.files.map((file) => ({ name: file.name, blob: file })));
  });
}

// The n-th file saved: its name, type and bytes.
async function savedFile(page, index) {
  const saved = await waitIn(page, (n) => window.savedFiles.length > n, [index], 10000, "a saved file");
  if (!saved) return null;
  const { name, type, base64 } = await page.evaluate(async (n) => {
    const file = window.savedFiles[n];
    const bytes = new Uint8Array(await file.blob.arrayBuffer());
    let text = "";
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return { name: file.name, type: file.blob.type, base64: btoa(text) };
  }, index);
  return { name, type, bytes: Buffer.from(base64, "base64") };
}

let axeSource;

// axe-core's violations of any impact in the page as it is now, each as
// "rule (impact): elements". axe-core goes in as the driver's own script,
// which the page's Content-Security-Policy does not govern.
async function audit(page) {
  if (!await page.evaluate(() => typeof window.axe === "object")) {
    axeSource ??= fs.readFileSync(require.resolve("axe-core/axe.min.js"), "utf8");
    await page.evaluate(`() => { ${axeSource}\n}`);
  }
  return page.evaluate(async () => (await window.axe.run(document, { resultTypes: ["violations"] })).violations.map(
    (rule) => `${rule.id} (${rule.impact}): ${rule.nodes.map((node) => node.target.join(" ")).join(", ")}`));
}

module.exports = { audit, engines, expression, freePort, launch, poll, recordSaves, savedFile, sleep, stubShare,
                   waitIn };
