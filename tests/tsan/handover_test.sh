#!/usr/bin/env bash
# The view's hand-over under load, under Xvfb: while the pointer drags in the view (paints
# on the view thread), the main thread loads frames (an arrow key held down), moves the
# camera with the wheel and resets it with R; then the window is closed in mid-drag, so the
# program frees what the view borrows while it may still be painting. Built with a
# sanitizer, any race or bad access ends the program early with a report and a non-zero
# exit code; built plainly, the run must still end with exit code 0.
#   handover_test.sh twinscope TWINSCOPE MAKE_MATCHES X11_PROBE
#   handover_test.sh meshweaver MESHWEAVER MAKE_POINTS X11_PROBE
set -u
program=$1 binary=$(realpath "$2") maker=$(realpath "$3") probe=$(realpath "$4")
here=$(dirname "$(realpath "$0")")
. "$here/../e2e/lib.sh"

work=$(mktemp -d)
pid= drag_pid=
clean_up() {
  [ -n "$drag_pid" ] && kill "$drag_pid" 2>/dev/null
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  xdotool mouseup 1 keyup Right keyup Left keyup ctrl 2>/dev/null
  rm -rf "$work"
}
trap clean_up EXIT
# NOTE: a timeout ends the test with a signal; clean up then as well.
trap 'exit 143' TERM
trap 'exit 130' INT
# NOTE: halt_on_error makes the first report end the program with exit code 66: the layer
# ends the process with _exit, which skips the sanitizer's own report-count exit code.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$here/../sanitizers/tsan.supp ${TSAN_OPTIONS:-}"

case $program in
  twinscope)
    title="Haldenmoor - Twinscope"
    "$maker" random "$work/matches.dat" --frames 400 --points 300 --kind mixed >/dev/null ||
      fail "make_matches failed"
    (cd "$work" && exec "$binary" "$work/matches.dat") 2>"$work/stderr.txt" &
    pid=$!
    dismiss_gl_notice
    ;;
  meshweaver)
    title="Haldenmoor - Meshweaver"
    "$maker" sphere --count 3000 --spacing 0.03 -o "$work/points.dat" >/dev/null ||
      fail "make_points failed"
    (cd "$work" && exec "$binary" "$work/points.dat") 2>"$work/stderr.txt" &
    pid=$!
    dismiss_gl_notice
    dismiss_box Meshweaver 60   # "Starting reconstruction"
    dismiss_box Meshweaver 180  # "File Saved"
    ;;
  *)
    fail "unknown program $program"
    ;;
esac
wait_for_window "$title" 60 >/dev/null || fail "main window did not appear"
settle "$title" 120
read -r cx cy cw ch <<<"$("$probe" geometry "$title")"
midx=$((cx + cw / 3)) midy=$((cy + (ch - 150) / 2))

# Drags in a small circle over the view with button 1 held (CTRL held too when $1 is
# orbit), until it is killed.
drag_in_view() {
  local moves=() i
  for i in 0 1 2 3 4 5 6 7 8 9 10 11; do
    moves+=(mousemove "$((midx + (i < 6 ? i : 12 - i) * 12))" "$((midy + (i % 4) * 9))")
  done
  [ "${1:-}" = orbit ] && xdotool keydown ctrl
  xdotool mousemove "$midx" "$midy" mousedown 1
  while :; do xdotool "${moves[@]}"; done
}

# Ends the drag started by drag_in_view.
stop_drag() {
  kill "$drag_pid" 2>/dev/null
  wait "$drag_pid" 2>/dev/null
  drag_pid=
  xdotool mouseup 1 keyup ctrl
}

alive() {
  kill -0 "$pid" 2>/dev/null || fail "$program ended during the $1 phase: $(head -c 3000 "$work/stderr.txt")"
}

# 1. Paints of the drag against frame loads (Twinscope) or repaint requests (both).
drag_in_view &
drag_pid=$!
sleep 0.5
if [ "$program" = twinscope ]; then
  xdotool keydown Right
  sleep 4
  xdotool keyup Right
else
  for i in 1 2 3 4 5 6 7 8; do xdotool key r; sleep 0.4; done
fi
alive drag
stop_drag

# 2. Orbiting while the main thread moves the camera (wheel) and resets it (R).
drag_in_view orbit &
drag_pid=$!
for i in $(seq 1 12); do
  xdotool click 4 click 5 click 4
  [ $((i % 3)) = 0 ] && xdotool key r
  [ "$program" = twinscope ] && [ $((i % 4)) = 0 ] && xdotool key Left
done
alive wheel
stop_drag

if [ "$program" = twinscope ]; then
  # The held key really loaded frames: the log has many statistics lines.
  xdotool mousemove "$((cx + cw / 2))" "$((cy + ch - 80))" click 1 key ctrl+a ctrl+c
  # NOTE: the held key may have queued many frame loads; once all input is handled, the copy
  # is made and the program owns the clipboard.
  settle "$title" 300
  lines=$(xclip -o -selection clipboard | grep -c '^Frame No')
  [ "$lines" -gt 8 ] || fail "only $lines frames were loaded while the key was held"
fi

# 3. Closing in mid-drag: the program releases its arrays while the view may paint.
drag_in_view &
drag_pid=$!
sleep 1
"$probe" close "$title" || fail "cannot ask the window to close"
wait_for_exit "$pid" 60
pid=
stop_drag
if grep -q 'Sanitizer' "$work/stderr.txt"; then
  fail "sanitizer report:
$(head -c 20000 "$work/stderr.txt")"
fi
[ "$exit_code" = 0 ] || fail "exit code $exit_code: $(head -c 3000 "$work/stderr.txt")"
echo "$program hand-over: ok"
