#!/usr/bin/env bash
# mesh_points on real files: a batch with a broken file among good ones, the mesh files
# against the pipeline's reference and an independent reader (assimp), --from-wrl back to the
# same files, the input kept or consumed, and foreign VRML refused.
#   mesh_points_test.sh MESH_POINTS MAKE_POINTS MESH_REFERENCE
set -u
mesh_points=$(realpath "$1") make_points=$(realpath "$2") mesh_reference=$(realpath "$3")
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
command -v assimp >/dev/null || fail "assimp is missing (scripts/install-deps.sh --tests)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# Prints "VERTICES FACES" as assimp reads FILE.
assimp_counts() {
  assimp info "$1" 2>/dev/null | awk '/^Vertices:/ { v = $2 } /^Faces:/ { f = $2 } END { print v, f }'
}

# --- A batch: the good files are built and written, the broken one is reported ------------
"$make_points" sphere --count 2000 --spacing 0.03 -o sphere.dat >/dev/null || fail "make_points"
"$make_points" torus --count 1500 --spacing 0.03 -o "torus one.dat" >/dev/null || fail "make_points"
printf 'not a point file' >broken.dat
cp sphere.dat sphere.original
"$mesh_points" --format ply,obj,stl sphere.dat broken.dat "torus one.dat" >out.txt 2>err.txt
status=$?
[ "$status" -eq 1 ] || fail "exit status $status with a broken file among good ones"
grep -q '^mesh_points: broken.dat: The point file is too short' err.txt ||
  fail "no reason for the broken file: $(cat err.txt)"
for stem in sphere "torus one"; do
  for ext in wrl ply obj stl; do [ -s "$stem.$ext" ] || fail "$stem.$ext not written"; done
done
[ "$(ls broken.*)" = "broken.dat" ] || fail "files written for the broken input: $(ls broken.*)"
ls | grep -q '\.tmp' && fail "temporary file left behind"
cmp -s sphere.dat sphere.original && [ -e "torus one.dat" ] || fail "an input was not kept"
line=$(grep '^sphere.dat: ' out.txt) || fail "no line for sphere.dat: $(cat out.txt)"
[[ $line =~ ^sphere.dat:\ 2000\ points,\ ([0-9]+)\ triangles,\ [0-9]+\.[0-9][0-9]\ s$ ]] ||
  fail "unexpected line '$line'"
triangles=${BASH_REMATCH[1]}
[ "$(wc -l <out.txt)" -eq 2 ] || fail "not one line per good file: $(cat out.txt)"

# The .wrl is the pipeline's, byte for byte, and has the triangles the line reports.
[ "$("$mesh_reference" sphere.original reference.wrl)" = "2000 $triangles" ] ||
  fail "the reference has other counts"
cmp sphere.wrl reference.wrl || fail "sphere.wrl differs from the pipeline's"

# An independent reader finds the same mesh in every format (STL repeats shared corners).
[ "$(assimp_counts sphere.ply)" = "2000 $triangles" ] || fail "PLY read as $(assimp_counts sphere.ply)"
[ "$(assimp_counts sphere.obj)" = "2000 $triangles" ] || fail "OBJ read as $(assimp_counts sphere.obj)"
[ "$(assimp_counts sphere.stl)" = "$((3 * triangles)) $triangles" ] ||
  fail "STL read as $(assimp_counts sphere.stl)"

# --- --from-wrl gives the files made directly, byte for byte ----------------------------------
mkdir direct && mv sphere.ply sphere.obj sphere.stl direct/
"$mesh_points" --from-wrl sphere.wrl --format ply,obj,stl >/dev/null || fail "--from-wrl failed"
for ext in ply obj stl; do cmp "sphere.$ext" "direct/sphere.$ext" || fail "--from-wrl $ext differs"; done

# --- Foreign VRML is refused with its reason, and nothing is written ---------------------------
printf '#VRML V1.0 ascii\nSeparator {\n  Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] }\n  IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] }\n}\n' >foreign.wrl
"$mesh_points" --from-wrl foreign.wrl 2>err.txt && fail "foreign VRML accepted"
grep -q "^mesh_points: foreign.wrl: line 1: .*only the VRML files Meshweaver writes are read" err.txt ||
  fail "no reason for the foreign VRML: $(cat err.txt)"
[ "$(ls foreign.*)" = "foreign.wrl" ] || fail "files written for foreign VRML"

# --- --consume deletes the input once its files are on the disk ------------------------------
"$mesh_points" --consume --format stl "torus one.dat" >/dev/null || fail "--consume failed"
[ -e "torus one.dat" ] && fail "input kept with --consume"
[ -s "torus one.wrl" ] && [ -s "torus one.stl" ] || fail "mesh files missing after --consume"

# --- A point file named like its mesh file is kept unless --consume lets the mesh replace it ----
cp sphere.original same.wrl
"$mesh_points" same.wrl 2>err.txt && fail "the mesh file replaced its kept input"
grep -q "would replace it" err.txt && cmp -s same.wrl sphere.original || fail "same.wrl changed"
"$mesh_points" --consume same.wrl >/dev/null && cmp -s same.wrl reference.wrl ||
  fail "with --consume the mesh file did not replace its input"

# --- Progress on a terminal only: two runs held on point files that are pipes -----------------
# NOTE: the run without a terminal starts first, so once the terminal shows a progress line
# it too has worked for longer than a second.
mkfifo slow-log.dat slow-tty.dat
"$mesh_points" slow-log.dat >log.out 2>log.err &
log_pid=$!
script -qec "$(printf '%q' "$mesh_points") slow-tty.dat" /dev/null </dev/null >tty.out 2>&1 &
tty_pid=$!
deadline=$((SECONDS + 60))
until grep -q 'slow-tty.dat: reading, [1-9][0-9]* s' tty.out; do
  [ $SECONDS -lt $deadline ] || fail "no progress line on the terminal: $(cat -A tty.out)"
  sleep 0.1
done
timeout 30 bash -c ': >slow-log.dat; : >slow-tty.dat' || fail "the runs did not open their input"
wait "$log_pid" && fail "an empty pipe was taken for a point file"
wait "$tty_pid"
grep -q "^mesh_points: slow-log.dat: The point file is too short" log.err ||
  fail "no reason for the pipe: $(cat log.err)"
[ "$(wc -l <log.err)" -eq 1 ] && ! grep -q $'\r' log.err ||
  fail "progress written to a standard error that is no terminal: $(cat -A log.err)"

"$mesh_points" --version | grep -Eq '^mesh_points \(Haldenmoor\) [0-9]+\.[0-9]+' || fail "--version"
echo "mesh_points: all checks passed"
