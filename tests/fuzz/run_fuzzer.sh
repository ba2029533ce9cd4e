#!/usr/bin/env bash
# Runs one libFuzzer harness for a fixed time on a copy of a seed corpus.
#
#   run_fuzzer.sh FUZZER SEED_FOLDER SECONDS ARTIFACT_FOLDER [more libFuzzer options]
#
# The seeds are copied, so a run never changes them. Inputs that crash, leak or break an
# invariant are kept in ARTIFACT_FOLDER; the exit status is the fuzzer's (0: nothing found).
set -u
if [ $# -lt 4 ]; then
  echo "usage: $0 FUZZER SEED_FOLDER SECONDS ARTIFACT_FOLDER [options]" >&2
  exit 2
fi
fuzzer=$1 seeds=$2 seconds=$3 artifacts=$4
shift 4
# NOTE: memory-backed when possible: every input is written to a file.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  work=$(mktemp -d /dev/shm/fuzz-run-XXXXXX)
else
  work=$(mktemp -d -t fuzz-run-XXXXXX)
fi
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$artifacts"
if [ -d "$seeds" ]; then
  cp -r "$seeds"/. "$work/corpus"/
else
  echo "run_fuzzer: no seed folder $seeds, starting from an empty corpus" >&2
fi
# NOTE: the harnesses write each input to a file in TMPDIR; the trap removes it with the
# scratch folder even when the fuzzer stops at a crash.
TMPDIR=$work nice -n 19 "$fuzzer" "$work/corpus" -max_total_time="$seconds" -timeout=20 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" "$@"
status=$?
if [ $status -ne 0 ]; then
  echo "run_fuzzer: $(basename "$fuzzer") failed with status $status; inputs in $artifacts" >&2
fi
exit $status
