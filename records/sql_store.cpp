#include "records/sql_store.h"

#include <algorithm>

namespace vx::records {

void SqlStore::CreateSchema() {
  Exec("CREATE TABLE IF NOT EXISTS vx_schema (version INTEGER NOT NULL)", {});
  Exec(std::string("CREATE TABLE IF NOT EXISTS vx_runs (id ") + IdColumn() +
           ", time_utc TEXT NOT NULL, station TEXT NOT NULL, operator TEXT NOT NULL,"
           " unit TEXT NOT NULL, run TEXT NOT NULL, outcome TEXT NOT NULL, record TEXT NOT NULL)",
       {});
  Exec("CREATE INDEX IF NOT EXISTS vx_runs_unit ON vx_runs (unit)", {});
  Exec("CREATE INDEX IF NOT EXISTS vx_runs_time ON vx_runs (time_utc)", {});
  auto rows = Exec("SELECT version FROM vx_schema", {});
  if (rows.empty()) {
    Exec("INSERT INTO vx_schema (version) VALUES (?)", {std::to_string(kSchemaVersion)});
    return;
  }
  int version = std::stoi(rows[0][0].value_or("0"));
  if (version > kSchemaVersion) {
    throw StoreError(Where() + " holds records of schema version " + std::to_string(version) +
                     ", newer than this program's " + std::to_string(kSchemaVersion));
  }
}

std::int64_t SqlStore::Add(const RunRecord& r) {
  auto rows = Exec(
      "INSERT INTO vx_runs (time_utc, station, operator, unit, run, outcome, record) "
      "VALUES (?, ?, ?, ?, ?, ?, ?) RETURNING id",
      {r.time_utc, r.station, r.operator_name, r.unit, r.run, r.outcome,
       ToJson(r).dump(-1, ' ', false, Json::error_handler_t::replace)});
  if (rows.empty() || !rows[0][0]) throw StoreError(Where() + " gave no id for the record");
  return std::stoll(*rows[0][0]);
}

std::vector<RunRecord> SqlStore::Records(const std::vector<Row>& rows) {
  std::vector<RunRecord> out;
  for (const Row& row : rows) {
    try {
      RunRecord r = FromJson(Json::parse(row[1].value_or("null")));
      r.id = std::stoll(row[0].value_or("0"));
      out.push_back(std::move(r));
    } catch (const std::exception& e) {
      throw StoreError(Where() + ": record " + row[0].value_or("?") + " is damaged: " + e.what());
    }
  }
  return out;
}

std::vector<RunRecord> SqlStore::List(const Query& q) {
  std::string sql =
      "SELECT id, record FROM vx_runs WHERE (? = '' OR unit = ?) AND (? = '' OR time_utc >= ?)"
      " AND (? = '' OR outcome = ?) ORDER BY id DESC";
  if (q.limit > 0) sql += " LIMIT " + std::to_string(q.limit);
  auto list = Records(Exec(sql, {q.unit, q.unit, q.since, q.since, q.outcome, q.outcome}));
  std::reverse(list.begin(), list.end());
  return list;
}

std::optional<RunRecord> SqlStore::Get(std::int64_t id) {
  auto list = Records(Exec("SELECT id, record FROM vx_runs WHERE id = ?", {std::to_string(id)}));
  if (list.empty()) return std::nullopt;
  return list.front();
}

}  // namespace vx::records
