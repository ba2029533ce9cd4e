#!/usr/bin/env bash
# Crash consistency of what the programs write, under Xvfb, with the system calls traced by
# strace: the order that makes a power cut harmless, and the cases around it.
#
# Meshweaver, save: the mesh text is written to a temporary file, the file is fsync'ed, it is
#   renamed over the mesh file, the folder is fsync'ed, and only then is the input unlinked;
#   a stale temporary file of a crashed run is passed over and left alone.
# Meshweaver, input replaced while "Starting reconstruction" is up: the mesh is saved and the
#   new file is kept. Coordinates beyond the limit: an error box, the file kept, no abort.
#   A close asked for while a start-up box is up: every box still comes, the mesh is saved
#   and the program then ends with 0.
# Twinscope, capture: the folder's file system is synced after the last bitmap.
#   durability_test.sh MESHWEAVER MAKE_POINTS MESH_REFERENCE TWINSCOPE MAKE_MATCHES X11_PROBE
set -u
meshweaver=$(realpath "$1") make_points=$(realpath "$2") mesh_reference=$(realpath "$3")
twinscope=$(realpath "$4") make_matches=$(realpath "$5") probe=$(realpath "$6")
here=$(dirname "$(realpath "$0")")
. "$here/lib.sh"
. "$here/../faults/fault_lib.sh"
command -v strace >/dev/null || fail "strace is not installed (scripts/install-deps.sh)"
# NOTE: the leak checker of a sanitizer build cannot run under ptrace and would end every
# traced program with an error; the other end-to-end tests check for leaks.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
# NOTE: program_pid is strace; a traced program must not outlive a failed test.
stop_traced_program() {
  local child
  if [ -n "$program_pid" ]; then
    for child in $(pgrep -P "$program_pid"); do kill "$child" 2>/dev/null; done
  fi
  clean_up
}
trap stop_traced_program EXIT
# NOTE: title is the main window that expect_no_box waits for.
title="Haldenmoor - Meshweaver"

# Line number of the first line of trace $1 at or after line $2 that matches the extended
# regular expression $3; returns 1 when there is none.
# NOTE: called in $(...), where fail would end only the subshell: callers add || fail.
line_of() {
  local n
  n=$(awk -v from="$2" -v re="$3" 'NR >= from && $0 ~ re { print NR; exit }' "$1")
  [ -n "$n" ] && echo "$n"
}

# Line number of the last line of trace $1 that matches $2 (0 when none).
last_line_of() {
  awk -v re="$2" '$0 ~ re { n = NR } END { print n + 0 }' "$1"
}

# Regular-expression form of a path (its dots and other special characters escaped).
re_of() {
  printf '%s' "$1" | sed 's/[][\.*^$+?(){}|/]/\\&/g'
}

# Starts Meshweaver on $1 in its folder, traced into $2 (every thread; descriptors shown
# with their paths).
start_traced_meshweaver() {
  (cd "$(dirname "$1")" && exec strace -f -qq -y -s 0 -o "$2" \
    -e trace=write,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,syncfs \
    "$meshweaver" "$1") &
  program_pid=$!
  dismiss_gl_notice
}

# Closes the main window and checks the exit code 0.
close_and_expect_exit_0() {
  wait_for_window "$title" 60 >/dev/null || fail "main window did not appear"
  "$probe" close "$title" || fail "cannot ask the window to close"
  wait_for_exit "$program_pid" 30
  program_pid=
  [ "$exit_code" = 0 ] || fail "exit code $exit_code"
}

# --- The save order ----------------------------------------------------------------------
folder="$work/scans"
mkdir -p "$folder"
"$make_points" sphere --count 3000 --spacing 0.03 -o "$folder/scan.dat" >/dev/null ||
  fail "make_points failed"
cp "$folder/scan.dat" "$work/reference.dat"
"$mesh_reference" "$work/reference.dat" "$work/reference.wrl" >/dev/null ||
  fail "mesh_reference failed"
printf 'left by a crashed run' >"$folder/scan.wrl.tmp"

trace="$work/save.trace"
start_traced_meshweaver "$folder/scan.dat" "$trace"
expect_box Meshweaver information 60  # "Starting reconstruction"
expect_box Meshweaver information 120 # "File Saved"
close_and_expect_exit_0
cmp "$folder/scan.wrl" "$work/reference.wrl" || fail "the mesh file is not the pipeline's"
[ "$(cat "$folder/scan.wrl.tmp")" = "left by a crashed run" ] || fail "the stale file was changed"
[ "$(ls "$folder" | tr '\n' ' ')" = "scan.wrl scan.wrl.tmp " ] ||
  fail "the folder holds: $(ls "$folder" | tr '\n' ' ')"

temp=$(re_of "$folder/scan.wrl.tmp1") target=$(re_of "$folder/scan.wrl")
input=$(re_of "$folder/scan.dat") dir=$(re_of "$folder")
last_write=$(last_line_of "$trace" "write\\([0-9]+<$temp>")
[ "$last_write" -gt 0 ] || fail "no write to the temporary file $folder/scan.wrl.tmp1"
sync_file=$(line_of "$trace" "$last_write" "f(data)?sync\\([0-9]+<$temp>") ||
  fail "no fsync of the temporary file after its last write"
renamed=$(line_of "$trace" "$sync_file" "rename(at2?)?\\(.*\"$temp\".*\"$target\"") ||
  fail "no rename of the temporary file over the mesh file after its fsync"
sync_dir=$(line_of "$trace" "$renamed" "f(data)?sync\\([0-9]+<$dir>") ||
  fail "no fsync of the folder after the rename"
removed=$(line_of "$trace" "$sync_dir" "unlink(at)?\\(.*\"$input\"") ||
  fail "no unlink of the input after the fsync of the folder"
[ "$(last_line_of "$trace" "unlink(at)?\\(.*\"$input\"")" = "$removed" ] ||
  fail "the input was unlinked more than once"
first_unlink=$(line_of "$trace" 1 "unlink(at)?\\(.*\"$input\"")
[ "$first_unlink" = "$removed" ] || fail "the input was unlinked before the folder's fsync"
echo "save order: writes to line $last_write, fsync $sync_file, rename $renamed," \
  "folder fsync $sync_dir, unlink $removed"

# --- The input replaced while the first box is up -----------------------------------------
cp "$work/reference.dat" "$folder/again.dat"
start_traced_meshweaver "$folder/again.dat" "$work/replaced.trace"
wait_for_window Meshweaver 60 >/dev/null || fail "no 'Starting reconstruction' box"
printf 'a newer file of the same name' >"$folder/newer.dat"
mv "$folder/newer.dat" "$folder/again.dat"
dismiss_box Meshweaver 10
expect_box Meshweaver information 120  # "File Saved", saying the point file was kept
close_and_expect_exit_0
[ "$(cat "$folder/again.dat")" = "a newer file of the same name" ] ||
  fail "the file put in place of the input was not kept"
cmp "$folder/again.wrl" "$work/reference.wrl" || fail "the mesh was not saved"
grep -Eq "unlink(at)?\\(.*again\\.dat" "$work/replaced.trace" && fail "the new file was unlinked"

# --- Coordinates beyond the limit -----------------------------------------------------------
# 2000 points of a small grid, every hundredth at the float limit.
perl -e 'print pack("l<", 2000);
  for my $i (0 .. 1999) {
    my $x = ($i % 100 == 50) ? unpack("f", pack("L", 0x7f7fffff)) : ($i % 45) * 0.02;
    print pack("f<6", $x, int($i / 45) * 0.02, 0, 0, 0, 1) }' >"$folder/far.dat"
cp "$folder/far.dat" "$work/far.dat"
start_traced_meshweaver "$folder/far.dat" "$work/far.trace"
expect_box Meshweaver error 60  # the reason, naming the limit
expect_no_box Meshweaver 3      # no reconstruction, no "File Saved"
close_and_expect_exit_0
cmp -s "$folder/far.dat" "$work/far.dat" || fail "the refused file changed"
[ -e "$folder/far.wrl" ] && fail "a mesh file was written for a refused file"

# --- Close asked for while a start-up box is up ---------------------------------------------
cp "$work/reference.dat" "$folder/closing.dat"
start_traced_meshweaver "$folder/closing.dat" "$work/closing.trace"
wait_for_window Meshweaver 60 >/dev/null || fail "no 'Starting reconstruction' box"
wait_for_window "$title" 60 >/dev/null || fail "no main window behind the first box"
"$probe" close "$title" || fail "cannot ask the main window to close"
dismiss_box Meshweaver 10
expect_box Meshweaver information 120  # "File Saved" still comes
wait_for_exit "$program_pid" 30
program_pid=
[ "$exit_code" = 0 ] || fail "exit code $exit_code after a close during the start-up"
cmp "$folder/closing.wrl" "$work/reference.wrl" || fail "the mesh was not saved"
[ -e "$folder/closing.dat" ] && fail "the input was not deleted after the save"

# --- Twinscope: the capture ends with a sync of the folder's file system --------------------
"$make_matches" random "$work/Matches.dat" --frames 4 --points 50 --seed 3 >/dev/null ||
  fail "make_matches failed"
capture="$work/Twinshot_Capture"
trace="$work/capture.trace"
(cd "$work" && exec strace -f -qq -y -s 0 -o "$trace" -e trace=write,fsync,syncfs,sync \
  "$twinscope" "$work/Matches.dat") &
program_pid=$!
dismiss_gl_notice
twin_title="Haldenmoor - Twinscope"
main=$(wait_for_window "$twin_title" 60) || fail "Twinscope's window did not appear"
settle "$twin_title"
xdotool key --window "$main" c
capture_re=$(re_of "$capture")
end=$((SECONDS + 60))
until grep -Eq "syncfs\\([0-9]+<$capture_re>" "$trace"; do
  [ $SECONDS -lt $end ] || fail "no sync of the capture folder's file system"
  sleep 0.2
done
"$probe" close "$twin_title" || fail "cannot ask Twinscope to close"
wait_for_exit "$program_pid" 30
program_pid=
[ "$exit_code" = 0 ] || fail "Twinscope's exit code $exit_code"
for n in 1 2 3 4; do
  [ -s "$capture/Twinshot000$n.bmp" ] || fail "Twinshot000$n.bmp missing or empty"
done
last_bitmap=$(last_line_of "$trace" "write\\([0-9]+<$capture_re/Twinshot0004\\.bmp>")
[ "$last_bitmap" -gt 0 ] || fail "no write to the last bitmap"
synced=$(line_of "$trace" "$last_bitmap" "syncfs\\([0-9]+<$capture_re>\\) = 0") ||
  fail "no successful sync of the capture folder's file system after the last bitmap"
echo "capture: last bitmap written at line $last_bitmap, file system synced at $synced"
echo "durability end to end: ok"
