#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite: the unit, layer
# and end-to-end tests, short fuzz runs, the sanitizer builds and the Windows cross-build with
# its Wine smoke test, and the Debian package installed on a clean Debian root (as root). GUI
# tests start their own Xvfb, so no display is needed.
# Arguments are passed to the first ctest run (e.g. -L gui).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --tests
build=${HALDENMOOR_BUILD_DIR:-build}
# NOTE: the demo configures the same folder without tests and benchmarks; switch them on.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALDENMOOR_TESTS=ON -DHALDENMOOR_BENCH=ON
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
bash scripts/fuzz-check.sh
bash scripts/sanitize-check.sh
bash scripts/windows-check.sh
bash scripts/package-check.sh
