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
  // Each choice's number, by which the page names the file to convert.
  let choiceId = 0;
  // The reading of the chosen file for its next conversion, begun as it was
  // chosen: a promise of the message of a failure, or of null.
  let readingAhead = null;
  // The emoji choice and the output form of the conversion under way.
  let emoji = null;
  let form = null;
  // Whether the page, not the worker, reads the chosen files.
  let pageReads = false;
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
    readingAhead = chosenFile && worker ? readAhead() : null;
  }

  // Has the worker read the chosen file while the user goes on to 変換開始.
  // Where the worker may not read it, the page reads it and hands the bytes
  // over, moved, not copied. `byPage`: the worker could not read it.
  function readAhead(byPage = false) {
    const file = chosenFile;
    const id = ++choiceId;
    if (!byPage && !pageReads) {
      worker.postMessage({ choose: { id, file } });
      return Promise.resolve(null);
    }
    return file.arrayBuffer().then((bytes) => {
      // The worker may read no chosen file: the page reads them from now on.
      if (byPage) pageReads = true;
      if (id === choiceId) worker.postMessage({ choose: { id, bytes, name: file.name } }, [bytes]);
      return null;
    }, (error) => (error instanceof RangeError ? cannotLoad : cannotRead));
  }

  // The file's last bytes as they are now, by which the worker knows that it
  // still holds the file as it is; null when the file can no longer be read.
  async function endOf(file) {
    try {
      return await file.slice(Math.max(0, file.size - 4096)).arrayBuffer();
    } catch (error) {
      return null;
    }
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

  // The report's first lines; the whole report, however long, is the file
  // the button saves.
  function showReport(result) {
    if (!result.report) return;
    reportFile = { blob: result.report, name: "変換レポート.txt" };
    report.textContent = result.reportStart;
    const more = result.reportLines - result.reportStartLines;
    reportMore.textContent = more > 0
      ? `ほかに ${more.toLocaleString("ja-JP")} 行あります（全部で ${result.reportLines.toLocaleString("ja-JP")} 行）。` +
        "すべては【レポートを保存】で保存したファイルで見られます。"
      : "";
    reportBox.hidden = false;
  }

  function showResult(result) {
    // The converter's memory, for the page's own speed and memory test.
    document.body.dataset.heapBytes = String(result.heapBytes);
    document.body.dataset.steps = result.steps;
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

  // `byPage`: the worker could not read the file.
  async function convertChosen(byPage = false) {
    const ahead = !byPage && readingAhead;
    readingAhead = null;
    // A file converted before is read again.
    const failure = await (ahead || readAhead(byPage));
    if (failure) {
      showFailure(failure);
      return;
    }
    // A file read ahead may have changed since; one read now has not.
    const end = ahead ? await endOf(chosenFile) : undefined;
    worker.postMessage({ convert: { id: choiceId, emoji, form, end } }, end ? [end] : []);
  }

  function showFailure(text) {
    addMessage(text, true);
    setBusy(false);
    focusAfterConversion();
  }

  function finish(event) {
    if (event.data.unreadableAhead !== undefined) {
      // Unless a conversion has taken the reading over already.
      if (event.data.unreadableAhead === choiceId && readingAhead) readingAhead = readAhead(true);
      return;
    }
    if (event.data.unreadable) {
      convertChosen(true);
      return;
    }
    if (event.data.failed) {
      showFailure(event.data.cannotLoad ? cannotLoad : "変換処理に失敗しました。");
      return;
    }
    showResult(event.data);
    setBusy(false);
    focusAfterConversion();
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
      if (chosenFile && worker && !readingAhead) readingAhead = readAhead();
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
