// The page: picks the file, hands its bytes to the worker and shows what the
// converter reports. Nothing is converted here and nothing leaves the device.
"use strict";

(() => {
  const fileInput = document.getElementById("input-file");
  const dropZone = document.getElementById("drop-zone");
  const chosenName = document.getElementById("chosen-name");
  const startButton = document.getElementById("start");
  const emojiChoice = document.getElementById("emoji");
  const formChoice = document.getElementById("form");
  const busy = document.getElementById("busy");
  const messages = document.getElementById("messages");
  const reportBox = document.getElementById("report-box");
  const report = document.getElementById("report");
  const reportMore = document.getElementById("report-more");
  const saveReportButton = document.getElementById("save-report");
  const download = document.getElementById("download");
  const shareButton = document.getElementById("share");

  const cannotLoad = "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。";
  const cannotRead = "変換元ファイルが読み込めません。\n" +
    "ファイルが移動・削除・変更されていないか確かめ、もう一度選んでから【変換開始】を押して下さい。";
  const needsServer = "このページ（index.html）は、パソコンに保存したファイルを直接開いても変換できません。" +
    "Web サーバーに置いて開くか、1つのファイルで動く karuto.html を開いて下さい。";
  // The output file's name for each choice of the output form.
  const outputNames = { iphone: "PC→iPhone.vcf", icloud: "PC→iCloud.vcf" };

  // karuto.html carries the worker's script in the page: a page opened from
  // disk may start a worker only from a blob: URL. index.html opened from
  // disk can start none.
  function startWorker() {
    const inline = document.getElementById("worker-source");
    if (inline) {
      return new Worker(URL.createObjectURL(new Blob([inline.textContent], { type: "text/javascript" })));
    }
    return location.protocol === "file:" ? null : new Worker("worker.js");
  }

  const worker = startWorker();
  let chosenFile = null;
  // Each reading's number, by which the page and the worker name the file
  // being read.
  let readingId = 0;
  // The reading of the chosen file for its next conversion, begun as it was
  // chosen (see startReading).
  let reading = null;
  // The emoji choice and the output form of the conversion under way.
  let emoji = null;
  let form = null;
  // The files to save, as { blob, name, url }, the output with `shared`, the
  // File to share where the browser can share it; the worker made the blobs.
  let output = null;
  let reportFile = null;

  function choose(file) {
    chosenFile = file || null;
    chosenName.textContent = chosenFile ? chosenFile.name : "ファイルが選択されていません";
    startButton.disabled = !chosenFile;
    // The result of the file chosen before is not this file's.
    clearResult();
    reading = chosenFile && worker ? startReading(chosenFile) : null;
  }

  // A reading of `file`, begun at once: { id, file, print (the fingerprint
  // of the bytes read, if read ahead of the press), read (a promise of the message of a failure, or of
  // null once the worker has all the bytes), pressed (for the conversion
  // that 変換開始 asked for) }. Begun as the file is chosen, it goes on
  // while the user goes on to the button.
  function startReading(file, pressed = false) {
    const next = { id: ++readingId, file, print: pressed ? null : fingerprint(), pressed };
    worker.postMessage({ choose: { id: next.id, name: file.name, size: file.size, pressed } });
    next.read = readWhole(next);
    return next;
  }

  // Reads the whole file and hands each piece to the worker as the browser
  // gives it, moved, not copied, straight into the converter's memory (the
  // book is never held twice), while the reading is the page's current
  // one. Resolves to the message of a failure, or null.
  async function readWhole(current) {
    const { id, file } = current;
    let size = 0;
    try {
      const whole = await eachPiece(file, (value) => {
        if (current !== reading) return false;
        // Firefox reads on to the end of a file that has grown since it was chosen.
        if (size + value.length > file.size) throw new Error("the file has grown");
        if (current.print) current.print.add(value);
        const offset = size;
        size += value.length;
        const bytes = value.byteLength === value.buffer.byteLength ? value.buffer : value.slice().buffer;
        worker.postMessage({ piece: { id, offset, bytes } }, [bytes]);
        return true;
      });
      if (!whole || current !== reading) return null;
    } catch (error) {
      return error instanceof RangeError ? cannotLoad : cannotRead;
    }
    return size === file.size ? null : cannotRead;
  }

  // Whether the file, read again now, holds the bytes read before, whose
  // fingerprint is `print`: null when it does, `changed` when it does not,
  // or the message of a failure. Chromium and WebKit fail to read a file
  // changed since it was chosen; Firefox reads its new bytes.
  const changed = "changed";
  async function check(file, print) {
    const now = fingerprint();
    let size = 0;
    try {
      await eachPiece(file, (value) => {
        now.add(value);
        size += value.length;
        return true;
      });
    } catch (error) {
      return error instanceof RangeError ? cannotLoad : cannotRead;
    }
    return size === file.size && now.value() === print.value() ? null : changed;
  }

  // Reads `file` to its end, handing each piece the browser gives to `take`,
  // with a pause whenever the reading has held the page's thread a while:
  // true once read whole, false when `take` says to stop.
  async function eachPiece(file, take) {
    const pause = pauses();
    const reader = file.stream().getReader();
    for (;; await pause()) {
      const { done, value } = await reader.read();
      if (done) return true;
      if (!take(value)) {
        reader.cancel().catch(() => {});
        return false;
      }
    }
  }

  // Pieces already read arrive without a task of their own: a reading
  // pauses for one whenever it has held the page's thread a few
  // milliseconds, so that the page answers meanwhile. (A message to itself
  // is a task at once, where a timer may wait 4 ms.)
  function pauses() {
    let since = performance.now();
    return async () => {
      if (performance.now() - since < 8) return;
      await new Promise((resolve) => {
        const channel = new MessageChannel();
        channel.port1.onmessage = resolve;
        channel.port2.postMessage(null);
      });
      since = performance.now();
    };
  }

  // Two 32-bit hashes of the bytes' 32-bit words (little-endian, as every
  // engine's memory is), in the order read, however the bytes come in
  // pieces: a byte changed anywhere changes them.
  function fingerprint() {
    let a = 0x811C9DC5;
    let b = 0x2545F491;
    // The bytes of a word not yet whole, and how many.
    let carry = 0;
    let carried = 0;
    const mixed = (x, y, word) => {
      x = Math.imul(x ^ word, 0x01000193);
      y = Math.imul(y + word, 0x9E3779B1);
      return [(x << 13) | (x >>> 19), y ^ (y >>> 16)];
    };
    return {
      add(bytes) {
        let i = 0;
        for (; carried !== 0 && carried < 4 && i < bytes.length; ++i) carry |= bytes[i] << (8 * carried++);
        if (carried === 4) {
          [a, b] = mixed(a, b, carry);
          carry = carried = 0;
        }
        if (carried !== 0) return;
        let x = a;
        let y = b;
        const whole = (bytes.length - i) >> 2;
        const words = (bytes.byteOffset + i) % 4 === 0 ? new Uint32Array(bytes.buffer, bytes.byteOffset + i, whole) : null;
        for (let k = 0; k < whole; ++k, i += 4) {
          const word = words ? words[k] : bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) | (bytes[i + 3] << 24);
          x = Math.imul(x ^ word, 0x01000193);
          x = (x << 13) | (x >>> 19);
          y = Math.imul(y + word, 0x9E3779B1);
          y ^= y >>> 16;
        }
        a = x;
        b = y;
        for (; i < bytes.length; ++i) carry |= bytes[i] << (8 * carried++);
      },
      value() {
        const [x, y] = mixed(a, b, carry | (carried << 24));
        return `${x >>> 0}.${y >>> 0}`;
      },
    };
  }

  // One line of the message list; the newest is kept in view.
  function addMessage(text, isError) {
    const item = document.createElement("li");
    item.textContent = text.replace(/\r\n/g, "\n");
    if (isError) item.className = "error";
    messages.appendChild(item);
    messages.scrollTop = messages.scrollHeight;
  }

  function setBusy(on) {
    busy.hidden = !on;
    startButton.disabled = on || !chosenFile;
    fileInput.disabled = on;
    emojiChoice.disabled = on;
    formChoice.disabled = on;
    document.body.setAttribute("aria-busy", on ? "true" : "false");
  }

  // A real button (Space and Enter work), which saves through a link of its
  // own. The blob's address is made at the first press: made as the result
  // arrives, it would hold the page until the browser has all of a big
  // blob's bytes.
  function save(file) {
    if (!file) return;
    if (!file.url) file.url = URL.createObjectURL(file.blob);
    const link = document.createElement("a");
    link.href = file.url;
    link.download = file.name;
    link.click();
  }

  function forget(file) {
    if (file && file.url) URL.revokeObjectURL(file.url);
    return null;
  }

  function clearResult() {
    output = forget(output);
    download.hidden = true;
    shareButton.hidden = true;
    reportFile = forget(reportFile);
    report.textContent = "";
    reportMore.textContent = "";
    reportBox.hidden = true;
  }

  // 12,345 as Japanese writes it (toLocaleString's first call loads the
  // locale's data, which takes a moment just as the result is shown).
  function grouped(number) {
    return String(number).replace(/\B(?=(\d{3})+$)/g, ",");
  }

  // The report's first lines; the whole report, however long, is the file
  // the button saves.
  function showReport(result) {
    if (!result.report) return;
    reportFile = { blob: result.report, name: "変換レポート.txt" };
    report.textContent = result.reportStart;
    const more = result.reportLines - result.reportStartLines;
    reportMore.textContent = more > 0
      ? `ほかに ${grouped(more)} 行あります（全部で ${grouped(result.reportLines)} 行）。` +
        "すべては【レポートを保存】で保存したファイルで見られます。"
      : "";
    reportBox.hidden = false;
  }

  function showResult(result) {
    // The converter's memory, for the page's own speed and memory test.
    document.body.dataset.heapBytes = String(result.heapBytes);
    for (const message of result.messages) addMessage(message.text, message.kind === "error");
    showReport(result);
    if (result.output) {
      const name = outputNames[form];
      output = { blob: result.output, name, shared: shareable(result.output, name) };
      download.textContent = `${name} をダウンロード`;
      shareButton.setAttribute("aria-label", `${name} を共有`);
    }
    download.hidden = !output;
    shareButton.hidden = !output || !output.shared;
  }

  // The output as a File to share, where the browser can share it (the
  // iPhone's Safari hands it to Mail, Files or Contacts); null elsewhere.
  function shareable(blob, name) {
    if (typeof navigator.canShare !== "function" || typeof navigator.share !== "function") return null;
    const file = new File([blob], name, { type: "text/vcard" });
    try {
      return navigator.canShare({ files: [file] }) ? file : null;
    } catch (error) {
      return null;
    }
  }

  async function share() {
    if (!output || !output.shared) return;
    const { name, shared } = output;
    try {
      await navigator.share({ files: [shared] });
    } catch (error) {
      // The user closed the share sheet: nothing went wrong.
      if (error && error.name === "AbortError") return;
      addMessage(`共有できませんでした。【${name} をダウンロード】で保存して下さい。`, true);
    }
  }

  // After a conversion the keyboard goes on where the user goes next.
  function focusAfterConversion() {
    (download.hidden ? startButton : download).focus();
  }

  function start() {
    if (!chosenFile) return;
    if (!worker) {
      addMessage(needsServer, true);
      return;
    }
    clearResult();
    setBusy(true);
    emoji = emojiChoice.value;
    form = formChoice.value;
    convertChosen();
  }

  // The bytes the file holds as 変換開始 is pressed are converted. Those
  // read ahead, before the press or from a reading begun before it, are
  // converted as soon as the worker has them all, and the file is read
  // again meanwhile: the result is offered if they are still the file's,
  // and otherwise the file is read and converted again.
  async function convertChosen() {
    const ahead = reading && !reading.pressed ? reading : null;
    // A file converted before is read again.
    const current = ahead || startReading(chosenFile, true);
    reading = current;
    current.pressed = true;
    current.steps = stepsSince(performance.now());
    // No more warm-up on the bytes read ahead.
    if (ahead) worker.postMessage({ pressed: current.id });
    const failure = await current.read;
    if (current !== reading) return;
    if (failure) {
      showFailure(failure);
      return;
    }
    current.steps.step("read");
    current.checked = ahead && check(current.file, current.print).finally(() => current.steps.step("checked"));
    worker.postMessage({ convert: { id: current.id, emoji, form } });
  }

  function showFailure(text) {
    addMessage(text, true);
    setBusy(false);
    focusAfterConversion();
  }

  // Where the time goes after the press, for the page's bench: when each
  // step ended, in milliseconds since the press.
  function stepsSince(pressed) {
    const steps = [];
    return {
      step: (name) => steps.push(`${name} ${(performance.now() - pressed).toFixed(0)}`),
      text: () => steps.join(", "),
    };
  }

  async function finish(event) {
    const current = reading;
    current.steps.step("answered");
    const checked = await current.checked;
    if (current !== reading) return;
    if (checked === changed) {
      reading = null;
      convertChosen();
      return;
    }
    if (checked) {
      showFailure(checked);
      return;
    }
    if (event.data.failed) {
      showFailure(event.data.cannotLoad ? cannotLoad : "変換処理に失敗しました。");
      return;
    }
    showResult(event.data);
    setBusy(false);
    focusAfterConversion();
    current.steps.step("shown");
    document.body.dataset.steps = `page: ${current.steps.text()}; worker: ${event.data.steps}`;
  }

  if (worker) {
    worker.onmessage = finish;
    worker.onerror = (event) => {
      event.preventDefault();
      if (!busy.hidden) showFailure("変換処理に失敗しました。");
    };
  } else {
    addMessage(needsServer, true);
  }

  // Of several files dropped the first is taken, and the page says so.
  function chooseDropped(files) {
    if (fileInput.disabled || files.length === 0) return;
    choose(files[0]);
    if (files.length > 1) {
      chosenName.textContent += `（ドロップされた ${files.length} 個のファイルのうち最初のものを選びました）`;
    }
  }

  fileInput.addEventListener("change", () => choose(fileInput.files[0]));
  // The result was made with the choice before: it is not this choice's.
  // The file is read again for the conversion that is likely to follow.
  for (const choice of [emojiChoice, formChoice]) {
    choice.addEventListener("change", () => {
      clearResult();
      if (chosenFile && worker && (!reading || reading.pressed)) reading = startReading(chosenFile);
    });
  }
  startButton.addEventListener("click", start);
  download.addEventListener("click", () => save(output));
  shareButton.addEventListener("click", share);
  saveReportButton.addEventListener("click", () => save(reportFile));
  // A file dropped anywhere on the page is taken, never opened or saved by
  // the browser in the page's place.
  for (const name of ["dragenter", "dragover"]) {
    document.addEventListener(name, (event) => {
      event.preventDefault();
      dropZone.classList.add("over");
    });
  }
  document.addEventListener("dragleave", (event) => {
    if (event.relatedTarget === null) dropZone.classList.remove("over");
  });
  document.addEventListener("drop", (event) => {
    event.preventDefault();
    dropZone.classList.remove("over");
    chooseDropped(event.dataTransfer.files);
  });
  choose(fileInput.files[0]);
})();
