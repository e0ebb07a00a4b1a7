#!/usr/bin/env bash
# Converts the bundled sample address book and prints what was left out.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh
ensure_packages cmake ninja-build g++ libc6-dev

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DKARUTO_BUILD_TESTS=OFF -DKARUTO_BUILD_BENCH=OFF >/dev/null
cmake --build build/release --target karuto >/dev/null

work=build/example
rm -rf "$work" && mkdir -p "$work"
cp examples/contacts.vcf "$work/"
status=0
build/release/karuto --yes --report "$work/contacts.vcf" || status=$?
echo
echo "Output: $work/PC→iPhone.vcf"
if [ -f "$work/PC→iPhone.vcf" ]; then
    echo "---- (shown as UTF-8)"
    iconv -f UTF-16 -t UTF-8 "$work/PC→iPhone.vcf" | tr -d '\r'
fi
exit "$status"
