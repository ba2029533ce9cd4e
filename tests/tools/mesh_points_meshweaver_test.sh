#!/usr/bin/env bash
# mesh_points writes what Meshweaver writes: the real program under Xvfb and the tool on
# copies of the same point files (a sphere, and a file of no points), compared byte for byte.
#   mesh_points_meshweaver_test.sh MESH_POINTS MESHWEAVER MAKE_POINTS X11_PROBE
set -u
mesh_points=$(realpath "$1") meshweaver=$(realpath "$2") make_points=$(realpath "$3") probe=$(realpath "$4")
. "$(dirname "$0")/../e2e/lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/program" "$work/tool"
"$make_points" torus --count 2500 --spacing 0.03 -o "$work/program/torus.dat" >/dev/null ||
  fail "make_points failed"
printf '\0\0\0\0' >"$work/program/empty.dat"
cp "$work/program/"*.dat "$work/tool/"

for name in torus empty; do
  (cd "$work/program" && exec "$meshweaver" "$name.dat") &
  pid=$!
  dismiss_gl_notice
  dismiss_box Meshweaver 60
  dismiss_box Meshweaver 120
  wait_for_window "Haldenmoor - Meshweaver" 60 >/dev/null || fail "no main window for $name"
  "$probe" close "Haldenmoor - Meshweaver" || fail "cannot ask the window to close"
  wait_for_exit "$pid" 60
  [ -e "$work/program/$name.dat" ] && fail "Meshweaver kept $name.dat"
  [ -s "$work/program/$name.wrl" ] || fail "Meshweaver wrote no $name.wrl"
  "$mesh_points" "$work/tool/$name.dat" >/dev/null || fail "mesh_points failed on $name.dat"
  cmp "$work/program/$name.wrl" "$work/tool/$name.wrl" ||
    fail "$name.wrl of mesh_points differs from Meshweaver's"
done
echo "mesh_points writes Meshweaver's files"
