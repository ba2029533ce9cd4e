#!/usr/bin/env bash
# Writes the seed corpora of the fuzzers: files made by the sample tools, and hand-made edge
# cases of both file layouts (counts of 0, negative and huge counts, cut records and tags,
# trailing bytes, bad links and identifiers).
#
#   fuzz/make_seeds.sh OUTPUT_FOLDER MAKE_POINTS MAKE_MATCHES
#
# MAKE_POINTS or MAKE_MATCHES may be "-" when that tool was not built: its files are then
# left out and only the hand-made seeds are written. Writes OUTPUT_FOLDER/points,
# OUTPUT_FOLDER/matches, OUTPUT_FOLDER/log_lines, OUTPUT_FOLDER/scan_text and
# OUTPUT_FOLDER/vrml, replacing what was there.
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: $0 OUTPUT_FOLDER MAKE_POINTS MAKE_MATCHES" >&2
  exit 2
fi
out=$1
make_points=$2
make_matches=$3

rm -rf "$out/points" "$out/matches" "$out/log_lines" "$out/scan_text" "$out/vrml"
mkdir -p "$out/points" "$out/matches" "$out/log_lines" "$out/scan_text" "$out/vrml"

# Bytes as printf escapes: i32 V (little-endian), f32 HEXBITS, u8 V, u16 V.
i32() { local v=$(($1 & 0xffffffff)); printf '\\x%02x\\x%02x\\x%02x\\x%02x' \
  $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255)); }
f32() { i32 "$1"; }
u8() { printf '\\x%02x' $(($1 & 255)); }
u16() { printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)); }
# put FILE ESCAPES...: writes the bytes.
put() { local file=$1; shift; printf "$(printf '%s' "$@")" >"$file"; }

one=0x3f800000 half=0x3f000000 minus=0xbf800000 nan=0x7fc00000 inf=0x7f800000

# --- Oriented point files: N, then N x (position, normal) as float32 -------------------
p=$out/points
point() { f32 "$1"; f32 "$2"; f32 "$3"; f32 "$4"; f32 "$5"; f32 "$6"; }
put "$p/empty" ""
put "$p/one-byte" "$(u8 1)"
put "$p/three-bytes" "$(u8 1)$(u8 0)$(u8 0)"
put "$p/count-0" "$(i32 0)"
put "$p/count-0-trailing" "$(i32 0)$(u8 0x55)$(u8 0x66)$(u8 0x77)"
put "$p/count-1" "$(i32 1)$(point $one $half 0 0 0 $one)"
put "$p/count-1-trailing" "$(i32 1)$(point $one $half 0 0 0 $one)$(u8 9)$(u8 9)$(u8 9)$(u8 9)$(u8 9)"
put "$p/count-2-cut" "$(i32 2)$(point $one $half 0 0 0 $one)$(f32 $one)$(f32 $one)$(u8 0)$(u8 0)"
put "$p/count-minus-1" "$(i32 -1)$(point $one $half 0 0 0 $one)"
put "$p/count-min" "$(i32 -2147483648)"
put "$p/count-max" "$(i32 2147483647)$(point $one $half 0 0 0 $one)"
put "$p/count-one-too-many" "$(i32 3)$(point 0 0 0 0 0 $one)$(point $one 0 0 0 0 $one)"
put "$p/zero-normal" "$(i32 2)$(point $one $one $one 0 0 0)$(point $minus $half 0 $one $one $one)"
put "$p/nan-position" "$(i32 2)$(point $one 0 0 0 0 $one)$(point $nan 0 0 0 0 $one)"
put "$p/inf-normal" "$(i32 1)$(point $one 0 0 0 $inf 0)"
if [ "$make_points" != "-" ]; then
  "$make_points" sphere --count 50 --spacing 0.05 -o "$p/sphere-50" >/dev/null
  "$make_points" torus --count 60 --spacing 0.05 -o "$p/torus-60" >/dev/null
  "$make_points" plane --count 30 --spacing 0.05 -o "$p/plane-30" >/dev/null
  # NOTE: more than 4096 points, so that the reader takes more than one block.
  "$make_points" sphere --count 5000 --spacing 0.02 -o "$p/sphere-5000" >/dev/null
fi

# --- Match files: frames of tag, kind, W, world records, K, match records ----------------
m=$out/matches
vec() { f32 $one; f32 $half; f32 0; f32 0; f32 0; f32 $one; }  # position and direction
world0() { vec; }                                  # to-world world record, 24 bytes
match0() { vec; i32 "$1"; }                        # to-world match record: link
world1() { vec; i32 "$1"; }                        # to-frame world record: identifier
match1() { vec; i32 "$1"; i32 "$2"; }              # to-frame match record: link, id
empty_frame() { i32 7; u8 "$1"; i32 0; i32 0; }    # 13 bytes
put "$m/empty" ""
put "$m/tag-cut-1" "$(u8 1)"
put "$m/tag-cut-3" "$(u8 1)$(u8 2)$(u8 3)"
put "$m/tag-only" "$(i32 7)"
put "$m/tag-and-kind" "$(i32 7)$(u8 0)"
put "$m/world-count-cut" "$(i32 7)$(u8 0)$(u8 2)$(u8 0)"
put "$m/empty-frame" "$(empty_frame 0)"
put "$m/empty-frame-to-frame" "$(empty_frame 255)"
put "$m/kinds-0-5-0" "$(empty_frame 0)$(i32 7)$(u8 5)$(i32 1)$(world1 3)$(i32 1)$(match1 0 3)$(empty_frame 0)"
put "$m/fourth-tag-cut" "$(empty_frame 0)$(empty_frame 1)$(empty_frame 0)$(u8 7)$(u8 0)"
put "$m/to-world-links" "$(i32 7)$(u8 0)$(i32 3)$(world0)$(world0)$(world0)$(i32 4)$(match0 2)$(match0 -1)$(match0 2)$(match0 0)"
put "$m/to-world-link-outside" "$(i32 7)$(u8 0)$(i32 2)$(world0)$(world0)$(i32 3)$(match0 2)$(match0 2147483647)$(match0 -2147483648)"
put "$m/to-frame-ids" "$(i32 7)$(u8 1)$(i32 4)$(world1 20)$(world1 25)$(world1 -1)$(world1 10)$(i32 3)$(match1 0 10)$(match1 1 20)$(match1 9 30)"
put "$m/to-frame-ids-unsorted" "$(i32 7)$(u8 2)$(i32 3)$(world1 30)$(world1 10)$(world1 20)$(i32 3)$(match1 0 30)$(match1 1 10)$(match1 2 20)"
put "$m/to-frame-ids-repeated" "$(i32 7)$(u8 3)$(i32 2)$(world1 5)$(world1 6)$(i32 4)$(match1 0 5)$(match1 0 5)$(match1 0 5)$(match1 0 6)"
put "$m/to-frame-ids-extreme" "$(i32 7)$(u8 1)$(i32 2)$(world1 2147483647)$(world1 0)$(i32 2)$(match1 0 -2147483648)$(match1 0 2147483647)"
put "$m/to-frame-no-matches" "$(i32 7)$(u8 1)$(i32 2)$(world1 1)$(world1 2)$(i32 0)"
put "$m/world-records-cut" "$(i32 7)$(u8 0)$(i32 3)$(world0)$(f32 $one)$(f32 $one)"
put "$m/match-records-cut" "$(i32 7)$(u8 0)$(i32 1)$(world0)$(i32 2)$(match0 0)$(f32 $one)"
put "$m/match-count-cut" "$(i32 7)$(u8 0)$(i32 1)$(world0)$(u8 1)$(u8 0)"
put "$m/negative-world" "$(empty_frame 0)$(i32 7)$(u8 0)$(i32 -1)$(i32 0)"
put "$m/negative-match" "$(empty_frame 1)$(i32 7)$(u8 1)$(i32 0)$(i32 -2147483648)"
put "$m/overflow-world" "$(i32 7)$(u8 0)$(i32 89478486)$(i32 0)"
put "$m/largest-world" "$(i32 7)$(u8 0)$(i32 89478485)$(i32 0)"
put "$m/overflow-match" "$(i32 7)$(u8 9)$(i32 0)$(i32 67108864)"
put "$m/huge-count" "$(i32 7)$(u8 0)$(i32 0)$(i32 50000000)$(match0 0)"
if [ "$make_matches" != "-" ]; then
  "$make_matches" demo "$m/demo"
  "$make_matches" random "$m/random-mixed" --frames 12 --points 12 --seed 3
  "$make_matches" random "$m/random-world" --frames 6 --points 20 --kind world --seed 4
  "$make_matches" random "$m/random-frame" --frames 6 --points 20 --kind frame --seed 5
  # NOTE: more than 4096 records per list, so that the reader takes more than one chunk.
  "$make_matches" random "$m/large-world" --frames 1 --points 4500 --kind world --seed 6
  "$make_matches" random "$m/large-frame" --frames 1 --points 4500 --kind frame --seed 7
  # NOTE: the tool's usage text lists the damaged cases; every one of them is a seed.
  # It ends with "CASE one of: NAME NAME ...", wrapped over several lines.
  cases=$( ("$make_matches" --help 2>&1 || true) | sed -n '/CASE one of:/,$p' | sed 's/.*CASE one of://')
  if [ -z "$cases" ]; then
    echo "make_seeds: no damaged cases in the usage of $make_matches" >&2
    exit 1
  fi
  for c in $cases; do
    "$make_matches" hostile "$c" "$m/hostile-$c"
  done
fi

# --- Log lines: value (double), capacity (u16), n, W, M, K (i32), kind (u8) --------------
l=$out/log_lines
dbl() { local hi=$1 lo=$2; i32 "$lo"; i32 "$hi"; }  # the two 32-bit halves of a double
put "$l/percentage" "$(dbl 0x404c2000 0)$(u16 262)$(i32 3)$(i32 120)$(i32 45)$(i32 80)$(u8 1)"
put "$l/two-point-four" "$(dbl 0x40033333 0x33333333)$(u16 8)$(i32 1)$(i32 5)$(i32 3)$(i32 125)$(u8 0)"
put "$l/no-matches" "$(dbl 0 0)$(u16 30)$(i32 -5)$(i32 0)$(i32 0)$(i32 0)$(u8 1)"
put "$l/extremes" "$(dbl 0x7fefffff 0xffffffff)$(u16 400)$(i32 -2147483648)$(i32 2147483647)$(i32 2147483647)$(i32 1)$(u8 0)"
put "$l/negative" "$(dbl 0xc1e00000 0x00100000)$(u16 3)$(i32 2147483647)$(i32 -1)$(i32 -7)$(i32 -2147483648)$(u8 1)"
put "$l/nan" "$(dbl 0x7ff80000 0)$(u16 5)$(i32 1)$(i32 1)$(i32 1)$(i32 1)$(u8 0)"
put "$l/minus-inf" "$(dbl 0xfff00000 0)$(u16 2)$(i32 1)$(i32 1)$(i32 1)$(i32 1)$(u8 0)"
put "$l/beyond-int64" "$(dbl 0x43e00000 0x00000001)$(u16 24)$(i32 1)$(i32 1)$(i32 1)$(i32 1)$(u8 0)"
# The largest double below 1: its decimals are all nines, cut to "0.99".
put "$l/just-below-one" "$(dbl 0x3fefffff 0xffffffff)$(u16 262)$(i32 1)$(i32 1)$(i32 1)$(i32 1)$(u8 0)"

# --- Text scans: every layout the reader knows, and the refusals -------------------------
t=$out/scan_text
printf '0 0 0\n0.01 0 0 # note\n\n0 0.01 0\n' >"$t/xyz"
printf '1 2 3 0 0 1\r\n4 5 6 0.6 0.8 0\r\n' >"$t/normals-crlf"
printf '1 2 3 200 30 99\n4 5 6 255 0 1\n' >"$t/colour"
printf '1,2,3,7\n4,5,6,9\n' >"$t/intensity-csv"
printf '2\n1 2 3 -500 10 20 30\n4 5 6 -20 40 50 60\n' >"$t/pts-count"
printf '1;2;3;10;20;30;0;0;1\n4;5;6;1;2;3;1;0;0\n' >"$t/nine-semicolon"
printf '//X Y Z Reflectance Nx Ny Nz\n1 2 3 0.5 0 0 2\n4 5 6 0.1 0 0 0\nnan 1 1 0 1 0 0\n' >"$t/named"
printf '0,5 1,25 2,125\n' >"$t/decimal-comma"
printf '1 2 3\n4 5\n' >"$t/ragged"
printf '1 2 1e39\n1 2 1e999\n' >"$t/huge"
printf 'x y z nx ny nz\n1 2 3 0 0 1e300\n4 5 6 1e-320 0 0\n' >"$t/extreme-normals"

# --- VRML meshes: Meshweaver's layout (CR LF lines, five decimals) and others ---------------
v=$out/vrml
head='#VRML V1.0 ascii\r\n\r\nSeparator\r\n{\r\n  Coordinate3\r\n  {\r\n    point\r\n    ['
faces='\r\n    ]\r\n  }\r\nIndexedFaceSet { coordIndex [\r\n'
printf "$head$faces]}\r\n}" >"$v/empty"
printf "$head\r\n      0.00000 0.00000 0.00000,\r\n      1.50000 -0.25000 0.00000,\r\n      0.00000 1.00000 3000000000.00000$faces%s]}\r\n}" \
  "0, 1, 2, -1" >"$v/triangle"
printf "$head\r\n      0.00000 0.00000 0.00000,\r\n      1.00000 0.00000 0.00000,\r\n      0.00000 1.00000 0.00000,\r\n      -1.00000 -0.00000 0.12345$faces%s,\r\n%s]}\r\n}" \
  "0, 1, 2, -1" "2, 3, 0, -1" >"$v/two-triangles"
printf '#VRML V1.0 ascii\nSeparator {\n  Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] }\n  IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] }\n}\n' >"$v/foreign"
printf '#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0 ] } } }\n' >"$v/vrml2"
