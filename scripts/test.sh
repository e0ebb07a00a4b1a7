#!/usr/bin/env bash
# Builds everything and runs every test: the native build, the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh
ensure_packages ca-certificates cmake ninja-build g++ make libc6-dev \
    googletest libgtest-dev libgmock-dev libbenchmark-dev

jobs=$(nproc)
for preset in native sanitize; do
    echo "== $preset build and tests"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs" --timeout 900
done
echo "All tests passed."
