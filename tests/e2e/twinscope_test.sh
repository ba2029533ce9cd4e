#!/usr/bin/env bash
# Twinscope end to end, under Xvfb: a hand-made match file is opened, stepped with the keys
# and the scrollbar, its log read through the clipboard, its layers toggled and checked on
# screen, its frames captured twice; missing and damaged files are survived.
#   twinscope_test.sh TWINSCOPE MAKE_MATCHES X11_PROBE
set -u
twinscope=$(realpath "$1") make_matches=$(realpath "$2") probe=$(realpath "$3")
. "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
title="Haldenmoor - Twinscope"

# --- The file: three frames whose statistics and pictures are known ---------------------
# point X Y Z DX DY DZ LINK [ID]: one record; ID is written only when given.
point() { perl -e 'print pack("f<6 l<", @ARGV[0..6]); print pack("l<", $ARGV[7]) if @ARGV > 7' -- "$@"; }
counts() { perl -e 'print pack("l<", $ARGV[0])' -- "$1"; }
frame_head() { perl -e 'print pack("l< C l<", 7, $ARGV[0], $ARGV[1])' -- "$1" "$2"; }
{
  # Frame 1, to-world: world 0 at (-0.5, 0) named by match 0; world 1 at (0.5, 0) alone.
  frame_head 0 2
  perl -e 'print pack("f<6", -0.5, 0, 0, 0, 0, 0), pack("f<6", 0.5, 0, 0, 0, 0, 0)'
  counts 2
  point -0.5 0.5 0 0 0 0 0
  point 0.5 0.5 0 0 0 0 -1
  # Frame 2, to-frame: world identifiers 20, -1 and 99 against match ids 10, 20, 30.
  frame_head 1 3
  point -0.3 -0.3 0 0 0 0 20
  point 0 -0.3 0 0 0 0 -1
  point 0.3 -0.3 0 0 0 0 99
  counts 3
  point -0.3 0.3 0 0 0 0 5 10
  point 0 0.3 0 0 0 0 5 20
  point 0.3 0.3 0 0 0 0 5 30
  # Frame 3: empty.
  frame_head 0 0
  counts 0
} >"$work/Match Info.dat"

client_area() { "$probe" geometry "$title"; }
main_id() { wait_for_window "$title" 60; }

# The screen position of a scene point (x, y, 0) with the home camera in a view w x h at
# (vx, vy): eye at z = 5, 60 degree vertical field of view.
project() {
  perl -e 'my ($x, $y, $vx, $vy, $w, $h) = @ARGV; my $t = 5 * sin(3.14159265/6) / cos(3.14159265/6);
           printf "%d %d\n", $vx + ($x / ($t * $w / $h) + 1) / 2 * $w, $vy + (1 - $y / $t) / 2 * $h' -- "$@"
}

# The colour around a scene point: "R G B" of the brightest pixel within 2 pixels.
colour_at() {
  read -r cx cy cw ch <<<"$(client_area)"
  read -r px py <<<"$(project "$1" "$2" "$cx" "$cy" "$cw" "$((ch - 150))")"
  "$probe" save "$((px - 2))" "$((py - 2))" 5 5 "$work/spot.ppm"
  perl -e 'local $/; open my $f, "<", $ARGV[0]; my $d = <$f>; $d =~ s/^P6\s+\d+\s+\d+\s+\d+\s//;
           my ($best, $sum) = ("0 0 0", -1);
           for my $i (0 .. length($d) / 3 - 1) { my @c = unpack("C3", substr($d, 3 * $i, 3));
             my $s = $c[0] + $c[1] + $c[2]; if ($s > $sum) { $sum = $s; $best = "@c" } }
           print "$best\n"' "$work/spot.ppm"
}

expect_colour() {
  local got
  got=$(colour_at "$1" "$2")
  [ "$got" = "$3" ] || fail "at ($1, $2) expected colour $3, got $got ($4)"
}

# The whole log, through a click into it, Ctrl+A and Ctrl+C.
read_log() {
  read -r cx cy cw ch <<<"$(client_area)"
  xdotool mousemove "$((cx + cw / 2))" "$((cy + ch - 80))" click 1 key ctrl+a ctrl+c
  # NOTE: once the copy is handled the program owns the clipboard, so one read must answer.
  settle "$title"
  xclip -o -selection clipboard | tr -d '\r'
}

(cd "$work" && exec "$twinscope" "$work/Match Info.dat") &
pid=$!
dismiss_gl_notice
main=$(main_id) || fail "main window did not appear"
settle "$title"

# Frame 1: dot colours, the white line from match 0 down to world 0.
expect_colour -0.5 0 "0 255 0" "linked world point is green"
expect_colour 0.5 0 "0 0 255" "unlinked world point is blue"
expect_colour -0.5 0.5 "0 255 255" "linked match point is cyan"
expect_colour 0.5 0.5 "255 0 0" "unlinked match point is red"
expect_colour -0.5 0.25 "255 255 255" "correspondence line is white"
xdotool key --window "$main" w
settle "$title"
expect_colour -0.5 0 "255 255 255" "without world points the line still ends there"
expect_colour 0.5 0 "0 0 0" "hidden world point"
xdotool key --window "$main" f l
settle "$title"
expect_colour -0.5 0.25 "0 0 0" "hidden line"
expect_colour -0.5 0.5 "0 0 0" "hidden match point"
xdotool key --window "$main" w f l
settle "$title"
expect_colour -0.5 0 "0 255 0" "layers back"

# Keys and scrollbar: Right twice, Right at the end does nothing, Left back.
xdotool key --window "$main" Right Right Right Left
settle "$title"
# Frame 2 is on screen: world 0 resolved to match 1 (green), world 2's id 99 unresolved.
expect_colour -0.3 -0.3 "0 255 0" "resolved world point"
expect_colour 0.3 -0.3 "0 0 255" "an identifier no match point has is no link"
expect_colour -0.15 0 "255 255 255" "line from world 0 to match 1"
read -r cx cy cw ch <<<"$(client_area)"
# The scrollbar's WS_VSCROLL style gives it the window's own vertical bar in its last 17
# columns, as on Windows: an up and a down arrow with black glyphs.
for row in 3 11; do
  [ "$("$probe" pixel "$((cx + cw - 9))" "$((cy + ch - 15 + row))")" = "0 0 0" ] ||
    fail "no arrow glyph in the scrollbar's vertical bar at row $row"
done
# The right arrow of the scrollbar (last 15 rows of the client area, left of that vertical
# bar): to frame 3.
xdotool mousemove "$((cx + cw - 25))" "$((cy + ch - 7))" click 1
settle "$title"

# Capture twice: numbers 1-3, then 4-6; each file a 24-bit BMP of the view's size.
xdotool key --window "$main" c
settle "$title"
xdotool key --window "$main" c
settle "$title"
folder="$work/Twinshot_Capture"
for n in 0001 0002 0003 0004 0005 0006; do
  [ -f "$folder/Twinshot$n.bmp" ] || fail "missing Twinshot$n.bmp"
done
[ -e "$folder/Twinshot0007.bmp" ] && fail "one file too many"
read -r cx cy cw ch <<<"$(client_area)"
vh=$((ch - 150))
row=$(((3 * cw + 3) / 4 * 4))
size=$((58 + row * vh))
[ "$(stat -c %s "$folder/Twinshot0001.bmp")" = "$size" ] || fail "BMP size is not 58 + $row x $vh"
perl -e 'local $/; open my $f, "<", $ARGV[0]; my $d = <$f>;
  my ($bm, $size, $r1, $r2, $off, $bi, $w, $h, $planes, $bits, $comp, $img) = unpack("a2 V v v V V l< l< v v V V", $d);
  die "header\n" unless $bm eq "BM" && $size == length($d) && $off == 58 && $bi == 40 && $w == $ARGV[1]
    && $h == $ARGV[2] && $planes == 1 && $bits == 24 && $comp == 0 && $img == length($d) - 58
    && substr($d, 54, 4) eq "\0\0\0\0";' "$folder/Twinshot0001.bmp" "$cw" "$vh" ||
  fail "bad BMP header"
# In the first file, world point 0 of frame 1 is green at its projected position.
read -r px py <<<"$(project -0.5 0 0 0 "$cw" "$vh")"
perl -e 'local $/; open my $f, "<", $ARGV[0]; my $d = <$f>; my ($x, $y, $row, $h) = @ARGV[1..4];
  my $found = 0;
  for my $dy (-2 .. 2) { for my $dx (-2 .. 2) {
    my $o = 58 + ($h - 1 - ($y + $dy)) * $row + 3 * ($x + $dx);
    my ($b, $g, $r) = unpack("C3", substr($d, $o, 3)); $found = 1 if $r == 0 && $g == 255 && $b == 0 } }
  exit($found ? 0 : 1)' "$folder/Twinshot0001.bmp" "$px" "$py" "$row" "$vh" ||
  fail "captured frame 1 lacks the green world point"

# The log, read last: the click into it gives it the keyboard focus.
# Each capture walks every frame and logs it.
expected="3 frames
Frame No 1: 2 world points; 1 of 2 match points (50.00%)  - to world
Frame No 2: 3 world points; 2 of 3 match points (66.66%)  to frame
Frame No 3: 0 world points; 0 of 0 match points (-%)  - to world
Frame No 2: 3 world points; 2 of 3 match points (66.66%)  to frame
Frame No 3: 0 world points; 0 of 0 match points (-%)  - to world
Frame No 1: 2 world points; 1 of 2 match points (50.00%)  - to world
Frame No 2: 3 world points; 2 of 3 match points (66.66%)  to frame
Frame No 3: 0 world points; 0 of 0 match points (-%)  - to world
Frame No 1: 2 world points; 1 of 2 match points (50.00%)  - to world
Frame No 2: 3 world points; 2 of 3 match points (66.66%)  to frame
Frame No 3: 0 world points; 0 of 0 match points (-%)  - to world"
log=$(read_log)
[ "$log" = "$expected" ] || fail "log differs:
--- got
$log
--- expected
$expected"

"$probe" close "$title"
wait_for_exit "$pid" 20
[ "$exit_code" = 0 ] || fail "exit code $exit_code"

# --- A missing file and damaged files ---------------------------------------------------
(cd "$work" && exec "$twinscope") &  # MatchInfo.dat does not exist here
pid=$!
dismiss_gl_notice
dismiss_box Twinscope 30
main=$(main_id) || fail "no main window after a missing file"
xdotool key --window "$main" Right Left c
settle "$title"
"$probe" close "$title"
wait_for_exit "$pid" 20
[ "$exit_code" = 0 ] || fail "exit code $exit_code after a missing file"

for case in negative-world overflow-match huge-count truncated bad-link unresolved-id empty; do
  "$make_matches" hostile "$case" "$work/$case.dat" >/dev/null || fail "make_matches $case"
  (cd "$work" && exec "$twinscope" "$case.dat") &
  pid=$!
  dismiss_gl_notice
  main=$(main_id) || fail "$case: no main window"
  settle "$title"
  # A refused frame is reported in a box; dismiss it if there is one.
  [ -n "$(shown_window Twinscope)" ] && dismiss_box Twinscope
  xdotool key --window "$main" Right Right Left
  settle "$title"
  kill -0 "$pid" 2>/dev/null || fail "$case: the program ended"
  "$probe" close "$title"
  wait_for_exit "$pid" 20
  [ "$exit_code" = 0 ] || fail "$case: exit code $exit_code"
done
echo "twinscope end to end: ok"
