#!/usr/bin/env bash
# Builds the distribution ZIP with cpack and checks what a user unpacks: both
# programs, the Japanese user guide and the web page in one file (karuto.html,
# which converts opened from disk), in one folder, with a file name that
# Windows shows in Japanese (the archive marks its names as UTF-8).
set -euo pipefail
build=${1:?build folder}
cd "$build"
cpack -G ZIP >/dev/null
python3 - karuto-*-win64.zip <<'PY'
import sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
names = sorted(info.filename for info in archive.infolist())
folder = sys.argv[1].rsplit("/", 1)[-1][:-len(".zip")]
expected = sorted(f"{folder}/{name}" for name in ["karuto.exe", "karuto-cli.exe", "karuto.html", "使い方.txt"])
problems = []
if names != expected:
    problems.append(f"entries {names}, expected {expected}")
for info in archive.infolist():
    if not info.filename.isascii() and not info.flag_bits & 0x800:
        problems.append(f"{info.filename} is not marked as UTF-8")
guide = archive.read(f"{folder}/使い方.txt") if f"{folder}/使い方.txt" in names else b""
if not guide.startswith(b"\xef\xbb\xbf") or b"\n" in guide.replace(b"\r\n", b""):
    problems.append("the guide is not UTF-8 with a byte-order mark and CR LF line ends")
major, minor, patch = folder.split("-")[1].split(".")
if not guide.startswith(f"\ufeffKaruto ver {major}.{minor}{patch}\u3000".encode()):
    problems.append("the guide's title does not name the version")
for step in "①②③④⑤":
    if step.encode() not in guide:
        problems.append(f"the guide lacks step {step}")
for program in ["karuto.exe", "karuto-cli.exe"]:
    data = archive.read(f"{folder}/{program}") if f"{folder}/{program}" in names else b""
    if not data.startswith(b"MZ"):
        problems.append(f"{program} is not a Windows program")
page = archive.read(f"{folder}/karuto.html") if f"{folder}/karuto.html" in names else b""
for part in [b"<!DOCTYPE html>", b"default-src 'none'", b'id="worker-source"', b"karutoWasmBase64 = \"AGFzbQ"]:
    if part not in page:
        problems.append(f"karuto.html lacks {part.decode()}: it is not the page in one file")
print("\n".join(problems) or f"{sys.argv[1]}: {len(names)} files")
sys.exit(1 if problems else 0)
PY
