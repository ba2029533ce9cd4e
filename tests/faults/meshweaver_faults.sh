#!/usr/bin/env bash
# Meshweaver's save under faults, under Xvfb: the mesh file cannot be written (read-only
# folder, full disk, its name taken by a folder). Each time the point file must survive byte
# for byte, no temporary file may be left, an error box must come instead of "File Saved",
# and the window must still open, show the mesh, follow the wheel and R, and exit with 0.
#   meshweaver_faults.sh CASE MESHWEAVER MAKE_POINTS MESH_REFERENCE X11_PROBE
#   CASE: readonly-folder | disk-full | rename-blocked
# Exit code 77 (skipped) when this machine cannot set the case up.
set -u
case_name=$1
meshweaver=$(realpath "$2") make_points=$(realpath "$3") mesh_reference=$(realpath "$4")
probe=$(realpath "$5")
here=$(dirname "$(realpath "$0")")
. "$here/../e2e/lib.sh"
. "$here/fault_lib.sh"
title="Haldenmoor - Meshweaver"

# The input: a sphere whose mesh is about three times the size of the point file.
"$make_points" sphere --count 1500 --spacing 0.03 -o "$work/points.dat" >/dev/null ||
  fail "make_points failed"
"$mesh_reference" "$work/points.dat" "$work/reference.wrl" >/dev/null || fail "mesh_reference failed"
mesh_size=$(stat -c %s "$work/reference.wrl")
folder="$work/scans"

case $case_name in
  readonly-folder)
    if mount_small_fs "$folder" 1m; then
      cp "$work/points.dat" "$folder/scan.dat"
      remount_read_only "$folder" || skip "cannot remount $folder read-only"
    elif [ "$(id -u)" = 0 ]; then
      # NOTE: root writes through any mode bits, so only a read-only mount blocks it.
      skip "running as root and cannot mount a read-only tmpfs here"
    else
      mkdir -p "$folder"
      cp "$work/points.dat" "$folder/scan.dat"
      chmod 555 "$folder"
    fi
    touch "$folder/probe" 2>/dev/null && skip "the folder is still writable"
    ;;
  disk-full)
    mount_small_fs "$folder" 64k || skip "cannot mount a 64 KiB tmpfs here (needs root)"
    cp "$work/points.dat" "$folder/scan.dat" || fail "the point file does not fit the disk"
    free=$(free_bytes "$folder")
    [ "$mesh_size" -gt "$free" ] || fail "set-up: the mesh ($mesh_size bytes) fits $free free bytes"
    echo "set-up: point file $(stat -c %s "$folder/scan.dat") bytes, mesh file $mesh_size bytes, $free bytes free"
    ;;
  rename-blocked)
    # A folder holding a file takes the mesh file's name: the finished file cannot get it.
    mkdir -p "$folder/scan.wrl"
    echo "keep me" >"$folder/scan.wrl/notes.txt"
    cp "$work/points.dat" "$folder/scan.dat"
    ;;
  *)
    fail "unknown case $case_name"
    ;;
esac
listing_before=$(cd "$folder" && find . | sort)

(cd "$folder" && exec "$meshweaver" "$folder/scan.dat") &
program_pid=$!
dismiss_gl_notice
expect_box Meshweaver information 60  # "Starting reconstruction"
# The failure is reported in place of "File Saved".
wait_for_window Meshweaver 120 >/dev/null || fail "no box after the reconstruction"
[ "$(box_icon Meshweaver)" = error ] || fail "the box after the reconstruction is no error box"
# While the box is up the work is over: check the files before the user has seen anything.
cmp -s "$work/points.dat" "$folder/scan.dat" || fail "the point file changed or is gone"
[ "$(cd "$folder" && find . | sort)" = "$listing_before" ] ||
  fail "the folder changed: $(cd "$folder" && find . | sort | tr '\n' ' ')"
dismiss_box Meshweaver 10
expect_no_box Meshweaver  # no "File Saved" after all
wait_for_window "$title" 60 >/dev/null || fail "main window did not appear"
settle "$title"

# The mesh that could not be saved is still shown, and the view still works.
read -r cx cy cw ch <<<"$(client_area_of "$title")"
grey=0
for level in $(seq 20 4 240); do
  n=$("$probe" count "$cx" "$cy" "$cw" "$ch" "$level" "$level" "$level" 2)
  grey=$((grey + n))
done
[ "$grey" -gt 2000 ] || fail "no lit grey mesh in the view ($grey pixels)"
snapshot_of "$title" "$work/home.ppm"
xdotool mousemove "$((cx + cw / 2))" "$((cy + ch / 2))" click 4
settle "$title"
snapshot_of "$title" "$work/wheel.ppm"
cmp -s "$work/home.ppm" "$work/wheel.ppm" && fail "the wheel over the view did nothing"
xdotool key --window "$(wait_for_window "$title")" r
settle "$title"
snapshot_of "$title" "$work/reset.ppm"
cmp -s "$work/home.ppm" "$work/reset.ppm" || fail "R did not restore the home view"

"$probe" close "$title" || fail "cannot ask the window to close"
wait_for_exit "$program_pid" 20
program_pid=
[ "$exit_code" = 0 ] || fail "exit code $exit_code"
cmp -s "$work/points.dat" "$folder/scan.dat" || fail "the point file changed at exit"
[ "$(cd "$folder" && find . | sort)" = "$listing_before" ] || fail "the folder changed at exit"
if [ "$case_name" = rename-blocked ]; then
  [ "$(cat "$folder/scan.wrl/notes.txt")" = "keep me" ] || fail "the folder in the way was changed"
fi
echo "meshweaver fault $case_name: ok"
