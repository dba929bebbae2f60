#include "records/sql_store.h"

#include <algorithm>

namespace vx::records {

namespace {

const char* const kColumns = "time_utc, station, operator, unit, run, outcome, record, uid";

std::string Dumped(const RunRecord& r) {
  return ToJson(r).dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::vector<SqlStore::Row> SqlStore::Exec(const std::string& sql,
                                          const std::vector<std::string>& params) {
  std::vector<Row> rows;
  Stream(sql, params, [&](const Row& r) { rows.push_back(r); });
  return rows;
}

int SqlStore::Version() {
  if (!TableExists("vx_schema")) return 0;
  auto rows = Exec("SELECT version FROM vx_schema", {});
  if (rows.empty() || !rows[0][0]) return 0;
  try {
    return std::stoi(*rows[0][0]);
  } catch (const std::exception&) {
    throw StoreError(Where() + " holds a schema version that is no number");
  }
}

void SqlStore::Prepare(Access access) {
  int version = Version();
  if (version == kSchemaVersion) return;
  if (version > kSchemaVersion) {
    throw StoreError(Where() + " holds records of schema version " + std::to_string(version) +
                     ", newer than this program's " + std::to_string(kSchemaVersion));
  }
  if (access == Access::kRead) {
    throw StoreError(version == 0 ? Where() + " holds no records"
                                  : Where() + " holds records of the older schema version " +
                                        std::to_string(version) +
                                        "; a program that may write it brings it up to date");
  }
  SchemaTransaction([&] {
    int now = Version();  // another station may have done it meanwhile
    if (now == 0) {
      Create();
    } else if (now < kSchemaVersion) {
      Migrate(now);
    }
  });
}

void SqlStore::Create() {
  Exec("CREATE TABLE vx_schema (version INTEGER NOT NULL)", {});
  Exec(std::string("CREATE TABLE vx_runs (id ") + IdColumn() +
           ", time_utc TEXT NOT NULL, station TEXT NOT NULL, operator TEXT NOT NULL,"
           " unit TEXT NOT NULL, run TEXT NOT NULL, outcome TEXT NOT NULL, record TEXT NOT NULL,"
           " uid TEXT)",
       {});
  Exec("CREATE INDEX vx_runs_unit ON vx_runs (unit)", {});
  Exec("CREATE INDEX vx_runs_time ON vx_runs (time_utc)", {});
  Exec("CREATE UNIQUE INDEX vx_runs_uid ON vx_runs (uid)", {});
  Exec("INSERT INTO vx_schema (version) VALUES (?)", {std::to_string(kSchemaVersion)});
}

void SqlStore::Migrate(int from) {
  if (from < 2) {  // version 1 had no uid: its records keep none
    Exec("ALTER TABLE vx_runs ADD COLUMN uid TEXT", {});
    Exec("CREATE UNIQUE INDEX vx_runs_uid ON vx_runs (uid)", {});
  }
  Exec("UPDATE vx_schema SET version = ?", {std::to_string(kSchemaVersion)});
}

std::int64_t SqlStore::Add(const RunRecord& r) {
  auto rows =
      Exec(std::string("INSERT INTO vx_runs (") + kColumns +
               ") VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
           {r.time_utc, r.station, r.operator_name, r.unit, r.run, r.outcome, Dumped(r), r.uid});
  if (rows.empty() || !rows[0][0]) throw StoreError(Where() + " gave no id for the record");
  return std::stoll(*rows[0][0]);
}

void SqlStore::Update(std::int64_t id, const RunRecord& r) {
  // Only a record whose run has not ended is completed; a finished record is never rewritten.
  auto rows = Exec(
      "UPDATE vx_runs SET time_utc = ?, station = ?, operator = ?, unit = ?, run = ?, "
      "outcome = ?, record = ? WHERE id = ? AND outcome = 'incomplete' RETURNING id",
      {r.time_utc, r.station, r.operator_name, r.unit, r.run, r.outcome, Dumped(r),
       std::to_string(id)});
  if (rows.empty()) {
    throw StoreError(Where() + ": record " + std::to_string(id) + " is not an incomplete record");
  }
}

bool SqlStore::Has(const std::string& uid) {
  return !uid.empty() && !Exec("SELECT id FROM vx_runs WHERE uid = ?", {uid}).empty();
}

void SqlStore::Each(const Query& q, const std::function<void(RunRecord&&)>& row,
                    const Broken& broken) {
  // Only the filters given: each one a condition an index can answer.
  std::string where;
  std::vector<std::string> params;
  auto add = [&](const char* condition, const std::string& value) {
    if (value.empty()) return;
    where += (where.empty() ? " WHERE " : " AND ") + std::string(condition);
    params.push_back(value);
  };
  add("unit = ?", q.unit);
  add("time_utc >= ?", q.since);
  // A date or time given for "until" takes in all of it: "2026-12-06" is the whole day.
  add("time_utc <= ?", q.until.empty() ? "" : q.until + "~");
  add("outcome = ?", q.outcome);
  std::string sql = "SELECT id, record FROM vx_runs" + where;
  if (q.limit > 0) {
    sql = "SELECT id, record FROM (" + sql + " ORDER BY id DESC LIMIT " + std::to_string(q.limit) +
          ") AS newest";
  }
  sql += " ORDER BY id";
  Stream(sql, params, [&](const Row& r) {
    const std::int64_t id = std::stoll(r[0].value_or("0"));
    std::optional<RunRecord> rec;
    try {
      rec = FromJson(Json::parse(r[1].value_or("null")));
    } catch (const Json::exception&) {
      broken(id, "its record is not JSON");
    } catch (const std::runtime_error& e) {
      broken(id, e.what());
    }
    if (!rec) return;
    rec->id = id;
    row(std::move(*rec));
  });
}

std::optional<RunRecord> SqlStore::Get(std::int64_t id) {
  auto rows = Exec("SELECT record FROM vx_runs WHERE id = ?", {std::to_string(id)});
  if (rows.empty()) return std::nullopt;
  try {
    RunRecord r = FromJson(Json::parse(rows[0][0].value_or("null")));
    r.id = id;
    return r;
  } catch (const Json::exception&) {
    throw StoreError(Where() + ": record " + std::to_string(id) + " is damaged: not JSON");
  } catch (const std::runtime_error& e) {
    throw StoreError(Where() + ": record " + std::to_string(id) + " is damaged: " + e.what());
  }
}

}  // namespace vx::records
