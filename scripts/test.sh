#!/usr/bin/env bash
# Builds everything and runs every test: the native build, the sanitizer
# build, the fuzz targets (briefly), the web page (WebAssembly, Node, and
# Chromium, Firefox and WebKit) and the Windows cross build under Wine, with
# the window program driven on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh
ensure_packages ca-certificates cmake ninja-build g++ make libc6-dev python3 \
    googletest libgtest-dev libgmock-dev libbenchmark-dev \
    clang libclang-rt-14-dev \
    g++-mingw-w64-x86-64-posix wine wine64 fonts-wine xvfb xauth fonts-ipafont \
    emscripten chromium firefox-esr webkit2gtk-driver unicode-data mecab-ipadic python3-vobject

jobs=$(nproc)
for preset in native sanitize fuzz; do
    echo "== $preset build and tests"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs" --timeout 900
done

echo "== web page: the converter in WebAssembly, tests under Node and in Chromium, Firefox and WebKit"
# Node.js runs the module's tests; a machine that has none gets Debian's.
command -v node >/dev/null && command -v npm >/dev/null || ensure_packages nodejs npm
# The browser tests drive Debian's Chromium and Firefox through puppeteer-core
# (npm), and WebKit through its WebDriver on a private Xvfb display; axe-core
# (npm) audits the page in each.
[ -d web/tests/node_modules/puppeteer-core ] && [ -d web/tests/node_modules/axe-core ] ||
    timeout 600 npm ci --prefix web/tests --no-audit --no-fund
export NODE_PATH=/usr/share/nodejs  # Debian's emscripten finds its JavaScript tools there
cmake --preset web
cmake --build --preset web -j "$jobs"
ctest --preset web --timeout 900

echo "== generated files are up to date"
python3 tools/gen_cp932_tables.py --check
python3 tools/gen_emoji_tables.py --check
python3 tools/make_example.py --check
python3 tools/make_icons.py --check

echo "== windows cross build, tests under Wine"
cmake --preset windows
cmake --build --preset windows -j "$jobs"
export KARUTO_WINEPREFIX="$PWD/build/wine-prefix"
rm -rf "$KARUTO_WINEPREFIX" "$KARUTO_WINEPREFIX.lock"
trap 'WINEPREFIX="$KARUTO_WINEPREFIX" timeout 60 wineserver -k 2>/dev/null || true' EXIT
bash -c '. scripts/wine-prefix.sh'
ctest --preset windows -j "$jobs" --timeout 900
echo "All tests passed."
