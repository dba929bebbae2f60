#!/usr/bin/env bash
# The main job: the desktop host on the simulated device where a display exists, else the
# command line's headless demo on the same simulated device.
set -euo pipefail
build=${1:-build/dev}
host="$build/hosts/desktop/vx58420-host"
cli="$build/hosts/cli/vx58420cal"
if [ -x "$host" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec "$host"
fi
echo "No display here: running the headless demo of the command line on the simulator."
state=$(mktemp --suffix=.json)
# The demo's run is recorded in a store of its own, which goes with it: the user's stays as it was.
records=$(mktemp --suffix=.sqlite)
rm -f "$records"
trap 'rm -f "$state" "$records"*' EXIT
"$cli" sim-state --miscalibrated > "$state"
echo
echo "== A miscalibrated simulated device, as the page's scan reads it:"
"$cli" --sim "$state" read
echo
echo "== Calibrating with the true values as references (stack, system voltage, temperature, current):"
"$cli" --sim "$state" --save-state "$state" --records "$records" calibrate --verify \
  --voltages 2050,4160,6240,8360,10455 --system-voltage 12255 --temperature 25 --current -500
echo
echo "== The same device afterwards:"
"$cli" --sim "$state" read
