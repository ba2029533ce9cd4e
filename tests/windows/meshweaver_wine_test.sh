#!/usr/bin/env bash
# Smoke test of meshweaver.exe under Wine, in a private Xvfb without a window manager: on a
# sphere under a path with a blank, and on a plane, it shows "Starting reconstruction" while
# the input is untouched and nothing is written, "File Saved" once the mesh file is there
# and the input is gone; the mesh file is byte for byte the one the Linux build writes for
# the same input; the main window comes up and closing it gives exit code 0. Without a file
# the default Dotloom.dat is missing: "Cannot open file", nothing written, the window comes
# up and closes with exit code 0.
#   meshweaver_wine_test.sh MESHWEAVER.EXE MAKE_POINTS MESH_REFERENCE X11_PROBE
# MAKE_POINTS and MESH_REFERENCE are the Linux build's: the sphere and the reference mesh.
set -u
meshweaver_exe=$1 make_points=$2 mesh_reference=$3 probe=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../e2e/lib.sh"
. "$here/wine_lib.sh"

wine_begin_test
title="Haldenmoor - Meshweaver"

mkdir -p "$work/data" "$work/run" "$work/empty"
cp "$meshweaver_exe" "$work/meshweaver.exe"

# Starts meshweaver.exe in folder $1 with the remaining arguments; its trace goes to $work/$2.
start_meshweaver() {
  local folder=$1 trace=$work/$2
  shift 2
  (cd "$folder" && exec wine "$work/meshweaver.exe" "$@" 2>"$trace") &
  pid=$!
}

# The message box texts of trace $1 so far, GLSetup's notice about the software renderer
# aside (Wine may or may not give it).
boxes_of() { wine_box_texts "$work/$1" | grep -vx "No hardware acceleration"; }

# Waits until trace $1 has shown $2 boxes (up to $3 s) and prints the id of the visible box
# titled Meshweaver other than window $4; a GLSetup box on the way is answered.
wait_box() {
  wait_until "$3" box_after "$1" "$2" "${4:-}"
}

# Prints the id of the visible box titled Meshweaver other than window $3 once trace $1 has
# shown $2 boxes; otherwise answers a GLSetup box and fails.
box_after() {
  local id
  if [ "$(boxes_of "$1" | wc -l)" -ge "$2" ]; then
    id=$(xdotool search --onlyvisible --name "^Meshweaver\$" 2>/dev/null | grep -vx "$3" | head -n 1)
    [ -n "$id" ] && echo "$id" && return 0
  fi
  wine_answer_setup_box
}

# True while box $1 (a window id) is shown.
box_shown() { xdotool search --onlyvisible --name "^Meshweaver\$" 2>/dev/null | grep -qx "$1"; }

# Answers box $1 with Return, as a user would, and waits until it is gone.
# NOTE: Wine gives a new box the focus when it handles its mapping, so a Return typed before
# that goes elsewhere; it is typed again while this box (by its id) stays.
answer_box() {
  local end=$((SECONDS + 30)) retry
  wine_point_at "$1"
  while box_shown "$1"; do
    [ $SECONDS -lt $end ] || fail "box $1 did not close on Return"
    xdotool key Return
    retry=$((SECONDS + 2))
    while box_shown "$1" && [ $SECONDS -lt $retry ]; do sleep 0.1; done
  done
}

# Closes the main window as a window manager does and checks the exit code.
close_and_expect_zero() {
  "$probe" close "$title" || fail "$1: no main window to close"
  wait_for_exit "$pid" 30
  pid=""
  [ "$exit_code" = 0 ] || fail "$1: exit code $exit_code"
}

step "creating a Wine prefix"
wine_init_prefix "$work"

# Runs meshweaver.exe on a point file named $1 (in $work/data) that make_points makes with
# the remaining arguments, and checks the boxes, the files and the mesh against the Linux
# build's; the trace goes to $work/$1.trace.
mesh_run() {
  local name=$1 input=$work/data/$1.dat output=$work/data/$1.wrl trace=$1.trace first second
  shift
  "$make_points" "$@" -o "$input" >/dev/null || fail "$name: make_points failed"
  cp "$input" "$work/reference.dat"
  "$mesh_reference" "$work/reference.dat" "$work/$name.reference.wrl" >"$work/reference.txt" ||
    fail "$name: mesh_reference failed"
  read -r vertices triangles <"$work/reference.txt"
  [ "$triangles" -gt 1000 ] || fail "$name: the reference mesh has only $triangles triangles"

  # NOTE: Wine quotes an argument with a blank, so the program also strips the quotes.
  start_meshweaver "$work/run" "$trace" "$(timeout 30 winepath -w "$input")"
  first=$(wait_box "$trace" 1 120) || fail "$name: no 'Starting reconstruction' box"
  [ "$(boxes_of "$trace")" = "Starting reconstruction" ] || fail "$name: first box: $(boxes_of "$trace")"
  [ -e "$output" ] && fail "$name: mesh file exists before the reconstruction started"
  cmp -s "$input" "$work/reference.dat" || fail "$name: input changed before the reconstruction"
  answer_box "$first"
  second=$(wait_box "$trace" 2 120 "$first") || fail "$name: no 'File Saved' box"
  [ "$(boxes_of "$trace")" = "Starting reconstruction
File Saved" ] || fail "$name: boxes: $(boxes_of "$trace")"
  [ -e "$output" ] || fail "$name: 'File Saved' shown before the mesh file exists"
  [ -e "$input" ] && fail "$name: input not deleted after the save"
  answer_box "$second"
  wine_wait_main "$title" 60 >/dev/null || fail "$name: the main window did not appear"
  if ! cmp "$output" "$work/$name.reference.wrl"; then
    diff <(tr -d '\r' <"$output") <(tr -d '\r' <"$work/$name.reference.wrl") | head -n 20
    fail "$name: meshweaver.exe wrote another mesh than the Linux build"
  fi
  [ "$(cd "$work/data" && ls)" = "$name.wrl" ] || fail "$name: files beside the input: $(ls "$work/data")"
  [ -z "$(ls -A "$work/run")" ] || fail "$name: something was written into the current folder"
  close_and_expect_zero "$name"
  [ "$(boxes_of "$trace" | wc -l)" = 2 ] || fail "$name: boxes after closing: $(boxes_of "$trace")"
  rm -f "$output"
  echo "$name: $vertices points, $triangles triangles, the same mesh file"
}

# --- Point files become meshes ----------------------------------------------------------------
step "meshweaver.exe on a sphere, under a path with a blank"
mesh_run "scan one" sphere --count 3000 --spacing 0.03
# NOTE: the regular grid of a plane gives many angles that differ in the last bit only, so
# this mesh changes when atan2f rounds otherwise than the C library of the Linux build.
step "meshweaver.exe on a plane"
mesh_run plane plane --count 2000 --spacing 0.03

# --- No command line and no Dotloom.dat: the open failure is shown, the window comes up -----
step "meshweaver.exe without a file"
start_meshweaver "$work/empty" missing.trace
box=$(wait_box missing.trace 1 120) || fail "no 'Cannot open file' box"
[ "$(boxes_of missing.trace)" = "Cannot open file" ] || fail "boxes: $(boxes_of missing.trace)"
answer_box "$box"
wine_wait_main "$title" 60 >/dev/null || fail "no main window after the open failure"
[ -z "$(ls -A "$work/empty")" ] || fail "something was written for a missing file: $(ls "$work/empty")"
close_and_expect_zero "missing file"
[ "$(boxes_of missing.trace)" = "Cannot open file" ] || fail "boxes: $(boxes_of missing.trace)"

step "done"
echo "meshweaver under Wine: ok"
