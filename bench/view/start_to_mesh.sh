#!/usr/bin/env bash
# Time from Meshweaver's start to the mesh on screen for a 100k-point sphere, without the
# time the boxes wait for the user, next to the bare reconstruction of the same points.
# Run under tests/run_with_xvfb.sh:  start_to_mesh.sh BUILD_DIR
set -u
build=$(realpath "$1")
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/tests/e2e/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/make_points/make_points" sphere --count 100000 --spacing 0.01 -o "$work/points.dat" >/dev/null
cp "$work/points.dat" "$work/copy.dat"
now() { date +%s.%N; }

t0=$(now)
(cd "$work" && exec "$build/meshbuilder/meshweaver" points.dat) &
pid=$!
gl=$(wait_for_window GLSetup 5) && { t_gl=$(now); press_return_in "$gl"; t_gl_done=$(now); } || { t_gl=$t0; t_gl_done=$t0; }
wait_for_window Meshweaver 60 >/dev/null; t1=$(now)
dismiss_box Meshweaver; t2=$(now)
wait_for_window Meshweaver 120 >/dev/null; t3=$(now)
dismiss_box Meshweaver; t4=$(now)
title="Haldenmoor - Meshweaver"
wait_for_window "$title" 20 >/dev/null
while :; do
  read -r x y w h <<<"$("$build/tests/e2e/x11_probe" geometry "$title")"
  n=$("$build/tests/e2e/x11_probe" nonblack "$x" "$y" "$w" "$h")
  [ "$n" -gt 5000 ] && break
  sleep 0.02
done
t5=$(now)
"$build/tests/e2e/x11_probe" close "$title"
wait_for_exit "$pid" 20

ref_start=$(now)
"$build/tests/e2e/mesh_reference" "$work/copy.dat" "$work/ref.wrl" >/dev/null
ref=$(echo "$(now) - $ref_start" | bc -l)
program=$(echo "($t_gl - $t0) + ($t1 - $t_gl_done) + ($t3 - $t2) + ($t5 - $t4)" | bc -l)
printf "parts: start to GL box %.2f, to first box %.2f, reconstruction and save %.2f, to mesh on screen %.2f\n" "$(echo "$t_gl - $t0" | bc -l)" "$(echo "$t1 - $t_gl_done" | bc -l)" "$(echo "$t3 - $t2" | bc -l)" "$(echo "$t5 - $t4" | bc -l)"
printf "program, start to mesh on screen without box waits: %.2f s\n" "$program"
printf "load + reconstruct + write without a window (mesh_reference): %.2f s\n" "$ref"
printf "ratio: %.3f\n" "$(echo "$program / $ref" | bc -l)"
