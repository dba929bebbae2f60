#!/usr/bin/env bash
# Cleans up after a process however it ends (an error, a signal, SIGKILL), for the servers and
# displays the tests start:
#   scripts/guard.sh identity PID          prints "PID START": the process and when it started
#   scripts/guard.sh alive PID START       exit 0 while that very process runs (not a reused pid)
#   scripts/guard.sh watch PID START CMD…  in a session of its own, with no terminal or pipes
#                                          held: runs CMD within half a second of the process
#                                          going away
set -euo pipefail
identity() {
  local pid=$1 stat
  stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  # Field 22 of /proc/PID/stat, counted after the command's name (field 2) was cut off.
  # shellcheck disable=SC2086
  set -- $stat
  echo "$pid ${20}"
}
alive() {
  [ "$(identity "$1" 2>/dev/null)" = "$1 $2" ]
}
case "${1:-}" in
  identity) identity "$2" ;;
  alive) alive "$2" "$3" ;;
  watch)
    shift
    pid=$1 start=$2
    shift 2
    # Detached, so that neither the caller's pipes (ctest waits for them to close) nor a Ctrl-C
    # to its process group reach the guard.
    setsid bash -c 'while "$0" alive "$1" "$2"; do sleep 0.5; done; shift 2; exec "$@"' \
      "$0" "$pid" "$start" "$@" </dev/null >/dev/null 2>&1 &
    ;;
  *)
    echo "guard.sh: identity PID, alive PID START or watch PID START COMMAND..." >&2
    exit 2
    ;;
esac
