#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the records tests, run by an unprivileged user (postgres
# when started by root) in a temporary folder, reachable only through a socket in that folder:
#   scripts/pg-test-cluster.sh start URL_FILE   writes the connection URL into URL_FILE
#   scripts/pg-test-cluster.sh stop URL_FILE    stops the server and removes its folder
#
# The tests' cluster does not sync to disk; VX_PG_FSYNC=on starts one that does, for measuring.
#
# The cluster cannot outlive the test run that started it. ctest runs a fixture's stop step
# only when the run gets that far (not after --stop-on-failure ends it, nor when ctest is
# killed), so the start step leaves a guard (scripts/guard.sh): it watches the process that ran
# the start step (ctest) and stops the cluster and removes its folder within half a second of
# that process going away, however it went. A start also stops every cluster whose
# owner is gone, so an earlier run's leftovers never pile up.
set -euo pipefail
action=$1
arg=${2:-}
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
prefix=/tmp/vx58420-pg.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
guard=$(dirname "$0")/guard.sh
alive() { # owner file
  local pid start
  read -r pid start <"$1" 2>/dev/null || return 1
  "$guard" alive "$pid" "$start"
}
remove() { # folder
  if [ -f "$1/data/postmaster.pid" ]; then
    as_owner "$bin/pg_ctl" -D "$1/data" -m immediate -w -t 10 stop >/dev/null 2>&1 || true
  fi
  rm -rf "$1"
}
reap_orphans() {
  local dir
  for dir in "$prefix"*; do
    [ -d "$dir" ] || continue
    if [ -f "$dir/owner" ]; then
      alive "$dir/owner" && continue
    elif [ -n "$(find "$dir" -maxdepth 0 -mmin -1)" ]; then
      continue # being set up by a start of an older kind of this script
    fi
    remove "$dir"
  done
}

case "$action" in
  start)
    url_file=$arg
    owner=$("$guard" identity "$PPID")
    reap_orphans
    dir=$(mktemp -d "${prefix}XXXXXX")
    echo "$owner" >"$dir/owner"
    chmod 755 "$dir"
    if [ "$(id -u)" -eq 0 ]; then chown postgres "$dir"; fi
    # The guard first: a run killed while the server starts leaves nothing either.
    # shellcheck disable=SC2086
    "$guard" watch $owner "$0" remove "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -A trust -U vx --no-sync >"$dir/initdb.log" 2>&1
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w start \
      -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c fsync=${VX_PG_FSYNC:-off}" >/dev/null
    as_owner "$bin/createdb" -h "$dir" -U vx vx_records
    echo "postgresql:///vx_records?host=$dir&user=vx" >"$url_file"
    ;;
  remove)
    [ -d "$arg" ] && remove "$arg"
    exit 0
    ;;
  stop)
    url_file=$arg
    [ -f "$url_file" ] || exit 0
    dir=$(sed -e 's/.*host=//' -e 's/&.*//' "$url_file")
    case "$dir" in "$prefix"*) remove "$dir" ;; esac
    rm -f "$url_file"
    ;;
  *)
    echo "pg-test-cluster.sh: start or stop" >&2
    exit 2
    ;;
esac
