// The page: picks the file, hands its bytes to the worker and shows what the
// converter reports. Nothing is converted here and nothing leaves the device.
"use strict";

(() => {
  const fileInput = document.getElementById("input-file");
  const dropZone = document.getElementById("drop-zone");
  const chosenName = document.getElementById("chosen-name");
  const startButton = document.getElementById("start");
  const emojiChoice = document.getElementById("emoji");
  const busy = document.getElementById("busy");
  const messages = document.getElementById("messages");
  const reportBox = document.getElementById("report-box");
  const report = document.getElementById("report");
  const download = document.getElementById("download");

  const cannotLoad = "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。";

  const worker = new Worker("worker.js");
  let chosenFile = null;
  let downloadUrl = null;

  function choose(file) {
    chosenFile = file || null;
    chosenName.textContent = chosenFile ? chosenFile.name : "ファイルが選択されていません";
    startButton.disabled = !chosenFile;
    // The result of the file chosen before is not this file's.
    clearResult();
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
    document.body.setAttribute("aria-busy", on ? "true" : "false");
  }

  function offerDownload(blocks) {
    if (downloadUrl) URL.revokeObjectURL(downloadUrl);
    downloadUrl = null;
    download.hidden = true;
    if (!blocks) return;
    downloadUrl = URL.createObjectURL(new Blob(blocks, { type: "text/vcard" }));
    download.hidden = false;
  }

  // A real button (Space and Enter work), which saves through a link of its own.
  function saveDownload() {
    if (!downloadUrl) return;
    const link = document.createElement("a");
    link.href = downloadUrl;
    link.download = "PC→iPhone.vcf";
    link.click();
  }

  function clearResult() {
    offerDownload(null);
    report.textContent = "";
    reportBox.hidden = true;
  }

  function showResult(result) {
    // The converter's memory, for the page's own speed and memory test.
    document.body.dataset.heapBytes = String(result.heapBytes);
    for (const message of result.messages) addMessage(message.text, message.kind === "error");
    report.textContent = result.report;
    reportBox.hidden = result.report === "";
    offerDownload(result.converted ? result.output : null);
  }

  // After a conversion the keyboard goes on where the user goes next.
  function focusAfterConversion() {
    (download.hidden ? startButton : download).focus();
  }

  async function start() {
    if (!chosenFile) return;
    clearResult();
    setBusy(true);
    try {
      const bytes = await chosenFile.arrayBuffer();
      worker.postMessage({ name: chosenFile.name, bytes, emoji: emojiChoice.value }, [bytes]);
    } catch (error) {
      addMessage(cannotLoad, true);
      setBusy(false);
    }
  }

  function showFailure(outOfMemory) {
    addMessage(outOfMemory ? cannotLoad : "変換処理に失敗しました。", true);
    setBusy(false);
    focusAfterConversion();
  }

  worker.onmessage = (event) => {
    if (event.data.failed) {
      showFailure(event.data.outOfMemory);
      return;
    }
    showResult(event.data);
    setBusy(false);
    focusAfterConversion();
  };
  worker.onerror = (event) => {
    event.preventDefault();
    if (!busy.hidden) showFailure(false);
  };

  // Of several files dropped the first is taken, and the page says so.
  function chooseDropped(files) {
    if (fileInput.disabled || files.length === 0) return;
    choose(files[0]);
    if (files.length > 1) {
      chosenName.textContent += `（ドロップされた ${files.length} 個のファイルのうち最初のものを選びました）`;
    }
  }

  fileInput.addEventListener("change", () => choose(fileInput.files[0]));
  startButton.addEventListener("click", start);
  download.addEventListener("click", saveDownload);
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
