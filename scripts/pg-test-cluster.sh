#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the records tests, run by an unprivileged user (postgres
# when started by root) in a temporary folder, reachable only through a socket in that folder:
#   scripts/pg-test-cluster.sh start URL_FILE   writes the connection URL into URL_FILE
#   scripts/pg-test-cluster.sh stop URL_FILE    stops the server and removes its folder
set -euo pipefail
action=$1
url_file=$2
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
case "$action" in
  start)
    dir=$(mktemp -d /tmp/vx58420-pg.XXXXXX)
    chmod 755 "$dir"
    if [ "$(id -u)" -eq 0 ]; then chown postgres "$dir"; fi
    as_owner "$bin/initdb" -D "$dir/data" -A trust -U vx --no-sync >"$dir/initdb.log" 2>&1
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w start \
      -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c fsync=off" >/dev/null
    as_owner "$bin/createdb" -h "$dir" -U vx vx_records
    echo "postgresql:///vx_records?host=$dir&user=vx" >"$url_file"
    ;;
  stop)
    [ -f "$url_file" ] || exit 0
    dir=$(sed -e 's/.*host=//' -e 's/&.*//' "$url_file")
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$dir" "$url_file"
    ;;
  *)
    echo "pg-test-cluster.sh: start or stop" >&2
    exit 2
    ;;
esac
