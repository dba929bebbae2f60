#!/usr/bin/env bash
# No database server outlives the test run that started it: the records tests run in a sub-run
# of ctest that ends early (a failing test with --stop-on-failure, SIGINT, SIGTERM, SIGKILL to
# ctest), and afterwards neither the cluster's server nor its folder may be left.
#   pg_cleanup_test.sh CLUSTER_SCRIPT TEST_RECORDS
set -euo pipefail
script=$1
records=$2
work=$(mktemp -d /tmp/vx58420-pgcheck.XXXXXX)
trap 'rm -rf "$work"' EXIT

# A sub-run: the cluster as the suite's fixture, one records test on it, then `tail`.
subrun() { # folder, what comes after the records test
  mkdir -p "$1"
  cat >"$1/CTestTestfile.cmake" <<EOF
add_test(pg_start "$script" start "$1/pg-url")
set_tests_properties(pg_start PROPERTIES FIXTURES_SETUP pg)
add_test(records "$records" "--gtest_filter=OnBothStores/Records.ManyStationsAtOnceLoseNothing/1")
set_tests_properties(records PROPERTIES FIXTURES_REQUIRED pg ENVIRONMENT "VX_PG_URL_FILE=$1/pg-url")
add_test(tail sh -c "$2")
set_tests_properties(tail PROPERTIES FIXTURES_REQUIRED pg DEPENDS records)
add_test(pg_stop "$script" stop "$1/pg-url")
set_tests_properties(pg_stop PROPERTIES FIXTURES_CLEANUP pg)
EOF
}

# The cluster the sub-run started is gone within 3 s: no server on its folder, no folder.
cluster_of() { sed -e 's/.*host=//' -e 's/&.*//' "$1/pg-url"; }
gone() { # cluster folder, what ended its run
  local cluster=$1
  for _ in $(seq 30); do
    if [ ! -e "$cluster" ] && ! pgrep -f "postgres -D $cluster/" >/dev/null; then
      echo "ok: $2: the cluster $cluster is gone"
      return 0
    fi
    sleep 0.1
  done
  echo "FAILED: $2: the cluster $cluster is still there" >&2
  pgrep -af "postgres -D $cluster/" >&2 || true
  exit 1
}

for sig in INT TERM KILL; do
  # The last test runs until its marker goes (with this script's folder, at the latest).
  marker=$work/$sig/running
  subrun "$work/$sig" "touch $marker; while [ -e $marker ]; do sleep 0.1; done"
  ctest --test-dir "$work/$sig" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 300); do
    [ -e "$marker" ] && break
    sleep 0.1
  done
  [ -e "$marker" ] || {
    echo "FAILED: the sub-run never started its cluster" >&2
    exit 1
  }
  cluster=$(cluster_of "$work/$sig")
  # With its guard gone too, the cluster is an orphan that the next start must remove.
  [ "$sig" = KILL ] && pkill -KILL -f "pg-test-cluster.sh remove $cluster"
  # As Ctrl-C does to the whole foreground group, the test in progress ends too.
  kill "-$sig" "$pid"
  rm -f "$marker"
  wait "$pid" || true
  [ "$sig" = KILL ] || gone "$cluster" "SIG$sig to ctest"
done
orphan=$cluster

subrun "$work/fail" "exit 1"
ctest --test-dir "$work/fail" --stop-on-failure >"$work/fail.log" 2>&1 && {
  echo "FAILED: the sub-run with a failing test passed" >&2
  exit 1
}
grep -q "records .*Passed" "$work/fail.log" || {
  cat "$work/fail.log" >&2
  exit 1
}
gone "$(cluster_of "$work/fail")" "--stop-on-failure after a failed test"
gone "$orphan" "SIGKILL to ctest and its guard, then a new start"

