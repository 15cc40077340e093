#!/bin/sh
# Runs a command with DISPLAY set to a virtual X display of its own, started
# for it and stopped after it, and exits with the command's status:
#   on-virtual-display.sh COMMAND [ARGS...]
# The windowing tests run this way under Wine (as the emulator in front of
# cmake/wine-run.sh); when WINEPREFIX is set, that prefix's Wine server is
# ended before the display. Needs Xvfb (scripts/install-windows-deps.sh).
set -u

if ! command -v Xvfb >/dev/null 2>&1; then
  echo "on-virtual-display: Xvfb is not installed (scripts/install-windows-deps.sh)" >&2
  exit 1
fi
fifo_dir=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo_dir/display" >/dev/null 2>&1 &
xvfb=$!
# Wine's desktop process belongs to the display it started on: it goes,
# with the prefix's server, before the display does.
# shellcheck disable=SC2317 # not unreachable: the EXIT trap calls it
stop() {
  [ -n "${WINEPREFIX:-}" ] && timeout 30 wineserver -k >/dev/null 2>&1
  kill "$xvfb" 2>/dev/null
  rm -rf "$fifo_dir"
}
trap stop EXIT
for _ in $(seq 1 50); do [ -s "$fifo_dir/display" ] && break; sleep 0.2; done
if [ ! -s "$fifo_dir/display" ]; then
  echo "on-virtual-display: the virtual display did not start" >&2
  exit 1
fi
DISPLAY=:$(head -n1 "$fifo_dir/display")
export DISPLAY
status=0
"$@" || status=$?
exit $status
