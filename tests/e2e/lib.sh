# Helpers for the end-to-end tests: windows found by title, boxes dismissed, pixels read.
# Sourced by the test scripts, which run under tests/run_with_xvfb.sh.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs the command $2... every 0.1 s until it succeeds, for up to $1 seconds; returns 1 when
# it never did. The one wait of the helpers here and of the Wine helpers.
wait_until() {
  local timeout=$1
  shift
  local end=$((SECONDS + timeout))
  while [ $SECONDS -lt $end ]; do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Prints the id of the first window whose title is exactly $1 (with $2 = shown: of the first
# shown one); fails when there is none now.
find_window() {
  local only=() id
  [ "${2:-}" = shown ] && only=(--onlyvisible)
  id=$(xdotool search "${only[@]}" --name "^${1}\$" 2>/dev/null | head -n 1)
  [ -n "$id" ] && echo "$id"
}

# True when no window is titled exactly $1, shown or not.
no_window() {
  ! xdotool search --name "^${1}\$" >/dev/null 2>&1
}

# True when window $1 (an id) no longer exists.
window_gone() {
  ! xdotool getwindowname "$1" >/dev/null 2>&1
}

# Prints the id of the first window whose title is exactly $1, waiting up to $2 seconds.
wait_for_window() {
  wait_until "${2:-30}" find_window "$1"
}

# Prints the id of the first shown window whose title is exactly $1, waiting up to $2 seconds.
wait_for_shown_window() {
  wait_until "${2:-30}" find_window "$1" shown
}

# Waits until no window is titled exactly $1 (up to $2 seconds).
wait_for_no_window() {
  wait_until "${2:-30}" no_window "$1"
}

# Presses Return in window $1 through XTEST, with the pointer over it.
# NOTE: not `xdotool key --window`: when the window closes on the key press, xdotool fails
# before it sends the release, and the server's auto-repeat then types Return on.
press_return_in() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove "$((X + WIDTH / 2))" "$((Y + HEIGHT / 2))"
  xdotool key Return
}

# Closes the message box titled $1 with the Return key; fails when none appears.
# NOTE: waits for the box to be shown, not only made: a key pressed over a box that is not
# mapped yet goes to the root window and is lost.
dismiss_box() {
  local title=$1 id
  id=$(wait_for_shown_window "$title" "${2:-30}") || fail "no box titled '$title'"
  press_return_in "$id"
  wait_until 10 window_gone "$id" && return 0
  fail "box '$title' did not close on Return"
}

# Prints the id of a shown window titled exactly $1, if there is one now (no waiting).
shown_window() {
  find_window "$1" shown || true
}

# Dismisses the software-renderer notice of the view's set-up, if the renderer gives one:
# waits until either the "GLSetup" box or another window of the program is shown (the
# notice comes before any of them), up to $1 seconds (default 60).
dismiss_gl_notice() {
  local timeout=${1:-60} id
  local end=$((SECONDS + timeout))
  while [ $SECONDS -lt $end ]; do
    id=$(shown_window GLSetup)
    if [ -n "$id" ]; then
      press_return_in "$id"
      wait_for_no_window GLSetup 30 || fail "GLSetup box did not close"
      return 0
    fi
    xdotool search --onlyvisible --name '^(Meshweaver|Twinscope|Haldenmoor - .*)$' >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "neither the GLSetup notice nor a window of the program appeared within $timeout s"
}

# Waits until every thread of the program behind the window titled $1 (the main window's and
# the view's) has handled all input sent so far, and the paints it caused (x11_probe sync,
# through _NET_WM_PING, which the layer answers only when a thread is idle). Fails after
# $2 seconds (default 60). Needs $probe.
settle() {
  "$probe" sync "$1" "${2:-60}" || fail "'$1' did not finish handling its input within ${2:-60} s"
}

# Waits for a child process to end and sets exit_code (fails after $2 seconds).
# NOTE: called directly, not in $(...): only the parent shell can wait for its child.
wait_for_exit() {
  local pid=$1 timeout=${2:-20}
  local end=$((SECONDS + timeout))
  while [ $SECONDS -lt $end ]; do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      exit_code=$?
      return 0
    fi
    sleep 0.1
  done
  kill "$pid" 2>/dev/null
  fail "process $pid did not exit"
}
