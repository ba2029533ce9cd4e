#!/usr/bin/env bash
# Twinscope's capture under faults, under Xvfb: the capture folder cannot be created (a file
# has its name), or the disk fills up after the first file. Each time an error box must come,
# the capture must stop, the files already written must be complete bitmaps, nothing may
# claim success, and the program must go on answering its keys and exit with 0.
#   twinscope_faults.sh CASE TWINSCOPE MAKE_MATCHES X11_PROBE
#   CASE: folder-blocked | disk-full
# Exit code 77 (skipped) when this machine cannot set the case up.
set -u
case_name=$1 twinscope=$(realpath "$2") make_matches=$(realpath "$3") probe=$(realpath "$4")
here=$(dirname "$(realpath "$0")")
. "$here/../e2e/lib.sh"
. "$here/fault_lib.sh"
title="Haldenmoor - Twinscope"
frames=4

# The whole log, through a click into it, Ctrl+A and Ctrl+C (the log then has the focus).
read_log() {
  local cx cy cw ch
  read -r cx cy cw ch <<<"$(client_area_of "$title")"
  xdotool mousemove "$((cx + cw / 2))" "$((cy + ch - 80))" click 1 key ctrl+a ctrl+c
  settle "$title"
  xclip -o -selection clipboard | tr -d '\r'
}

# Checks that $1 is a complete 24-bit bitmap of $2 x $3 pixels.
check_bmp() {
  perl -e 'local $/; open my $f, "<", $ARGV[0] or exit 1; my $d = <$f>; my ($w, $h) = @ARGV[1, 2];
    my $row = int((3 * $w + 3) / 4) * 4;
    my ($bm, $size, $r1, $r2, $off, $bi, $bw, $bh, $planes, $bits, $comp, $img) =
      unpack("a2 V v v V V l< l< v v V V", $d);
    exit 1 unless $bm eq "BM" && $size == length($d) && length($d) == 58 + $row * $h
      && $off == 58 && $bi == 40 && $bw == $w && $bh == $h && $planes == 1 && $bits == 24
      && $comp == 0 && $img == $row * $h;
    # The view shows the axes on black: a bitmap of zero bytes only was never painted into.
    exit 1 unless substr($d, 58) =~ /[^\0]/;' "$@" || fail "$(basename "$1") is not a complete ${2}x${3} bitmap"
}

case $case_name in
  folder-blocked)
    folder="$work/data"
    mkdir -p "$folder"
    # A regular file where the capture folder would go.
    printf 'not a folder\n' >"$folder/Twinshot_Capture"
    ;;
  disk-full)
    folder="$work/disk"
    mount_small_fs "$folder" 16m || skip "cannot mount a small tmpfs here (needs root)"
    ;;
  *)
    fail "unknown case $case_name"
    ;;
esac
"$make_matches" random "$folder/Match Info.dat" --frames "$frames" --points 40 >/dev/null ||
  fail "make_matches failed"

(cd "$folder" && exec "$twinscope" "$folder/Match Info.dat") &
program_pid=$!
dismiss_gl_notice
main=$(wait_for_window "$title" 60) || fail "main window did not appear"
settle "$title"
read -r cx cy cw ch <<<"$(client_area_of "$title")"
vw=$cw vh=$((ch - 150))
row=$(((3 * vw + 3) / 4 * 4))
bmp_size=$((58 + row * vh))

if [ "$case_name" = disk-full ]; then
  # Leave room for one and a half bitmaps: the first file fits, the second runs out.
  filler=$(($(free_bytes "$folder") - bmp_size - bmp_size / 2))
  fallocate -l "$filler" "$folder/filler" || fail "cannot fill the disk"
  free=$(free_bytes "$folder")
  [ "$free" -ge "$bmp_size" ] && [ "$free" -lt $((2 * bmp_size)) ] ||
    fail "set-up: $free free bytes for bitmaps of $bmp_size"
  echo "set-up: bitmaps of $bmp_size bytes (${vw}x${vh}), $free bytes free"
fi
listing_before=$(cd "$folder" && find . | sort)

xdotool key --window "$main" c
expect_box Twinscope error 30
expect_no_box Twinscope  # and no notice of success after it

case $case_name in
  folder-blocked)
    [ "$(cat "$folder/Twinshot_Capture")" = "not a folder" ] || fail "the file in the way changed"
    [ "$(cd "$folder" && find . | sort)" = "$listing_before" ] ||
      fail "the capture wrote something: $(cd "$folder" && find . | sort | tr '\n' ' ')"
    stopped_at=0  # the capture loaded no frame
    ;;
  disk-full)
    captures="$folder/Twinshot_Capture"
    [ -d "$captures" ] || fail "no capture folder"
    [ "$(ls "$captures")" = "Twinshot0001.bmp" ] ||
      fail "expected only Twinshot0001.bmp, found: $(ls "$captures" | tr '\n' ' ')"
    check_bmp "$captures/Twinshot0001.bmp" "$vw" "$vh"
    # The capture stopped at the frame that did not fit.
    stopped_at=2
    ;;
esac

# The keys still work: W hides the world points and back, Right loads frame 2.
snapshot_of "$title" "$work/before.ppm"
xdotool key --window "$main" w
settle "$title"
snapshot_of "$title" "$work/hidden.ppm"
cmp -s "$work/before.ppm" "$work/hidden.ppm" && fail "W changed nothing after the failed capture"
xdotool key --window "$main" w Right
settle "$title"

if [ "$case_name" = disk-full ]; then
  # With room again, the next capture goes on past the names already taken.
  rm -f "$folder/filler"
  xdotool key --window "$main" c
  expect_no_box Twinscope
  for n in 0002 0003 0004 0005; do
    [ -f "$captures/Twinshot$n.bmp" ] || fail "the capture after the fault lacks Twinshot$n.bmp"
    check_bmp "$captures/Twinshot$n.bmp" "$vw" "$vh"
  done
  [ "$(ls "$captures" | wc -l)" = 5 ] || fail "files after the second capture: $(ls "$captures" | tr '\n' ' ')"
fi

log=$(read_log)
numbers=$(printf '%s\n' "$log" | sed -n 's/^Frame No \([0-9]*\):.*/\1/p' | tr '\n' ' ')
# Frame 1 at start, the frames the failed capture loaded, frame 2 (Right), then all frames
# of the second capture when there was one.
expected="1 "
for n in $(seq 1 "$stopped_at"); do expected+="$n "; done
expected+="2 "
if [ "$case_name" = disk-full ]; then
  for n in $(seq 1 "$frames"); do expected+="$n "; done
fi
[ "$(printf '%s\n' "$log" | head -n 1)" = "$frames frames" ] || fail "log starts with: $(printf '%s\n' "$log" | head -n 1)"
[ "$numbers" = "$expected" ] || fail "frames in the log: '$numbers', expected '$expected'"

"$probe" close "$title" || fail "cannot ask the window to close"
wait_for_exit "$program_pid" 20
program_pid=
[ "$exit_code" = 0 ] || fail "exit code $exit_code"
echo "twinscope fault $case_name: ok"
