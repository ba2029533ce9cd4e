#!/usr/bin/env bash
# Meshweaver end to end, under Xvfb: a generated sphere becomes the same mesh file the
# pipeline writes, the input is consumed, the boxes come in order, the view shows the lit
# mesh over the axes and follows the mouse and keys; a missing file leaves a usable window.
#   meshweaver_test.sh MESHWEAVER MAKE_POINTS MESH_REFERENCE X11_PROBE
set -u
meshweaver=$(realpath "$1") make_points=$(realpath "$2") mesh_reference=$(realpath "$3") probe=$(realpath "$4")
. "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
title="Haldenmoor - Meshweaver"

# Prints "X Y W H" of the main window's client area.
client_area() { "$probe" geometry "$title"; }

# Saves the view (the whole client area) as a PPM file.
snapshot() {
  read -r x y w h <<<"$(client_area)"
  "$probe" save "$x" "$y" "$w" "$h" "$1" || fail "cannot read the screen"
}

# Counts pixels of the client area with the given colour (tolerance 0).
count_colour() {
  read -r x y w h <<<"$(client_area)"
  "$probe" count "$x" "$y" "$w" "$h" "$@"
}

# --- A sphere becomes a mesh ------------------------------------------------------------
"$make_points" sphere --count 3000 --spacing 0.03 -o "$work/scan one.dat" >/dev/null ||
  fail "make_points failed"
cp "$work/scan one.dat" "$work/reference.dat"
"$mesh_reference" "$work/reference.dat" "$work/reference.wrl" >/dev/null ||
  fail "mesh_reference failed"

(cd "$work" && exec "$meshweaver" "\"$work/scan one.dat\"") &
pid=$!
dismiss_gl_notice

wait_for_window Meshweaver 60 >/dev/null || fail "no 'Starting reconstruction' box"
[ -e "$work/scan one.wrl" ] && fail "mesh file exists before the reconstruction started"
[ -e "$work/scan one.dat" ] || fail "input gone before the reconstruction"
dismiss_box Meshweaver
wait_for_window Meshweaver 120 >/dev/null || fail "no 'File Saved' box"
[ -e "$work/scan one.wrl" ] || fail "'File Saved' shown before the mesh file exists"
[ -e "$work/scan one.dat" ] && fail "input not deleted after the save"
dismiss_box Meshweaver
wait_for_window "$title" 60 >/dev/null || fail "main window did not appear"
cmp "$work/scan one.wrl" "$work/reference.wrl" || fail "mesh file differs from the pipeline's"
ls "$work" | grep -q '\.tmp' && fail "temporary file left behind"
settle "$title"

read -r cx cy cw ch <<<"$(client_area)"
[ "$cw" -gt 700 ] && [ "$ch" -gt 500 ] || fail "client area too small: $cw x $ch"
red=$(count_colour 255 0 0)
[ "$red" -gt 50 ] || fail "the red axis is not visible ($red pixels)"
grey=0
read -r x y w h <<<"$(client_area)"
# Lit grey: the mesh takes the default material under a grey light, so r = g = b.
for level in $(seq 20 4 240); do
  n=$("$probe" count "$x" "$y" "$w" "$h" "$level" "$level" "$level" 2)
  grey=$((grey + n))
done
[ "$grey" -gt 2000 ] || fail "no lit grey mesh in the view ($grey pixels)"
black=$(count_colour 0 0 0)
[ "$black" -gt $((cw * ch / 3)) ] || fail "the background is not black"
snapshot "$work/home.ppm"

# A CTRL-drag orbits: the picture changes; R brings it back exactly.
midx=$((cx + cw / 2)) midy=$((cy + ch / 2))
xdotool mousemove "$midx" "$midy" keydown ctrl mousedown 1
xdotool mousemove "$((midx + 60))" "$((midy + 20))"
settle "$title"
xdotool mouseup 1 keyup ctrl
settle "$title"
snapshot "$work/orbit.ppm"
cmp -s "$work/home.ppm" "$work/orbit.ppm" && fail "CTRL-drag did not change the picture"
main=$(wait_for_window "$title")
xdotool key --window "$main" r
settle "$title"
snapshot "$work/reset.ppm"
cmp -s "$work/home.ppm" "$work/reset.ppm" || fail "R did not restore the home view"

# The wheel over the view dollies the camera.
xdotool mousemove "$midx" "$midy" click 4
settle "$title"
snapshot "$work/wheel.ppm"
cmp -s "$work/home.ppm" "$work/wheel.ppm" && fail "the wheel over the view did nothing"
xdotool key --window "$main" R
settle "$title"

# Closing the window ends the program with exit code 0.
"$probe" close "$title" || fail "cannot ask the window to close"
wait_for_exit "$pid" 20
[ "$exit_code" = 0 ] || fail "exit code $exit_code"

# --- A missing file ---------------------------------------------------------------------
(cd "$work" && exec "$meshweaver" missing.dat) &
pid=$!
dismiss_gl_notice
dismiss_box Meshweaver 30  # "Cannot open file"
wait_for_window "$title" 60 >/dev/null || fail "no main window after a missing file"
settle "$title"
[ "$(count_colour 255 0 0)" -gt 50 ] || fail "no axes in the empty viewer"
ls "$work" | grep -q missing && fail "something was written for a missing file"
snapshot "$work/empty.ppm"
read -r cx cy cw ch <<<"$(client_area)"
xdotool mousemove "$((cx + cw / 2))" "$((cy + ch / 2))" click 5
settle "$title"
snapshot "$work/empty-wheel.ppm"
cmp -s "$work/empty.ppm" "$work/empty-wheel.ppm" && fail "the wheel does nothing in the empty viewer"
"$probe" close "$title"
wait_for_exit "$pid" 20
[ "$exit_code" = 0 ] || fail "exit code $exit_code after a missing file"
echo "meshweaver end to end: ok"
