#!/usr/bin/env bash
# Builds the fuzzers of the file readers with clang, in a build folder of their own, and runs
# each one for a short time on the seed corpora (ctest label "fuzz"). The regular build may
# use any compiler; libFuzzer needs clang.
#
#   HALDENMOOR_FUZZ_BUILD_DIR  build folder (default build-fuzz)
#   HALDENMOOR_FUZZ_SECONDS    seconds per fuzzer (default 60)
#   HALDENMOOR_FUZZ_CHECK=0    skip the check
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${HALDENMOOR_FUZZ_CHECK:-1}" = "0" ]; then
  echo "fuzz-check: skipped (HALDENMOOR_FUZZ_CHECK=0)"
  exit 0
fi
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz-check: clang++ is missing; scripts/install-deps.sh --tests installs it" >&2
  exit 1
fi
build=${HALDENMOOR_FUZZ_BUILD_DIR:-build-fuzz}
seconds=${HALDENMOOR_FUZZ_SECONDS:-60}
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALDENMOOR_FUZZ=ON \
  -DHALDENMOOR_BENCH=OFF -DHALDENMOOR_FUZZ_SECONDS="$seconds"
if ! grep -q "^HALDENMOOR_FUZZ:BOOL=ON$" "$build/CMakeCache.txt"; then
  echo "fuzz-check: $build is not a clang build with HALDENMOOR_FUZZ=ON" >&2
  exit 1
fi
# The sample tools make the seeds; make_points exists only in builds with Meshweaver.
targets=(fuzzers make_matches)
if grep -q '^HALDENMOOR_MESHWEAVER:BOOL=ON$' "$build/CMakeCache.txt"; then
  targets+=(make_points)
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
ctest --test-dir "$build" -L fuzz --output-on-failure
