#!/usr/bin/env bash
# Runs chosen tests N times and reports how many runs of each failed, so that a test that
# fails by chance is found before it costs a submission. While the tests run, a second
# build of the project loads the machine (as a developer's build or another job would).
#
#   scripts/repeat-tests.sh N [ctest arguments]        e.g. scripts/repeat-tests.sh 20 -L gui
#
#   HALDENMOOR_BUILD_DIR     build folder whose tests run (default build); a sanitizer build
#                            (build-asan, build-tsan) runs with the sanitizer stage's options
#   HALDENMOOR_REPEAT_LOAD   build (default) or none
#   HALDENMOOR_REPEAT_LOGS   folder for the output of failed runs (default: a new temporary one)
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-}
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 N [ctest arguments]" >&2
  exit 2
fi
shift
build=${HALDENMOOR_BUILD_DIR:-build}
[ -f "$build/CTestTestfile.cmake" ] || { echo "repeat-tests: $build has no tests; build it first" >&2; exit 2; }
logs=${HALDENMOOR_REPEAT_LOGS:-$(mktemp -d)}
mkdir -p "$logs"
. scripts/sanitizer-env.sh
sanitizer_env_for "$build"

load_pid=
stop_load() {
  if [ -n "$load_pid" ]; then
    kill -- -"$load_pid" 2>/dev/null
    wait "$load_pid" 2>/dev/null
    load_pid=
  fi
}
trap stop_load EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# A full build of the project from scratch, again and again, in a folder of its own.
if [ "${HALDENMOOR_REPEAT_LOAD:-build}" = build ]; then
  load_build=$(mktemp -d)
  cmake -S . -B "$load_build" -DCMAKE_BUILD_TYPE=Release -DHALDENMOOR_BENCH=OFF >"$logs/load.log" 2>&1 ||
    { echo "repeat-tests: cannot configure the load build (see $logs/load.log)" >&2; exit 1; }
  set -m
  (
    trap 'rm -rf "$load_build"' EXIT
    while :; do cmake --build "$load_build" --clean-first -j"$(nproc)" >>"$logs/load.log" 2>&1; done
  ) &
  load_pid=$!
  set +m
  echo "repeat-tests: load: a build of the project, over and over (pid $load_pid)"
fi

declare -A failed passed
for run in $(seq 1 "$runs"); do
  out="$logs/run-$run.log"
  ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@" >"$out" 2>&1
  # Lines like " 3/28 Test  #7: platform_gui_Wgl ......   Passed    2.53 sec"; a failure
  # shows "***Failed", "***Timeout" or "***Exception" instead, a skipped test "Skipped".
  while read -r name rest; do
    case $rest in
      *'***'*) failed[$name]=$((${failed[$name]:-0} + 1)) ;;
      *) passed[$name]=$((${passed[$name]:-0} + 1)) ;;
    esac
  done < <(sed -n -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) (.*)$/\1 \2/p' "$out")
  fails=$(grep -c -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*' "$out")
  echo "repeat-tests: run $run of $runs: $fails failed"
  [ "$fails" -gt 0 ] || rm -f "$out"
done
stop_load

status=0
echo "repeat-tests: $runs runs in $build; failed runs per test:"
for name in $(printf '%s\n' "${!passed[@]}" "${!failed[@]}" | sort -u); do
  f=${failed[$name]:-0}
  printf '  %-70s %d of %d\n' "$name" "$f" "$((f + ${passed[$name]:-0}))"
  [ "$f" = 0 ] || status=1
done
[ "$status" = 0 ] || echo "repeat-tests: the output of the failed runs is in $logs"
exit $status
