#!/usr/bin/env bash
# Installs what is missing to build and run (not what only the tests need), builds, makes a demo point file (a sphere) and starts
# Meshweaver on a copy of it. Without a display it runs in a virtual X server, answers the
# boxes itself and saves a screenshot instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${HALDENMOOR_BUILD_DIR:-build}
# NOTE: no tests or benchmarks, whose libraries only the test command installs; the X probe
# that answers the boxes without a display is built all the same.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALDENMOOR_TESTS=OFF -DHALDENMOOR_BENCH=OFF \
  >/dev/null
cmake --build "$build" -j"$(nproc)" --target meshweaver make_points twinscope make_matches x11_probe

mkdir -p demo
"$build/tools/make_points/make_points" sphere --count 20000 --spacing 0.02 -o demo/sphere.dat
"$build/tools/make_matches/make_matches" demo demo/MatchInfo.dat
# NOTE: Meshweaver consumes its input, so it gets a copy.
cp demo/sphere.dat demo/Dotloom.dat
rm -f demo/Dotloom.wrl

if [ -n "${DISPLAY:-}" ]; then
  echo "Starting Meshweaver on demo/Dotloom.dat (a sphere of 20000 points)."
  (cd demo && "../$build/meshbuilder/meshweaver" Dotloom.dat)
else
  echo "No display: running Meshweaver in a virtual X server."
  tests/run_with_xvfb.sh bash scripts/demo_headless.sh "$build" demo
  echo "Screenshot of the window: demo/meshweaver.ppm"
fi
[ -f demo/Dotloom.wrl ] && echo "The mesh was saved to demo/Dotloom.wrl ($(stat -c %s demo/Dotloom.wrl) bytes)."
echo "Twinscope sample: (cd demo && ../$build/matchviewer/twinscope)  opens demo/MatchInfo.dat"
