// The WebAssembly module under Node: for the example address book and every
// golden input of tests/data it must give what the native command line gives,
// run in this same test on the same file: output bytes, counts, message lines
// and report. Then the outcomes that only the browser's entry point has.
//
//   KARUTO_SITE=build/web/site KARUTO_SMALL_HEAP=build/web/small-heap \
//   KARUTO_CLI=build/native/karuto \
//     node --no-experimental-fetch --test web/tests/module_test.js
"use strict";

const assert = require("node:assert/strict");
const { execFileSync } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const test = require("node:test");
const { convertWithModule, loadModule, pageReport, smallHeap } = require("./karuto_module.js");

const source = path.resolve(__dirname, "..", "..");
const cli = path.resolve(process.env.KARUTO_CLI || path.join(source, "build/native/karuto"));

function goldenInputs() {
  const data = path.join(source, "tests", "data");
  const inputs = fs.readdirSync(data)
    // Not the expected outputs beside them, of either form.
    .filter((name) => name.endsWith(".vcf") && !/\.(expected|icloud)\.vcf$/.test(name))
    .map((name) => path.join(data, name));
  return [path.join(source, "examples", "contacts.vcf"), ...inputs];
}

// The command line's lines before its report, its report, and its output file.
function convertWithCommandLine(input, options = []) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), "karuto-web-"));
  try {
    const output = path.join(folder, "out.vcf");
    const stdout = execFileSync(cli, ["--yes", "--report", ...options, "-o", output, input],
                                { encoding: "utf8", timeout: 60000 });
    const lines = stdout.split("\n");
    const converted = lines.findIndex((line) => line.startsWith("入力データ：") ||
                                                line === "出力対象データが1件もありませんでした。");
    return {
      lines: lines.slice(0, converted + 1),
      report: pageReport(lines.slice(converted + 1).join("\n")),
      output: fs.readFileSync(output),
    };
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

test("every golden input converts as the command line converts it, in each output form", async () => {
  const module = await loadModule();
  for (const [form, options] of [[0, []], [1, ["--format=icloud"]]]) {
    for (const input of goldenInputs()) {
      const expected = convertWithCommandLine(input, options);
      const bytes = fs.readFileSync(input);
      // Warm-up passes on the book's start and on all of it, as the page
      // runs them while the user goes on to 変換開始, leave the book as it was.
      const warmUp = [bytes.length >> 1, bytes.length];
      const result = convertWithModule(module, path.basename(input), bytes, { form, warmUp });
      assert.equal(result.result, 0, input);
      assert.deepEqual(result.messages.map((m) => m.kind), expected.lines.map(() => "line"), input);
      assert.deepEqual(result.messages.map((m) => m.text), expected.lines, input);
      // The report file has Windows line ends; the page shows its first lines.
      assert.equal(result.report, expected.report.replace(/\n/g, "\r\n"), input);
      assert.equal(result.reportStart, expected.report, input);
      assert.equal(result.reportLines, expected.report.split("\n").length - 1, input);
      assert.ok(Buffer.from(result.output).equals(expected.output), `${input}, form ${form}: output differs`);
      const summary = expected.lines.at(-1).match(/^入力データ：(\d+)件、　出力データ：(\d+)件$/);
      assert.deepEqual([result.cardsRead, result.cardsWritten].map(String), summary.slice(1), input);
    }
  }
});

test("every choice of pictograms converts as the command line's --emoji", async () => {
  const module = await loadModule();
  const input = path.join(source, "tests", "data", "pictograms.vcf");
  ["auto", "none", "docomo", "au", "softbank"].forEach((choice, number) => {
    const expected = convertWithCommandLine(input, [`--emoji=${choice}`]);
    const result = convertWithModule(module, "pictograms.vcf", fs.readFileSync(input), { emoji: number });
    assert.equal(result.report, expected.report.replace(/\n/g, "\r\n"), choice);
    assert.ok(Buffer.from(result.output).equals(expected.output), `${choice}: output differs`);
  });
  // Codes that docomo and SoftBank share: the report tells the page's users
  // how to choose the carrier in the page, never with an option.
  const shared = path.join(os.tmpdir(), `karuto-shared-${process.pid}.vcf`);
  fs.writeFileSync(shared, Buffer.from("BEGIN:VCARD\r\nN:\xF9\x41;;;;\r\nEND:VCARD\r\n", "latin1"));
  try {
    // The report names its book: the same name as the command line's.
    const result = convertWithModule(module, path.basename(shared), fs.readFileSync(shared));
    assert.equal(result.report, convertWithCommandLine(shared).report.replace(/\n/g, "\r\n"));
    assert.match(result.report, /変換し直すと絵文字になります（【携帯電話の絵文字】で会社を選べます）。/);
    assert.doesNotMatch(result.report, /--/);
  } finally {
    fs.rmSync(shared);
  }
});

test("outcomes of the browser's entry point keep the job's messages", async () => {
  const module = await loadModule();
  const example = fs.readFileSync(path.join(source, "examples", "contacts.vcf"));
  const failed = "変換処理に失敗しました。";
  const cases = [
    { name: "contacts.txt", bytes: example, result: -1,
      messages: [["error", "変換元ファイルはvCardファイルではありません。"]] },
    { name: "", bytes: example, result: -1,
      messages: [["error", "変換元ファイル名が入力（選択）されていません。"]] },
    { name: "連絡先.VCF", bytes: example, result: 0,
      messages: [["line", "変換処理中..."], ["line", "変換が完了しました。"],
                 ["line", "入力データ：6件、　出力データ：5件"]] },
    { name: "be.vcf", bytes: Buffer.from([0xFE, 0xFF, 0, 0x42]), result: -1,
      messages: [["line", "変換処理中..."], ["error", "変換元ファイルの文字コードに対応していません。"],
                 ["line", failed]] },
    { name: "empty.vcf", bytes: Buffer.alloc(0), result: 0,
      messages: [["line", "変換処理中..."], ["line", "出力対象データが1件もありませんでした。"]] },
  ];
  for (const c of cases) {
    const result = convertWithModule(module, c.name, c.bytes);
    assert.equal(result.result, c.result, c.name);
    assert.deepEqual(result.messages.map((m) => [m.kind, m.text]), c.messages, c.name);
    assert.equal(result.converted, c.result === 0 && result.cardsWritten > 0, c.name);
  }
});

test("memory that runs out while the report is made leaves the output and says so", async () => {
  const module = await loadModule(smallHeap);
  // One card written, and a report longer than the heap has room for.
  const input = path.join(os.tmpdir(), `karuto-refused-${process.pid}.vcf`);
  fs.writeFileSync(input, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Kept\r\nEND:VCARD\r\n" +
                   "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:x\r\nEND:VCARD\r\n".repeat(10000));
  const bytes = fs.readFileSync(input);
  let expected;
  try {
    expected = convertWithCommandLine(input);
  } finally {
    fs.rmSync(input);
  }
  const taken = [];
  const result = convertWithModule(module, "rejected.vcf", bytes, { onReportBlock: () => {
    for (const size of [1 << 20, 1 << 14, 256, 8]) {
      for (let pointer; (pointer = module._malloc(size)) !== 0;) taken.push(pointer);
    }
  } });
  assert.ok(taken.length > 0);
  for (const pointer of taken) module._free(pointer);
  assert.equal(result.result, 0);
  assert.deepEqual(result.messages.map((m) => [m.kind, m.text]), [
    ...expected.lines.map((line) => ["line", line]),
    ["error", "メモリが足りないため、レポートを最後まで作れませんでした。"]]);
  assert.deepEqual([result.converted, result.report, result.reportLines], [true, "", 0]);
  assert.ok(Buffer.from(result.output).equals(expected.output), "the output differs");
});
