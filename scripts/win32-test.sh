#!/usr/bin/env bash
# The Windows build under Wine: cross-builds vx58420Cal.dll and its tests with mingw-w64,
# registers the DLL with regsvr32 in a fresh Wine prefix, runs the test container in a Wine
# desktop on a virtual X display and the configuration tests, unregisters the DLL and checks
# that nothing is left. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
# What a run leaves (Wine's server and programs, the virtual display, the prefix) goes when the
# run ends, however it ends: on exit, and by a guard when the script itself is killed.
if [ "${1:-}" = --clean ]; then
  prefix=$2
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  [ -s "$prefix.xvfb" ] && kill "$(cat "$prefix.xvfb")" 2>/dev/null
  rm -rf "$prefix" "$prefix".*
  exit 0
fi
scripts/install-deps.sh --win32
JOBS=${JOBS:-2}
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$JOBS"

build=build/win64
dll=$build/win32/plugin/vx58420Cal.dll
prefix=$(mktemp -d /tmp/vx58420-wine.XXXXXX)
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '"$0" --clean "$prefix"' EXIT
# shellcheck disable=SC2046
scripts/guard.sh watch $(scripts/guard.sh identity $$) "$0" --clean "$prefix"

wine wineboot --init >/dev/null 2>&1
# A crash ends the program instead of waiting in the debugger.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ \
  /d '' /f >/dev/null 2>&1

# A run counts only with GoogleTest's closing line for at least one passed case and no failure
# (the Wine desktop does not pass exit codes on).
passed() {
  local text
  text=$(tr -d '\r' <"$1")
  grep -Eq '^\[  PASSED  \] [1-9]' <<<"$text" && ! grep -q '^\[  FAILED  \]' <<<"$text"
}

echo "== regsvr32"
wine regsvr32 "$dll"

echo "== test_container"
log=$prefix.log
# A virtual display of our own (the first free number), so that the guard knows what to stop.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$prefix.display" >/dev/null 2>&1 &
echo $! >"$prefix.xvfb"
for _ in $(seq 100); do [ -s "$prefix.display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$prefix.display")
rm -f "$prefix.display"
# A box nobody answers would wait for ever: every program has a time limit.
timeout 600 wine explorer /desktop=vx58420,1024x768 "$build/tests/win32/test_container.exe" \
  ${VX_WIN_SCREENSHOT:+--screenshot "$VX_WIN_SCREENSHOT"} 2>/dev/null | tee "$log" | tr -d '\r'
passed "$log"

echo "== test_config_win"
timeout 300 wine "$build/tests/win32/test_config_win.exe" 2>/dev/null | tr -d '\r' | tee "$log" | tail -3
passed "$log"

echo "== regsvr32 /u"
wine regsvr32 /u "$dll"
timeout 300 wine "$build/tests/win32/test_container.exe" --after-unregister 2>/dev/null | tr -d '\r' | tee "$log"
passed "$log"
rm -f "$log"
echo "Windows tests: all passed"
