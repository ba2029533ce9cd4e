#!/usr/bin/env bash
# Smoke test of the Windows build under Wine, in a private Xvfb without a window manager:
# the cross-built make_matches.exe writes the same bytes as the native tool; twinscope.exe
# opens a hand-made match file under a path with a blank, logs its frames, steps with the
# arrow keys and the scrollbar, captures every frame twice into numbered BMP files beside
# the input and exits with 0 on close; a missing default file gives the "Cannot open file"
# box; a default file written by make_matches.exe is found and captured into the current
# folder.
#   twinscope_wine_test.sh TWINSCOPE.EXE MAKE_MATCHES.EXE MAKE_MATCHES X11_PROBE X11_PATCH
#
# OpenGL drawn into the view (a child window) does not reach the screen under Wine with
# Xvfb, so the view's own pixels are not checked; a window of a known colour laid over the
# view is, since the capture grabs what the screen shows.
set -u
twinscope_exe=$1 make_matches_exe=$2 make_matches=$3 probe=$4 patch=$5
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../e2e/lib.sh"
. "$here/wine_lib.sh"

wine_begin_test
title="Haldenmoor - Twinscope"

mkdir -p "$work/data" "$work/run" "$work/empty" "$work/default"
cp "$twinscope_exe" "$work/twinscope.exe"
cp "$make_matches_exe" "$work/make_matches.exe"

step "creating a Wine prefix"
wine_init_prefix "$work"

# Starts twinscope.exe in folder $1 with the remaining arguments; its trace goes to $work/$2.
start_twinscope() {
  local folder=$1 trace=$work/$2
  shift 2
  (cd "$folder" && exec wine "$work/twinscope.exe" "$@" 2>"$trace") &
  pid=$!
}

# Closes the main window as a window manager does and checks the exit code.
close_and_expect_zero() {
  "$probe" close "$title" || fail "$1: no main window to close"
  wait_for_exit "$pid" 30
  pid=""
  [ "$exit_code" = 0 ] || fail "$1: exit code $exit_code"
}

# Fails unless the boxes of trace $1 were exactly the lines of $2 (GLSetup's notice about
# the software renderer aside, which Wine may or may not give).
expect_boxes() {
  local got
  got=$(wine_box_texts "$work/$1" | grep -vx "No hardware acceleration")
  [ "$got" = "$2" ] || fail "$1: message boxes differ:
--- got
$got
--- expected
$2"
}

# --- make_matches.exe: binary output identical to the native tool's ----------------------
step "make_matches.exe against the native make_matches"
(cd "$work/default" && timeout 60 wine "$work/make_matches.exe" random MatchInfo.dat \
  --frames 12 --points 30 --kind mixed --seed 7 2>"$work/make_matches.trace") ||
  fail "make_matches.exe failed"
"$make_matches" random "$work/native.dat" --frames 12 --points 30 --kind mixed --seed 7 \
  >/dev/null || fail "native make_matches failed"
cmp "$work/default/MatchInfo.dat" "$work/native.dat" ||
  fail "make_matches.exe wrote other bytes than the native make_matches"

# --- A hand-made file with known statistics -----------------------------------------------
# record X Y Z LINK [ID]: a point record with direction (0, 0, 1); ID only when given.
record() { perl -e 'print pack("f<6 l<", @ARGV[0..2], 0, 0, 1, $ARGV[3]); print pack("l<", $ARGV[4]) if @ARGV > 4' -- "$@"; }
head_of() { perl -e 'print pack("l< C l<", 1234, $ARGV[0], $ARGV[1])' -- "$1" "$2"; }
count() { perl -e 'print pack("l<", $ARGV[0])' -- "$1"; }
world() { perl -e 'print pack("f<6", @ARGV[0..2], 0, 0, 1)' -- "$@"; }
input="$work/data/Match Info.dat"
{
  # Frame 1, to-world: matches 0 and 1 name world points 0 and 1, match 2 names none.
  head_of 0 2; world -0.5 0 0; world 0.5 0 0
  count 3; record -0.5 0.5 0 0; record 0.5 0.5 0 1; record 0 0.5 0 -1
  # Frame 2, to-frame (kind 7): identifiers 20 (found), -1 (none), 99 (no such match).
  head_of 7 3; record -0.3 -0.3 0 20; record 0 -0.3 0 -1; record 0.3 -0.3 0 99
  count 2; record -0.3 0.3 0 5 10; record 0.3 0.3 0 5 20
  # Frame 3, to-world: three matches name world point 0, one names none.
  head_of 0 1; world 0 0 0
  count 4; record 0 0.2 0 0; record 0.1 0.2 0 0; record 0.2 0.2 0 0; record 0.3 0.2 0 -1
  # Two bytes of a cut tag: not a frame.
  printf '\001\002'
} >"$input"
f1="Frame No 1: 2 world points; 2 of 3 match points (66.66%)  - to world"
f2="Frame No 2: 3 world points; 2 of 2 match points (100.00%)  to frame"
f3="Frame No 3: 1 world points; 3 of 4 match points (75.00%)  - to world"

step "twinscope.exe on a hand-made file"
# NOTE: Wine quotes the argument with the blank, so the program also strips the quotes.
start_twinscope "$work/run" full.trace "$(timeout 30 winepath -w "$input")"
main=$(wine_wait_main "$title" 90) || fail "the main window did not appear"
read -r cx cy cw ch <<<"$(wine_client_area "$main")"
[ "$cw" -gt 0 ] && [ "$ch" -gt 150 ] || fail "client area $cw x $ch"
xdotool mousemove $((cx + cw / 2)) $((cy + 100))
sleep 0.5
# Right to 2 and 3, Right on the last frame does nothing, Left back to 2.
xdotool key Right Right Right Left
sleep 0.5
# The right arrow of the scrollbar (the last 15 rows of the client area): frame 3.
# NOTE: the control's WS_VSCROLL style gives it a vertical bar of its own at its right end
# (17 pixels under Wine), so the arrow lies left of that.
xdotool mousemove $((cx + cw - 26)) $((cy + ch - 7)) click 1
sleep 0.5
xdotool mousemove $((cx + cw / 2)) $((cy + 100))
# A patch over the view at (40, 30), 64 x 48, of red 10, green 200, blue 13: every pixel
# then holds an LF and a CR byte, which a text-mode write of the bitmap would change.
patch_x=40 patch_y=30 patch_w=64 patch_h=48
coproc PATCH { exec "$patch" $((cx + patch_x)) $((cy + patch_y)) $patch_w $patch_h 10 200 13; }
patch_pid=$PATCH_PID
read -r -t 10 ready <&"${PATCH[0]}" && [ "$ready" = ready ] || fail "x11_patch did not start"
# Two captures: frames 1 to 3 each time, numbered 1-3 and then 4-6.
xdotool key c
sleep 0.5
xdotool key c
folder="$work/data/Twinshot_Capture"
end=$((SECONDS + 60))
until [ -e "$folder/Twinshot0006.bmp" ] || [ $SECONDS -ge $end ]; do sleep 0.2; done

expected="3 frames
$f1
$f2
$f3
$f2
$f3
$f1
$f2
$f3
$f1
$f2
$f3"
# NOTE: the log box takes the keyboard focus with this click, so it comes after the keys.
log=$(wine_copy_edit_text $((cx + cw / 2)) $((cy + ch - 80)) 12 20)
[ "$log" = "$expected" ] || fail "log differs:
--- got
$log
--- expected
$expected"

step "checking the captured files"
[ -z "$(ls -A "$work/run")" ] || fail "the capture went into the current folder, not beside the input"
names=$(cd "$folder" 2>/dev/null && ls)
[ "$names" = "$(printf 'Twinshot%04d.bmp\n' 1 2 3 4 5 6)" ] || fail "capture files: $names"
vh=$((ch - 150))
row=$(((3 * cw + 3) / 4 * 4))
for file in "$folder"/*.bmp; do
  [ "$(stat -c %s "$file")" = $((58 + row * vh)) ] ||
    fail "$(basename "$file"): size is not 58 + $row x $vh"
  perl -e 'local $/; open my $f, "<:raw", $ARGV[0] or die; my $d = <$f>;
    my ($bm, $size, $r1, $r2, $off, $bi, $w, $h, $planes, $bits, $comp, $img, $xp, $yp, $used, $imp, $gap) =
      unpack("a2 V v v V V l< l< v v V V V V V V V", $d);
    exit(($bm eq "BM" && $size == length($d) && $r1 == 0 && $r2 == 0 && $off == 58 && $bi == 40
      && $w == $ARGV[1] && $h == $ARGV[2] && $planes == 1 && $bits == 24 && $comp == 0
      && $img == length($d) - 58 && $xp == 0 && $yp == 0 && $used == 0 && $imp == 0
      && $gap == 0) ? 0 : 1)' "$file" "$cw" "$vh" || fail "$(basename "$file"): bad header"
  # The patch, rows bottom first, blue-green-red: inside at its corners and its centre,
  # not just outside them.
  perl -e 'local $/; open my $f, "<:raw", $ARGV[0] or die; my $d = <$f>;
    my ($row, $h, $x0, $y0, $w, $ph) = @ARGV[1..6];
    sub at { my ($x, $y) = @_; join(" ", unpack("C3", substr($d, 58 + ($h - 1 - $y) * $row + 3 * $x, 3))) }
    my $p = "13 200 10";
    my @inside = ([$x0, $y0], [$x0 + $w - 1, $y0], [$x0, $y0 + $ph - 1], [$x0 + $w - 1, $y0 + $ph - 1],
                  [$x0 + $w / 2, $y0 + $ph / 2]);
    my @outside = ([$x0 - 1, $y0], [$x0, $y0 - 1], [$x0 + $w, $y0 + $ph - 1], [$x0 + $w - 1, $y0 + $ph]);
    for (@inside) { if (at(@$_) ne $p) { print "(@$_) is ", at(@$_), ", not the patch\n"; exit 1 } }
    for (@outside) { if (at(@$_) eq $p) { print "(@$_) outside the patch has its colour\n"; exit 1 } }' \
    "$file" "$row" "$vh" "$patch_x" "$patch_y" "$patch_w" "$patch_h" >"$work/pixels.txt" ||
    fail "$(basename "$file"): $(cat "$work/pixels.txt")"
done
kill "$patch_pid" 2>/dev/null
wait "$patch_pid" 2>/dev/null
patch_pid=""
expect_boxes full.trace ""
step "closing"
close_and_expect_zero "hand-made file"

# --- No command line and no MatchInfo.dat: the open failure is shown, the program lives on --
step "twinscope.exe without a file"
start_twinscope "$work/empty" missing.trace
wine_dismiss_box Twinscope 90
expect_boxes missing.trace "Cannot open file"
main=$(wine_wait_main "$title" 30) || fail "no main window after the open failure"
wine_point_at "$main"
xdotool key Right Left c
sleep 1
[ -z "$(find "$work/empty" -name '*.bmp')" ] || fail "a capture without a file wrote bitmaps"
expect_boxes missing.trace "Cannot open file"
close_and_expect_zero "missing file"

# --- The default MatchInfo.dat (written by make_matches.exe) in the current folder ---------
step "twinscope.exe on the default file"
start_twinscope "$work/default" default.trace
main=$(wine_wait_main "$title" 60) || fail "the main window did not appear for the default file"
read -r cx cy cw ch <<<"$(wine_client_area "$main")"
xdotool mousemove $((cx + cw / 2)) $((cy + 100))
sleep 0.3
xdotool key c
end=$((SECONDS + 60))
until [ -e "$work/default/Twinshot_Capture/Twinshot0012.bmp" ] || [ $SECONDS -ge $end ]; do
  sleep 0.2
done
# The log: the count, frame 1, then frames 1 to 12 of the capture.
log=$(wine_copy_edit_text $((cx + cw / 2)) $((cy + ch - 80)) 14 20)
numbers=$(printf '%s\n' "$log" | sed -n 's/^Frame No \([0-9]*\): .*/\1/p' | tr '\n' ' ')
[ "$(printf '%s\n' "$log" | head -n 1)" = "12 frames" ] || fail "default file: log starts '$(printf '%s\n' "$log" | head -n 1)'"
[ "$numbers" = "1 1 2 3 4 5 6 7 8 9 10 11 12 " ] || fail "default file: frames logged: $numbers"
names=$(cd "$work/default/Twinshot_Capture" 2>/dev/null && ls)
[ "$names" = "$(printf 'Twinshot%04d.bmp\n' $(seq 1 12))" ] || fail "default file: capture files: $names"
expect_boxes default.trace ""
close_and_expect_zero "default file"

step "done"
echo "twinscope under Wine: ok"
