#!/usr/bin/env bash
# The Windows build under Wine, for 64-bit and for 32-bit hosts: cross-builds each
# vx58420Cal.dll and its test container with mingw-w64, and in one fresh Wine prefix, for each
# bitness: registers the DLL with that bitness's regsvr32 (each lands in its own registry view),
# runs the test container in a Wine desktop on a virtual X display, drives the control from
# VBScript and JScript with Wine's own cscript of that bitness, unregisters twice, registers
# again to the same keys, and checks that unregistering leaves nothing. The configuration tests
# on the system's profile reader run once, 64-bit. Exits non-zero on any failure.
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
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$JOBS" --target vx58420Cal test_container

# Some kernels run no 32-bit programs (their IA-32 emulation switched off): Wine's 32-bit side
# cannot start there. Such a machine runs the 64-bit side alone, through the 64-bit loader, and
# says so; the 32-bit DLL and container are still built above.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  bitnesses="64 32" wine_loader=/usr/lib/wine/wine ran="64-bit and 32-bit"
else
  bitnesses=64 wine_loader=/usr/lib/wine/wine64 ran="64-bit; this machine runs no 32-bit programs"
  export WINELOADER=$wine_loader
  echo "== this machine runs no 32-bit programs: the 32-bit tests are left out"
fi
# The loader that starts either bitness's programs (the wine command's choice, made here).
wine() { "$wine_loader" "$@"; }
winepath() { "$wine_loader" winepath "$@"; }

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

log=$prefix.log
# A virtual display of our own (the first free number), so that the guard knows what to stop.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$prefix.display" >/dev/null 2>&1 &
echo $! >"$prefix.xvfb"
for _ in $(seq 100); do [ -s "$prefix.display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$prefix.display")
rm -f "$prefix.display"

clsid='{6A1C3E52-58A4-4C20-9E5D-0B7F3A9C5842}'
libid='{6A1C3E51-58A4-4C20-9E5D-0B7F3A9C5842}'
# The keys registration writes, as one bitness's view of the registry holds them.
keys() {
  local view=$1 key
  for key in "HKCR\\CLSID\\$clsid" 'HKCR\vx58420Cal.Cal' "HKCR\\TypeLib\\$libid"; do
    rm -f "$prefix.reg"
    wine reg export "$key" "$prefix.reg" "/reg:$view" /y >/dev/null 2>&1 || continue
    iconv -f UTF-16 -t UTF-8 "$prefix.reg" | tr -d '\r'
  done
}
# Each bitness's own loader runs its own regsvr32 and cscript.
for bits in $bitnesses; do
  if [ "$bits" = 64 ]; then
    build=build/win64 loader=/usr/lib/wine/wine64 other=32
  else
    build=build/win32 loader=/usr/lib/wine/wine other=64
  fi
  dll=$build/win32/plugin/vx58420Cal.dll
  dll_win=$(winepath -w "$dll" 2>/dev/null)
  echo "== $bits-bit: regsvr32"
  "$loader" regsvr32 "$dll_win"
  # An export writes each backslash of a value twice.
  keys "$bits" >"$prefix.first"
  grep -qF "${dll_win//\\/\\\\}" "$prefix.first" || { echo "not registered in the $bits-bit view" >&2; exit 1; }
  # The class is per view; the type library's key may be shared by both.
  if wine reg query "HKCR\\CLSID\\$clsid" "/reg:$other" >/dev/null 2>&1; then
    echo "the class is registered in the $other-bit view too" >&2
    exit 1
  fi

  echo "== $bits-bit: test_container"
  # A box nobody answers would wait for ever: every program has a time limit.
  timeout 600 "$wine_loader" explorer /desktop=vx58420,1024x768 "$build/tests/win32/test_container.exe" \
    ${VX_WIN_SCREENSHOT:+--screenshot "$VX_WIN_SCREENSHOT"} 2>/dev/null | tee "$log" | tr -d '\r'
  passed "$log"

  for script in tests/win32/scripts/members.vbs tests/win32/scripts/members.js; do
    echo "== $bits-bit: cscript $(basename "$script")"
    timeout 120 "$loader" cscript //nologo "$(winepath -w "$script" 2>/dev/null)" 2>/dev/null |
      tr -d '\r' | tee "$log"
    grep -qx 'script: all passed' "$log"
  done

  if [ "$bits" = 64 ]; then
    echo "== test_config_win"
    timeout 300 "$wine_loader" "$build/tests/win32/test_config_win.exe" 2>/dev/null | tr -d '\r' |
      tee "$log" | tail -3
    passed "$log"
  fi

  echo "== $bits-bit: regsvr32 /u twice, register again"
  "$loader" regsvr32 /u "$dll_win"
  "$loader" regsvr32 /u "$dll_win"
  "$loader" regsvr32 "$dll_win"
  keys "$bits" | diff "$prefix.first" - || { echo "registered again to other keys" >&2; exit 1; }
  "$loader" regsvr32 /u "$dll_win"
  keys "$bits" >"$prefix.after"
  if [ -s "$prefix.after" ]; then echo "unregistering left keys" >&2; exit 1; fi
  timeout 300 "$wine_loader" "$build/tests/win32/test_container.exe" --after-unregister 2>/dev/null |
    tr -d '\r' | tee "$log"
  passed "$log"
  VX_WIN_SCREENSHOT=""  # one screenshot, of the 64-bit page
done
rm -f "$log"
echo "Windows tests: all passed, $ran"
