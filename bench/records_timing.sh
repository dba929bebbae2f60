#!/usr/bin/env bash
# What a record costs: the same --fast calibrate run N times without records, into an SQLite
# file and into a PostgreSQL server on this machine, interleaved; then eight stations at once
# against one run alone, on both stores.
#   bench/records_timing.sh [BUILD_DIR] [N]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/release}
n=${2:-40}
cli="$PWD/$build/hosts/cli/vx58420cal"
work=$(mktemp -d)
url_file="$work/pg-url"
trap '"$root/scripts/pg-test-cluster.sh" stop "$url_file"; rm -rf "$work"' EXIT
"$root/scripts/pg-test-cluster.sh" start "$url_file"
pg=$(cat "$url_file")
export XDG_DATA_HOME="$work"
cd "$work"
"$cli" sim-state --miscalibrated >mis.json
run() {
  "$cli" --fast --sim mis.json --records "$1" --unit T calibrate \
    --voltages 2050,4160,6240,8360,10455 --temperature 25 >/dev/null 2>&1
}
ms() { echo $((($(date +%s%N) - $1) / 1000000)); }
declare -A total=([none]=0 [sqlite]=0 [pg]=0)
run "$work/r.sqlite"
run "$pg"  # the schemas exist before the timing
for _ in $(seq "$n"); do
  for store in none sqlite pg; do
    where=$store
    [ "$store" = sqlite ] && where="$work/r.sqlite"
    [ "$store" = pg ] && where=$pg
    t=$(date +%s%N)
    run "$where"
    total[$store]=$((total[$store] + $(ms "$t")))
  done
done
for store in none sqlite pg; do
  echo "$store: $((total[$store] / n)) ms a run (mean of $n)"
done
for store in sqlite pg; do
  where=$pg
  [ "$store" = sqlite ] && where="$work/r.sqlite"
  for i in $(seq 8); do cp mis.json "s$i.json"; done
  t=$(date +%s%N)
  run "$where"
  one=$(ms "$t")
  t=$(date +%s%N)
  for i in $(seq 8); do
    "$cli" --fast --sim "s$i.json" --records "$where" --unit "S$i" calibrate \
      --voltages 2050,4160,6240,8360,10455 --temperature 25 >/dev/null 2>&1 &
  done
  wait
  echo "$store: one run $one ms, eight stations at once $(ms "$t") ms"
done
