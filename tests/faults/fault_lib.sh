# Helpers of the fault-injection tests: small or read-only file systems for the programs to
# write into, the icon of a message box, and the clean-up of everything a case set up.
# Sourced after tests/e2e/lib.sh; the including script sets probe (the x11_probe binary).

# Exit code that CTest takes as "skipped" (SKIP_RETURN_CODE).
readonly SKIPPED=77

work=$(mktemp -d)
mounts=()
program_pid=

skip() {
  echo "SKIP: $*"
  exit "$SKIPPED"
}

# Ends a program still running, unmounts what the case mounted, removes the work folder.
clean_up() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    kill "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
  fi
  local m
  for m in "${mounts[@]}"; do
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null
  done
  # NOTE: a folder made read-only by its mode bits (a run as a plain user) keeps its files.
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap clean_up EXIT
# NOTE: a timeout ends the test with a signal; clean up then as well.
trap 'exit 143' TERM
trap 'exit 130' INT

# Mounts a new tmpfs of $2 (a size such as 64k) on the new folder $1. Returns 1 when this
# machine does not let us mount (not root, or no mount rights in this container).
mount_small_fs() {
  mkdir -p "$1"
  [ "$(id -u)" = 0 ] || return 1
  mount -t tmpfs -o "size=$2,mode=0755" haldenmoor-faults "$1" 2>/dev/null || return 1
  mounts+=("$1")
}

# Makes the mounted folder $1 read-only, so that nobody, root included, can write in it.
remount_read_only() {
  mount -o remount,ro "$1" 2>/dev/null
}

# Free bytes of the file system that holds $1.
free_bytes() {
  df --output=avail -B1 "$1" | tail -n 1 | tr -d ' '
}

# Prints the icon of the message box titled $1: error (red), information (blue) or none.
# NOTE: both programs' boxes share their caption, so the icon is what tells a failure from
# a success notice; the layer draws them in fixed colours.
box_icon() {
  local title=$1 x y w h red blue
  local end=$((SECONDS + 30))
  while [ $SECONDS -lt $end ]; do
    if read -r x y w h <<<"$("$probe" geometry "$title" 2>/dev/null)" && [ -n "${h:-}" ]; then
      red=$("$probe" count "$x" "$y" "$w" "$h" 220 30 30 0)
      blue=$("$probe" count "$x" "$y" "$w" "$h" 30 80 220 0)
      if [ "${red:-0}" -gt 100 ]; then
        echo error
        return 0
      fi
      if [ "${blue:-0}" -gt 100 ]; then
        echo information
        return 0
      fi
    fi
    sleep 0.2
  done
  echo none
}

# Waits for the box titled $1 (up to $3 seconds), checks that its icon is $2, closes it.
expect_box() {
  local title=$1 want=$2 timeout=${3:-30} got
  wait_for_window "$title" "$timeout" >/dev/null || fail "no '$title' box (expected $want)"
  got=$(box_icon "$title")
  [ "$got" = "$want" ] || fail "the '$title' box shows icon '$got', expected '$want'"
  dismiss_box "$title" 10
}

# Fails when a box titled $1 is shown once the program (main window $title) has handled
# everything so far: a box it shows is up before its thread goes idle.
expect_no_box() {
  wait_for_window "$title" 60 >/dev/null || fail "main window did not appear"
  settle "$title"
  if [ -n "$(shown_window "$1")" ]; then
    fail "an unexpected '$1' box appeared ($(box_icon "$1") icon)"
  fi
  return 0
}

# Prints "X Y W H" of the client area of the window titled $1.
client_area_of() {
  "$probe" geometry "$1"
}

# Saves the client area of the window titled $1 as the PPM file $2.
snapshot_of() {
  local x y w h
  read -r x y w h <<<"$(client_area_of "$1")"
  "$probe" save "$x" "$y" "$w" "$h" "$2" || fail "cannot read the screen"
}
