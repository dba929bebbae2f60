#!/usr/bin/env bash
# Runs the most complete thing there is on the simulated device.
set -euo pipefail
build=${1:-build/dev}
cli="$build/hosts/cli/vx58420cal"
echo "No desktop host yet: showing the simulated device through the command line."
echo "--- stack voltage (command 0x09)"; "$cli" bus read-word 0x09
echo "--- system voltage (command 0x5A)"; "$cli" bus read-word 0x5A
echo "--- temperature in 0.1 K (command 0x08)"; "$cli" bus read-word 0x08
echo "--- current in mA (command 0x0A)"; "$cli" bus read-word 0x0A
echo "--- status 772 means"; "$cli" errtext 772
