#!/usr/bin/env bash
# Takes the screenshots of the user guide and writes them to docs/ as PNG
# files: the window program under Wine on a virtual display, in a Japanese
# locale, and the web page in headless Chromium at a desktop and a phone width.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh
ensure_packages cmake ninja-build g++-mingw-w64-x86-64-posix wine wine64 fonts-wine xvfb xauth \
    fonts-ipafont imagemagick locales googletest

if ! locale -a | grep -qix 'ja_JP.utf8'; then
    sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
fi

cmake --preset windows >/dev/null
cmake --build --preset windows --target screenshots >/dev/null
export KARUTO_WINEPREFIX="$PWD/build/wine-prefix-ja"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
bash scripts/wine-gui-run.sh build/windows/tests/win32/screenshots.exe "$shots"
mkdir -p docs
for name in start-screen main-window error-box; do
    convert "$shots/$name.bmp" "docs/$name.png"
    echo "docs/$name.png"
done

# The web page, before and after converting the sample address book.
ensure_packages emscripten chromium
[ -d web/tests/node_modules/puppeteer-core ] && [ -d web/tests/node_modules/axe-core ] ||
    timeout 600 npm ci --prefix web/tests --no-audit --no-fund
cmake --preset native >/dev/null
cmake --build --preset native --target karuto make_address_book >/dev/null
NODE_PATH=/usr/share/nodejs cmake --preset web >/dev/null
NODE_PATH=/usr/share/nodejs cmake --build --preset web >/dev/null
KARUTO_SCREENSHOTS="$PWD/docs" KARUTO_SITE="$PWD/build/web/site" KARUTO_CLI="$PWD/build/native/karuto" \
    timeout 600 node --test --test-name-pattern 'example address book' web/tests/page_test.js >/dev/null
ls docs/web-*.png
