#!/usr/bin/env bash
# Meshweaver's progress window, under Xvfb: a cloud whose triangulation takes seconds shows
# the window once the "Starting reconstruction" box is gone, with text that keeps changing,
# and the window is gone before "File Saved"; a small cloud never shows it. Every top-level
# window mapped during a run is recorded in the X server's order, so "never" is checked on
# the whole run, not at a moment.
#   progress_window_test.sh MESHWEAVER MAKE_POINTS X11_PROBE
set -u
meshweaver=$(realpath "$1") make_points=$(realpath "$2") probe=$(realpath "$3")
. "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
watcher=
trap '[ -n "$watcher" ] && kill "$watcher" 2>/dev/null; rm -rf "$work"' EXIT
title="Haldenmoor - Meshweaver"
progress="Meshweaver - Building mesh"

# Starts recording the top-level windows into $1; returns once the recorder is watching.
start_watch() {
  "$probe" watch "$1" >"$1.ready" &
  watcher=$!
  local end=$((SECONDS + 30))
  until grep -q '^ready$' "$1.ready" 2>/dev/null; do
    [ $SECONDS -lt $end ] || fail "the window recorder did not start"
    sleep 0.1
  done
}

# Ends the recording into $1 after every window event so far.
stop_watch() {
  "$probe" unwatch "$1" || fail "cannot end the window recorder"
  wait_for_exit "$watcher" 30
  watcher=
  [ "$exit_code" = 0 ] || fail "the window recorder failed ($exit_code)"
}

# Waits up to $2 seconds until a window titled $1 is shown; prints its id.
wait_for_shown_window() {
  local id end=$((SECONDS + $2))
  while [ $SECONDS -lt $end ]; do
    id=$(shown_window "$1")
    [ -n "$id" ] && echo "$id" && return 0
    sleep 0.1
  done
  return 1
}

# Saves what the progress window shows as a PPM file.
snapshot_progress() {
  read -r x y w h <<<"$("$probe" geometry "$progress")" || return 1
  "$probe" save "$x" "$y" "$w" "$h" "$1"
}

# Runs Meshweaver on $1 (in $work) up to the "File Saved" box; sets pid.
start_meshweaver() {
  (cd "$work" && exec "$meshweaver" "$1") &
  pid=$!
  dismiss_gl_notice
  wait_for_window Meshweaver 60 >/dev/null || fail "no 'Starting reconstruction' box"
  dismiss_box Meshweaver
}

# Dismisses "File Saved" (already up), then closes the main window; the program must end
# with status 0.
finish_meshweaver() {
  dismiss_box Meshweaver
  wait_for_window "$title" 60 >/dev/null || fail "main window did not appear"
  "$probe" close "$title" || fail "cannot ask the window to close"
  wait_for_exit "$pid" 60
  [ "$exit_code" = 0 ] || fail "exit code $exit_code"
}

# --- A long triangulation shows the window, and it is gone before "File Saved" ----------
# NOTE: 600000 points take several seconds to triangulate in every build, on any machine
# this runs on, so the window's one-second threshold is passed with a wide margin.
"$make_points" sphere --count 600000 --spacing 0.02 -o "$work/large.dat" >/dev/null ||
  fail "make_points failed"
start_watch "$work/large.log"
start_meshweaver large.dat
id=$(wait_for_shown_window "$progress" 120) || fail "no progress window during a long build"
snapshot_progress "$work/first.ppm" || fail "cannot read the progress window"
read -r x y w h <<<"$("$probe" geometry "$progress")"
text=$("$probe" count "$x" "$y" "$w" "$h" 0 0 0 60)
[ "${text:-0}" -gt 50 ] || fail "the progress window shows no text ($text dark pixels)"
# The elapsed time at least changes every second while the work goes on.
changed=
end=$((SECONDS + 60))
while [ $SECONDS -lt $end ] && [ -z "$changed" ]; do
  snapshot_progress "$work/later.ppm" || break  # the window may be gone: the work is done
  cmp -s "$work/first.ppm" "$work/later.ppm" || changed=yes
  sleep 0.2
done
[ -n "$changed" ] || fail "the progress window was not repainted with new text"

wait_for_window Meshweaver 600 >/dev/null || fail "no 'File Saved' box"
xdotool search --name "^${progress}\$" >/dev/null 2>&1 &&
  fail "the progress window still exists when 'File Saved' is up"
[ -e "$work/large.wrl" ] || fail "no mesh file"
[ -e "$work/large.dat" ] && fail "input not deleted after the save"
finish_meshweaver
stop_watch "$work/large.log"

log="$work/large.log"
[ "$(grep -c " ${progress}\$" "$log")" = 1 ] || fail "the progress window was not shown once"
progress_id=$(grep " ${progress}\$" "$log" | cut -d' ' -f2)
gone_at=$(grep -n -E "^(unmap|destroy) ${progress_id}\$" "$log" | head -n 1 | cut -d: -f1)
saved_at=$(grep -n '^map [0-9]* Meshweaver$' "$log" | tail -n 1 | cut -d: -f1)
[ -n "$gone_at" ] || fail "the progress window never went away"
[ -n "$saved_at" ] && [ "$gone_at" -lt "$saved_at" ] ||
  fail "the progress window went away after 'File Saved' was shown: $(cat "$log")"

# --- A small cloud never shows it --------------------------------------------------------
"$make_points" sphere --count 300 --spacing 0.02 -o "$work/small.dat" >/dev/null ||
  fail "make_points failed"
start_watch "$work/small.log"
start_meshweaver small.dat
wait_for_window Meshweaver 120 >/dev/null || fail "no 'File Saved' box"
[ -e "$work/small.wrl" ] || fail "no mesh file for the small cloud"
finish_meshweaver
stop_watch "$work/small.log"

log="$work/small.log"
# The recorder saw the run: both boxes and the main window.
[ "$(grep -c '^map [0-9]* Meshweaver$' "$log")" -ge 2 ] || fail "the boxes were not recorded: $(cat "$log")"
grep -q "^map .* ${title}\$" "$log" || fail "the main window was not recorded: $(cat "$log")"
grep -q " ${progress}\$" "$log" && fail "a small cloud showed the progress window"
grep -q '^map [0-9]* ?$' "$log" && fail "a window was shown and gone before it could be named: $(cat "$log")"
echo "progress window end to end: ok"
