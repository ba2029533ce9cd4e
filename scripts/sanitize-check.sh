#!/usr/bin/env bash
# The sanitizer stage of the test run, in build folders of its own:
#   1. AddressSanitizer + UndefinedBehaviorSanitizer (any undefined behaviour is fatal), and
#      LeakSanitizer at the end of every program: the whole CTest suite, GUI tests included.
#   2. ThreadSanitizer: the layer's threading tests (tests/platform) and the view's hand-over
#      driven through both programs (tests/tsan); the first race ends a program with code 66.
# Library-internal reports are suppressed by the files in tests/sanitizers, each entry with
# its reason; nothing of ours is suppressed.
#
#   scripts/sanitize-check.sh [asan|tsan|all]   (default all)
#   HALDENMOOR_ASAN_BUILD_DIR   build folder of stage 1 (default build-asan)
#   HALDENMOOR_TSAN_BUILD_DIR   build folder of stage 2 (default build-tsan)
#   HALDENMOOR_SANITIZE_JOBS    parallel build and test jobs (default: the number of cores)
#   HALDENMOOR_SANITIZE_CHECK=0 skip the stage
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${HALDENMOOR_SANITIZE_CHECK:-1}" = "0" ]; then
  echo "sanitize-check: skipped (HALDENMOOR_SANITIZE_CHECK=0)"
  exit 0
fi
which=${1:-all}
case $which in asan | tsan | all) ;; *) echo "usage: $0 [asan|tsan|all]" >&2; exit 2 ;; esac
jobs=${HALDENMOOR_SANITIZE_JOBS:-$(nproc)}
asan_build=${HALDENMOOR_ASAN_BUILD_DIR:-build-asan}
tsan_build=${HALDENMOOR_TSAN_BUILD_DIR:-build-tsan}
. scripts/sanitizer-env.sh

# Prints how long the step named $1 took since $2 (a value of SECONDS).
took() {
  local s=$((SECONDS - $2))
  printf 'sanitize-check: %s took %dm%02ds\n' "$1" $((s / 60)) $((s % 60))
}

run_asan() {
  local start=$SECONDS
  # NOTE: Eigen assumes malloc is not 16-byte aligned when it sees AddressSanitizer and then
  # frees through its own aligned wrapper; PCL's libraries were built with the assumption on.
  # Keep it on, or our inlined destructors free PCL's vectors at the wrong address.
  cmake -S . -B "$asan_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHALDENMOOR_SANITIZE=address,undefined \
    -DCMAKE_C_FLAGS="-fno-sanitize-recover=undefined" \
    -DCMAKE_CXX_FLAGS="-fno-sanitize-recover=undefined -DEIGEN_MALLOC_ALREADY_ALIGNED=1" \
    -DHALDENMOOR_BENCH=OFF -DHALDENMOOR_FUZZ=OFF
  cmake --build "$asan_build" -j"$jobs"
  took "AddressSanitizer build" "$start"
  start=$SECONDS
  (sanitizer_env_for "$asan_build" && ctest --test-dir "$asan_build" --output-on-failure -j"$jobs" -LE fuzz)
  took "AddressSanitizer tests" "$start"
}

run_tsan() {
  local start=$SECONDS
  cmake -S . -B "$tsan_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALDENMOOR_SANITIZE=thread \
    -DHALDENMOOR_BENCH=OFF -DHALDENMOOR_FUZZ=OFF
  local targets=(platform_logic_test platform_gui_test sample_gl_app twinscope make_matches x11_probe)
  if grep -q '^HALDENMOOR_MESHWEAVER:BOOL=ON$' "$tsan_build/CMakeCache.txt"; then
    targets+=(meshweaver make_points)
  fi
  cmake --build "$tsan_build" -j"$jobs" --target "${targets[@]}"
  took "ThreadSanitizer build" "$start"
  start=$SECONDS
  (sanitizer_env_for "$tsan_build" && ctest --test-dir "$tsan_build" --output-on-failure -j"$jobs" -R '^(platform_|view_handover_)')
  took "ThreadSanitizer tests" "$start"
}

total=$SECONDS
if [ "$which" != tsan ]; then run_asan; fi
if [ "$which" != asan ]; then run_tsan; fi
took "the sanitizer stage" "$total"
