#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
# GUI tests start their own Xvfb, so no display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${HALDENMOOR_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
cd - >/dev/null && bash scripts/fuzz-check.sh
bash scripts/sanitize-check.sh || exit 1
bash scripts/windows-check.sh || exit 1
