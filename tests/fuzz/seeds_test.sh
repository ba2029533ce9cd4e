#!/usr/bin/env bash
# Checks the seed corpora that make_seeds.sh wrote: the edge cases hold the exact bytes they
# are named after, and the tools' files are all there.
#
#   seeds_test.sh SEED_FOLDER WITH_POINTS_TOOL(0|1) WITH_MATCHES_TOOL(0|1)
set -u
seeds=$1 with_points=$2 with_matches=$3
failures=0

fail() {
  echo "seeds_test: $*" >&2
  failures=$((failures + 1))
}

# expect_hex FILE HEX: the whole file is these bytes.
expect_hex() {
  local got
  got=$(od -An -v -tx1 "$1" 2>/dev/null | tr -d ' \n')
  [ "$got" = "$2" ] || fail "$1 holds '$got', expected '$2'"
}

# expect_size FILE BYTES
expect_size() {
  local got
  got=$(stat -c %s "$1" 2>/dev/null || echo missing)
  [ "$got" = "$2" ] || fail "$1 has $got bytes, expected $2"
}

p=$seeds/points
m=$seeds/matches
expect_size "$p/empty" 0
expect_hex "$p/count-0" 00000000
expect_hex "$p/count-0-trailing" 00000000556677
expect_hex "$p/count-minus-1" ffffffff0000803f0000003f0000000000000000000000000000803f
expect_hex "$p/count-min" 00000080
expect_size "$p/count-1" $((4 + 24))
expect_size "$p/count-1-trailing" $((4 + 24 + 5))
expect_size "$p/count-2-cut" $((4 + 24 + 10))
expect_hex "$p/inf-normal" 01000000""0000803f""00000000""00000000""00000000""0000807f""00000000
expect_hex "$m/empty-frame" 07000000""00""00000000""00000000
expect_hex "$m/empty-frame-to-frame" 07000000""ff""00000000""00000000
expect_hex "$m/tag-cut-3" 010203
expect_size "$m/fourth-tag-cut" $((3 * 13 + 2))
expect_hex "$m/negative-world" 07000000""00""00000000""00000000""07000000""00""ffffffff""00000000
expect_hex "$m/overflow-world" 0700000000""56555505""00000000
expect_hex "$m/largest-world" 0700000000""55555505""00000000
expect_size "$m/to-world-links" $((13 + 3 * 24 + 4 * 28))
expect_size "$m/to-frame-ids" $((13 + 4 * 28 + 3 * 32))
# NOTE: the mesh file Meshweaver writes for a point file of no points has 120 bytes.
expect_size "$seeds/vrml/empty" 120
# Three vertex lines of 31, 32 and 40 bytes with two commas, one face of 11 bytes.
expect_size "$seeds/vrml/triangle" $((120 + 31 + 32 + 40 + 2 + 11))

if [ "$with_points" = 1 ]; then
  expect_size "$p/sphere-50" $((4 + 24 * 50))
  expect_size "$p/torus-60" $((4 + 24 * 60))
  expect_size "$p/plane-30" $((4 + 24 * 30))
  expect_size "$p/sphere-5000" $((4 + 24 * 5000))
  [ "$(od -An -tx1 -N4 "$p/sphere-50" | tr -d ' ')" = 32000000 ] || fail "sphere-50 does not count 50"
fi
if [ "$with_matches" = 1 ]; then
  for f in demo random-mixed random-world random-frame large-world large-frame; do
    [ -s "$m/$f" ] || fail "$m/$f is missing or empty"
  done
  for c in negative-world negative-match overflow-world overflow-match huge-count truncated \
      tail-bytes bad-link unresolved-id empty; do
    [ -e "$m/hostile-$c" ] || fail "the damaged case $c is missing"
  done
  expect_size "$m/hostile-empty" 0
  # One frame of 4500 world and 4500 match points: more than one chunk of the reader each.
  expect_size "$m/large-world" $((13 + 4500 * 24 + 4500 * 28))
  expect_size "$m/large-frame" $((13 + 4500 * 28 + 4500 * 32))
fi
count=$(find "$seeds/log_lines" -type f -size 27c | wc -l)
[ "$count" -ge 8 ] || fail "only $count log line seeds of 27 bytes"

expect_hex "$seeds/scan_text/ragged" 3120322033""0a""3420350a
count=$(find "$seeds/scan_text" -type f | wc -l)
[ "$count" -ge 11 ] || fail "only $count text scan seeds"

[ $failures -eq 0 ] && echo "seeds_test: all seeds as expected"
exit $((failures > 0))
