#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail
packages=(cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          nlohmann-json3-dev libcli11-dev libi2c-dev qt6-base-dev clang-format fonts-liberation
          clang-14 libclang-rt-14-dev)
# --win32: also the cross compiler, widl, Wine and a virtual X display for the Windows build.
if [ "${1:-}" = "--win32" ]; then
  packages+=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 libwine-dev fonts-wine xvfb xauth
             googletest)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
