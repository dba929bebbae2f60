#!/usr/bin/env bash
# The records benchmark on both stores: an SQLite file and a throwaway PostgreSQL cluster that
# syncs to disk, each filled with N records of a simulated line, then timed
# (build/release/bench/records_scale), with the size each store takes on disk.
#   bench/records_scale.sh N [sqlite|pg|both] [BUILD_DIR]
# The stores go to a temporary folder under $TMPDIR (about 2 GB per million records each).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
n=$1
which=${2:-both}
build=${3:-build/release}
bench="$root/$build/bench/records_scale"
work=$(mktemp -d)
url_file="$work/pg-url"
trap '"$root/scripts/pg-test-cluster.sh" stop "$url_file"; rm -rf "$work"' EXIT
if [ "$which" != pg ]; then
  echo "## SQLite, $n records"
  "$bench" "$work/records.sqlite" "$n" 2>/dev/null
  echo
  # The file with its write-ahead log and shared memory, whatever is in them.
  echo "On disk: $(du -ch "$work"/records.sqlite* | tail -n 1 | cut -f 1)"
  echo
fi
if [ "$which" != sqlite ]; then
  VX_PG_FSYNC=on "$root/scripts/pg-test-cluster.sh" start "$url_file"
  url=$(cat "$url_file")
  echo "## PostgreSQL, $n records"
  "$bench" "$url" "$n" 2>/dev/null
  echo
  # Every table with its indexes and the rest of the database (catalog, free space).
  echo "On disk: $(psql -XAtq "$url" -c "SELECT string_agg(c.relname || ' ' ||
    pg_size_pretty(pg_total_relation_size(c.oid)), ', ' ORDER BY c.relname) || '; the database ' ||
    pg_size_pretty(pg_database_size(current_database())) FROM pg_class c
    JOIN pg_namespace s ON s.oid = c.relnamespace WHERE c.relkind = 'r' AND s.nspname = 'public'")"
fi
