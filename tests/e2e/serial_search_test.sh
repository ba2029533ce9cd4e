#!/usr/bin/env bash
# The programs' serial instance of the library's neighbour search gives the library's own
# meshes: mesh_points (serial search, rows computed ahead) against mesh_reference (the
# library as shipped, its own search, no rows ahead) on a sphere, a torus, a plane grid and a
# noisy scan, byte for byte. First checks that the two really run different instances.
#   serial_search_test.sh MESH_POINTS MAKE_POINTS MESH_REFERENCE MESHWEAVER
set -u
mesh_points=$1 make_points=$2 mesh_reference=$3 meshweaver=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The search the library's tree calls, as exported by each program.
exports_search() {
  nm -D --defined-only "$1" | grep -q '_ZNK5flann7NNIndexINS_9L2_SimpleIfEEE9knnSearch'
}
exports_search "$mesh_points" || fail "mesh_points does not carry the serial search"
exports_search "$meshweaver" || fail "meshweaver does not carry the serial search"
exports_search "$mesh_reference" && fail "mesh_reference carries the serial search"

# A scan-like cloud: a wavy patch with millimetre noise, coordinates to three decimals.
awk 'BEGIN { srand(7); for (i = 0; i < 12000; i++) { x = rand() * 3; y = rand() * 3;
  printf "%.3f %.3f %.3f\n", x, y, 0.2 * sin(2 * x) * cos(y) + 0.001 * (rand() - 0.5) } }' \
  >"$work/scan.xyz"

"$make_points" sphere --count 20000 --spacing 0.03 -o "$work/sphere.dat" >/dev/null &&
  "$make_points" torus --count 20000 --spacing 0.03 -o "$work/torus.dat" >/dev/null &&
  "$make_points" plane --count 10000 --spacing 0.03 -o "$work/plane.dat" >/dev/null &&
  "$make_points" convert "$work/scan.xyz" -o "$work/scan.dat" >/dev/null ||
  fail "make_points failed"
for shape in sphere torus plane scan; do
  "$mesh_reference" "$work/$shape.dat" "$work/$shape-reference.wrl" >/dev/null ||
    fail "mesh_reference failed on the $shape"
  "$mesh_points" "$work/$shape.dat" >/dev/null || fail "mesh_points failed on the $shape"
  [ "$(wc -c <"$work/$shape.wrl")" -gt 1000 ] || fail "no mesh for the $shape"
  cmp "$work/$shape.wrl" "$work/$shape-reference.wrl" ||
    fail "the $shape's mesh differs from the library's own"
done
echo "PASS"
