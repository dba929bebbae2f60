#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
#   scripts/install-deps.sh            what `make test` and `make demo` need
#   scripts/install-deps.sh --win32    also the Windows build: cross compiler, Wine, Xvfb
#   scripts/install-deps.sh --all      both
#   scripts/install-deps.sh --list [--win32|--all]   print the packages, install nothing
# Every program a script or the build calls must come from one of these packages (or from
# what they pull in): scripts/check-deps.sh checks it.
set -euo pipefail
base=(cmake ninja-build g++ make pkg-config git python3 locales libgtest-dev libgmock-dev
      libbenchmark-dev nlohmann-json3-dev libcli11-dev libi2c-dev qt6-base-dev clang-format
      fonts-liberation clang-14 libclang-rt-14-dev libsqlite3-dev libpq-dev postgresql
      libsigrokcxx-dev libglibmm-2.4-dev sigrok-cli sqlite3 time chromium)
# The cross compilers for 64-bit and 32-bit Windows (widl compiles the type library), Wine with
# its 32-bit side (wine32 is an i386 package) and a virtual X display.
win32=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine wine64
       wine32:i386 libwine-dev fonts-wine xvfb xauth googletest)

list=false
packages=("${base[@]}")
for arg in "$@"; do
  case "$arg" in
    --list) list=true ;;
    --win32 | --all) packages+=("${win32[@]}") ;;
    *)
      echo "install-deps.sh: unknown option $arg (--win32, --all, --list)" >&2
      exit 2
      ;;
  esac
done
if $list; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
# wine32 comes from the i386 side of the archive, which a fresh amd64 machine does not list
# (the package is then missing, so the lists are fetched again below).
for p in "${packages[@]}"; do
  if [[ $p == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    break
  fi
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  # A mirror in the middle of its sync serves, for a while, an index that does not match its
  # release file: asked again before giving up, then the install goes on with what was fetched.
  lists_whole=false
  for try in 1 2 3 4; do
    if $SUDO apt-get update -qq; then
      lists_whole=true
      break
    fi
    [ "$try" -eq 4 ] && break
    echo "install-deps: the package lists could not all be fetched (try $try of 4); again in 20 s" >&2
    sleep 20
  done
  install=(apt-get install -y -qq --no-install-recommends)
  if ! DEBIAN_FRONTEND=noninteractive $SUDO "${install[@]}" "${missing[@]}"; then
    $lists_whole && exit 1
    # With the security suite's i386 index missing, an amd64 library taken from that suite has
    # no i386 twin of the same version, and wine32 cannot be installed beside it. The release's
    # own suite lists both architectures whole, so this one install prefers it.
    # shellcheck source=/dev/null
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || exit 1
    echo "install-deps: installing again with the packages of $codename preferred over" \
      "the suites whose lists are missing" >&2
    DEBIAN_FRONTEND=noninteractive $SUDO "${install[@]}" -t "$codename" "${missing[@]}"
  fi
fi
# A decimal-comma locale: the tests check that the page's numbers do not follow the process's.
if ! locale -a 2>/dev/null | grep -qx 'de_DE.utf8'; then
  $SUDO localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
