# Helpers for driving Windows programs under Wine in a private Xvfb without a window
# manager. Sourced by the smoke tests after tests/e2e/lib.sh (fail, the waits, wait_for_exit).
#
# What Wine does here, and what the helpers do about it:
# - keys sent with XSendEvent never reach its message boxes: keys go through XTEST
#   (plain `xdotool key`) with the pointer over the target, since the X focus follows it;
# - without a window manager every window that closes stalls about 2 s;
# - its message box texts are not on the X side: the msgbox trace channel names them;
# - its EDIT control knows no Ctrl+A: Ctrl+Home, Ctrl+Shift+End select the whole text.

# The start of a smoke test: a private folder $work, removed on exit together with the Wine
# processes and the test's program ($pid) and helper ($patch_pid) when they still run.
wine_begin_test() {
  work=$(mktemp -d)
  pid=""
  patch_pid=""
  trap wine_end_test EXIT
  # NOTE: an outer timeout ends the test with TERM; the exit still ends Wine and cleans up.
  trap 'exit 1' TERM INT
  started=$SECONDS
}

wine_end_test() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$patch_pid" ] && kill "$patch_pid" 2>/dev/null
  wine_shutdown
  rm -rf "$work"
}

# Prints a progress line with the seconds since wine_begin_test.
step() { echo "[$((SECONDS - started)) s] $*"; }

# Creates a private Wine prefix in $1 and exports what every Wine call of the test uses.
# NOTE: HOME goes into the prefix as well, so Wine's menu and desktop files never reach the
# user's own folders.
wine_init_prefix() {
  export WINEPREFIX=$1/prefix
  export HOME=$1/home
  mkdir -p "$HOME"
  # NOTE: WINEDEBUG must start with -all, or Debian's wine wrapper prints a hint about the
  # missing 32-bit Wine on every start; msgbox traces the text of every message box.
  export WINEDEBUG=-all,+msgbox
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  timeout 120 wineboot -i >"$1/wineboot.log" 2>&1 || fail "wineboot could not create a prefix"
}

# Ends the Wine processes of the private prefix (the server and its helpers).
wine_shutdown() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  wineserver -k 2>/dev/null
  timeout 20 wineserver -w 2>/dev/null
  return 0
}

# The texts of the message boxes a run showed so far, one per line, from its trace file $1.
# NOTE: the trace quotes the text as a C string; only \n and \" can occur in ours.
wine_box_texts() {
  sed -n 's/^.*:trace:msgbox:MSGBOX_OnInit L"\(.*\)"$/\1/p' "$1" | sed 's/\\"/"/g'
}

# Puts the pointer at the centre of window $1, so XTEST keys reach it.
wine_point_at() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
}

# Closes the message box titled $1 with Return, as a user would; fails when none shows.
# NOTE: Wine gives a new box the focus when it handles its mapping, so a Return typed before
# that goes elsewhere; it is typed again until the box is gone.
wine_dismiss_box() {
  local title=$1 id end
  id=$(wait_for_shown_window "$title" "${2:-30}") || fail "no box titled '$title'"
  wine_point_at "$id"
  end=$((SECONDS + 30))
  while [ $SECONDS -lt $end ]; do
    xdotool key Return
    wait_for_no_window "$title" 2 && return 0
  done
  fail "box '$title' did not close on Return"
}

# Answers a shown set-up box of the 3D view ("GLSetup"), if there is one now; always fails,
# so that a wait goes on after it.
wine_answer_setup_box() {
  [ -n "$(shown_window GLSetup)" ] && wine_dismiss_box GLSetup 5 >&2
  return 1
}

# Prints the id of the shown window titled $1, or answers a set-up box and fails.
wine_main_window_now() {
  find_window "$1" shown || wine_answer_setup_box
}

# Waits for the shown main window titled $1 (up to $2 s) and prints its id; a set-up box
# of the 3D view ("GLSetup") on the way is answered.
wine_wait_main() {
  wait_until "${2:-60}" wine_main_window_now "$1"
}

# Client area of window $1 as "X Y W H". Without a window manager Wine draws no frame, and
# the X window of a top-level window is its client area.
wine_client_area() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$X $Y $WIDTH $HEIGHT"
}

# Selects the whole text of the EDIT control under screen point ($1, $2), copies it, and
# prints the clipboard with CR LF turned into LF once it holds $3 lines (waits up to $4 s;
# then prints what it held last).
# NOTE: the click gives the control the focus only once Wine has handled it; keys typed before
# that go to the main window. Selecting and copying changes nothing else, so it is done
# again until the clipboard holds the text.
wine_copy_edit_text() {
  local x=$1 y=$2 lines=$3 timeout=${4:-15} got="" tries
  local end=$((SECONDS + timeout))
  while [ $SECONDS -lt $end ]; do
    xdotool mousemove "$x" "$y" click 1 key ctrl+Home ctrl+shift+End ctrl+c
    for tries in 1 2 3 4 5; do
      got=$(timeout 5 xclip -o -selection clipboard 2>/dev/null | tr -d '\r')
      [ -n "$got" ] && [ "$(printf '%s\n' "$got" | wc -l)" -ge "$lines" ] && break 2
      sleep 0.3
    done
  done
  printf '%s\n' "$got"
}
