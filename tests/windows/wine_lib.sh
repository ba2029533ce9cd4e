# Helpers for driving Windows programs under Wine in a private Xvfb without a window
# manager. Sourced by the smoke tests after tests/e2e/lib.sh (fail).
#
# What Wine does here, and what the helpers do about it:
# - keys sent with XSendEvent never reach its message boxes: keys go through XTEST
#   (plain `xdotool key`) with the pointer over the target, since the X focus follows it;
# - without a window manager every window that closes stalls about 2 s;
# - its message box texts are not on the X side: the msgbox trace channel names them;
# - its EDIT control knows no Ctrl+A: Ctrl+Home, Ctrl+Shift+End select the whole text.

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

# Prints the id of the first mapped window whose title is exactly $1 (waits up to $2 s).
wine_wait_visible() {
  local name=$1 timeout=${2:-30} id
  local end=$((SECONDS + timeout))
  while [ $SECONDS -lt $end ]; do
    id=$(xdotool search --onlyvisible --name "^${name}\$" 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Waits until no window is titled exactly $1, mapped or not (up to $2 s).
wine_wait_gone() {
  local name=$1 timeout=${2:-15}
  local end=$((SECONDS + timeout))
  while [ $SECONDS -lt $end ]; do
    xdotool search --name "^${name}\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
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
  id=$(wine_wait_visible "$title" "${2:-30}") || fail "no box titled '$title'"
  wine_point_at "$id"
  end=$((SECONDS + 30))
  while [ $SECONDS -lt $end ]; do
    xdotool key Return
    wine_wait_gone "$title" 2 && return 0
  done
  fail "box '$title' did not close on Return"
}

# Waits for the mapped main window titled $1 (up to $2 s) and prints its id; a set-up box
# of the 3D view ("GLSetup") on the way is answered.
wine_wait_main() {
  local title=$1 timeout=${2:-60} id
  local end=$((SECONDS + timeout))
  while [ $SECONDS -lt $end ]; do
    id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    if xdotool search --onlyvisible --name "^GLSetup\$" >/dev/null 2>&1; then
      wine_dismiss_box GLSetup 5 >&2
    fi
    sleep 0.1
  done
  return 1
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

# Waits up to $2 s for process $1, a child of this shell, and sets exit_code to its exit
# code; ends it and fails when it does not exit.
# NOTE: must run in this shell, not in $(...): a subshell cannot collect the code of a
# child that ends while it polls, and bash then reports -1.
wine_wait_exit() {
  local pid=$1 timeout=${2:-30}
  local end=$((SECONDS + timeout))
  while kill -0 "$pid" 2>/dev/null; do
    if [ $SECONDS -ge $end ]; then
      kill "$pid" 2>/dev/null
      fail "process $pid did not exit within $timeout s"
    fi
    sleep 0.1
  done
  wait "$pid"
  exit_code=$?
}
