#!/usr/bin/env bash
# records upgrade at scale: a store of N records of a simulated line, turned into one of the
# first schema (the record in its run's row, no uid, no derived columns), then brought up to
# date by the command a user types. Prints the time it took and checks the columns it filled.
#   bench/records_upgrade.sh N [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
n=$1
build=${2:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
db="$work/old.sqlite"
"$build/bench/records_scale" "$db" "$n" --fill-only >/dev/null 2>&1
python3 - "$db" <<'PY'
import sqlite3, sys
c = sqlite3.connect(sys.argv[1])
c.executescript("""
CREATE TABLE old_runs (id INTEGER PRIMARY KEY AUTOINCREMENT, time_utc TEXT NOT NULL,
  station TEXT NOT NULL, operator TEXT NOT NULL, unit TEXT NOT NULL, run TEXT NOT NULL,
  outcome TEXT NOT NULL, record TEXT NOT NULL);
INSERT INTO old_runs SELECT r.id, r.time_utc, r.station, r.operator, r.unit, r.run, r.outcome,
  x.record FROM vx_runs r JOIN vx_records x ON x.id = r.id;
DROP TABLE vx_runs; DROP TABLE vx_records;
ALTER TABLE old_runs RENAME TO vx_runs;
CREATE INDEX vx_runs_unit ON vx_runs (unit); CREATE INDEX vx_runs_time ON vx_runs (time_utc);
UPDATE vx_schema SET version = 1;
""")
c.commit()
c.execute("VACUUM")
PY
sync
echo "records upgrade of $n version-1 records:"
/usr/bin/time -f "  %e s, %M KB at most" "$build/hosts/cli/vx58420cal" --records "$db" records upgrade
python3 - "$db" <<'PY'
import sqlite3, sys
c = sqlite3.connect(sys.argv[1])
filled = c.execute("SELECT COUNT(*) FROM vx_runs WHERE cor_cap1 IS NOT NULL OR cor_temp IS NOT NULL").fetchone()[0]
total = c.execute("SELECT COUNT(*) FROM vx_runs").fetchone()[0]
print(f"  {filled} of {total} runs have their corrections filled")
PY
