#!/usr/bin/env bash
# Runs a command under a private Xvfb server on a display number the server picks itself
# (no window manager), unless HALDENMOOR_USE_DISPLAY=1 asks to use the current $DISPLAY.
set -u
if [ "${HALDENMOOR_USE_DISPLAY:-0}" = "1" ] && [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
read -r -t 20 number <"$fifo"
rm -f "$fifo"
if [ -z "${number:-}" ]; then
  echo "run_with_xvfb: Xvfb did not start" >&2
  kill "$xvfb" 2>/dev/null
  exit 1
fi
export DISPLAY=":$number"
# NOTE: a test ended by its timeout gets TERM: the command's process group and the server go
# with it, so no program or Xvfb of a killed test is left running to load later tests.
child=
stop() {
  [ -n "$child" ] && kill -- -"$child" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  exit "$1"
}
trap 'stop 143' TERM
trap 'stop 130' INT
set -m
"$@" &
child=$!
set +m
wait "$child"
rc=$?
child=
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit $rc
