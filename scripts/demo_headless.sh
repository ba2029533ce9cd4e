#!/usr/bin/env bash
# The demo without a display (run under tests/run_with_xvfb.sh): answers Meshweaver's
# boxes, saves a screenshot of its window and closes it.
set -u
build=$1 demo=$2
. tests/e2e/lib.sh
probe="$build/tests/e2e/x11_probe"
(cd "$demo" && exec "../$build/meshbuilder/meshweaver" Dotloom.dat) &
pid=$!
dismiss_gl_notice 10
for box in "Starting reconstruction" "File Saved"; do
  echo "Box: $box"
  dismiss_box Meshweaver 120
done
wait_for_window "Haldenmoor - Meshweaver" 20 >/dev/null || fail "no window"
sleep 1
read -r x y w h <<<"$("$probe" geometry "Haldenmoor - Meshweaver")"
"$probe" save "$x" "$y" "$w" "$h" "$demo/meshweaver.ppm"
"$probe" close "Haldenmoor - Meshweaver"
wait_for_exit "$pid" 20
