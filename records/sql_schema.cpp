// The store's schema: created, checked, and brought up to date in place.
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/outside_wait.h"
#include "records/sql_columns.h"

namespace vx::records {

using namespace sql;

namespace {

// Of a record kept as text, what its columns derive from (its references, its readings before
// and its residuals): a store of millions is brought up to date without building each record
// whole. Throws for a text that is no record.
RunRecord DerivedOf(const std::string& text) {
  const Json j = ParseJson(text);
  RunRecord r;
  for (const Json& ref : j.at("references")) {
    r.references.push_back({ref.at("label").get<std::string>(), ref.at("value").get<std::string>(),
                            ref.contains("source") ? ref["source"] : Json()});
  }
  r.readings_before = j.value("readings_before", Json());
  r.residuals = j.value("residuals", Json());
  return r;
}

// The derived columns of each row (id, record), nothing for a row that holds no record.
// Reading the records is most of an upgrade's work: half of them are read on a second thread.
std::vector<std::optional<SqlStore::Params>> DerivedColumns(
    const std::vector<SqlStore::Row>& rows) {
  std::vector<std::optional<SqlStore::Params>> out(rows.size());
  auto derive = [&](std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to; ++k) {
      try {
        SqlStore::Params p;
        AddDerived(DerivedOf(rows[k][1].value_or("null")), p);
        out[k] = std::move(p);
      } catch (const std::bad_alloc&) {
        throw;  // the whole upgrade fails, and nothing is changed
      } catch (const std::exception&) {
        // no record: its columns stay empty
      }
    }
  };
  const std::size_t half = rows.size() / 2;
  std::exception_ptr failed;
  std::thread other;
  try {
    other = std::thread([&] {
      try {
        derive(half, rows.size());
      } catch (...) {
        failed = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    derive(half, rows.size());  // no second thread to be had: all of them here
  }
  try {
    derive(0, half);
  } catch (...) {
    if (other.joinable()) other.join();
    throw;
  }
  if (other.joinable()) other.join();
  if (failed) std::rethrow_exception(failed);
  return out;
}

}  // namespace

std::function<void(std::int64_t, std::int64_t)>& UpgradeProgress() {
  static std::function<void(std::int64_t, std::int64_t)> told;
  return told;
}

int SqlStore::Version() {
  if (!TableExists("vx_schema")) return 0;
  return VersionIn(Exec("SELECT version FROM vx_schema", {}));
}

int SqlStore::VersionIn(const std::vector<Row>& rows) const {
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
    if (version == 0) throw StoreError(Where() + " holds no records");
    version_ = version;
    older_ = Where() + " holds records of the older schema version " + std::to_string(version) +
             "; vx58420cal records upgrade brings it up to date";
    return;
  }
  const bool upgrade = version > 0;
  if (upgrade) BeforeUpgrade();
  try {
    Transaction([&] {
      LockSchema();
      int now = Version();  // another station may have done it meanwhile
      if (now == 0) {
        Create();
      } else if (now < kSchemaVersion) {
        Migrate(now);
      }
    });
  } catch (...) {
    if (upgrade) AfterUpgrade();
    throw;
  }
  if (upgrade) AfterUpgrade();
}

void SqlStore::Create() {
  Exec("CREATE TABLE vx_schema (version INTEGER NOT NULL)", {});
  std::string table = std::string("CREATE TABLE vx_runs (id ") + IdColumn() + ", time_utc TEXT" +
                      BytewiseCollation() +
                      " NOT NULL, station TEXT NOT NULL, operator TEXT NOT NULL,"
                      " unit TEXT NOT NULL, run TEXT NOT NULL, outcome TEXT NOT NULL,"
                      " uid TEXT, meter TEXT NOT NULL DEFAULT ''";
  Exec(table + ", " + Joined(kMeterColumn + 1, " DOUBLE PRECISION") + ")", {});
  Exec("CREATE TABLE vx_records (id BIGINT PRIMARY KEY, record TEXT NOT NULL)", {});
  Exec("CREATE INDEX vx_runs_unit ON vx_runs (unit)", {});
  Exec("CREATE INDEX vx_runs_time ON vx_runs (time_utc)", {});
  Exec("CREATE UNIQUE INDEX vx_runs_uid ON vx_runs (uid)", {});
  Exec("CREATE INDEX vx_runs_outcome ON vx_runs (outcome)", {});
  Exec("INSERT INTO vx_schema (version) VALUES (?)", {std::to_string(kSchemaVersion)});
}

void SqlStore::Migrate(int from) {
  if (from < 2) {  // version 1 had no uid: its records keep none
    Exec("ALTER TABLE vx_runs ADD COLUMN uid TEXT", {});
    Exec("CREATE UNIQUE INDEX vx_runs_uid ON vx_runs (uid)", {});
  }
  if (from < 3) {  // the columns that lists, exports and statistics read; the records apart
    Exec("ALTER TABLE vx_runs ADD COLUMN meter TEXT NOT NULL DEFAULT ''", {});
    for (std::size_t i = kMeterColumn + 1; i < ColumnNames().size(); ++i)
      Exec("ALTER TABLE vx_runs ADD COLUMN " + ColumnNames()[i] + " DOUBLE PRECISION", {});
    Exec("CREATE INDEX vx_runs_outcome ON vx_runs (outcome)", {});
    if (!BytewiseCollation().empty()) {
      Exec("ALTER TABLE vx_runs ALTER COLUMN time_utc TYPE TEXT" + BytewiseCollation(), {});
    }
    Exec("CREATE TABLE vx_records (id BIGINT PRIMARY KEY, record TEXT NOT NULL)", {});
    Exec("INSERT INTO vx_records (id, record) SELECT id, record FROM vx_runs", {});
    Exec("ALTER TABLE vx_runs DROP COLUMN record", {});
    FillColumns();
  }
  Exec("UPDATE vx_schema SET version = ?", {std::to_string(kSchemaVersion)});
}

// The new columns of the records already stored: derived a batch at a time into a table of
// their own, then set in one statement. A row that holds no record keeps them empty: it is
// listed by its other columns, and a show names what is wrong with it.
void SqlStore::FillColumns() {
  const auto& names = ColumnNames();
  std::string columns = "id";
  for (std::size_t i = kMeterColumn; i < names.size(); ++i)
    columns += ", " + names[i];
  Exec("CREATE TEMPORARY TABLE vx_derived (id BIGINT PRIMARY KEY, meter TEXT" +
           Joined(kMeterColumn + 1, " DOUBLE PRECISION").insert(0, ", ") + ")",
       {});
  const std::int64_t total =
      std::stoll(Exec("SELECT COUNT(*) FROM vx_records", {})[0][0].value_or("0"));
  const std::size_t width = names.size() - kMeterColumn + 1;
  // Rows a statement, within both databases' limits; records are read as many at a time, so that
  // what is held does not grow with their size.
  constexpr std::size_t kBatch = 200;
  const int mark = Outside().Mark();
  std::int64_t done = 0;
  for (std::int64_t last = 0;;) {
    auto rows = Exec("SELECT id, record FROM vx_records WHERE id > " + std::to_string(last) +
                         " ORDER BY id LIMIT " + std::to_string(kBatch),
                     {});
    if (rows.empty()) break;
    const std::vector<std::optional<Params>> derived = DerivedColumns(rows);
    std::string sql = "INSERT INTO vx_derived (" + columns + ") VALUES ";
    Params p;
    for (std::size_t k = 0; k < rows.size(); ++k) {
      last = std::stoll(rows[k][0].value_or("0"));
      if (!derived[k]) continue;
      sql += (p.empty() ? "" : ", ") + Placeholders(width);
      p.emplace_back(std::to_string(last));
      for (const auto& v : *derived[k])
        p.push_back(v);
    }
    if (!p.empty()) Exec(sql, p);
    done += static_cast<std::int64_t>(rows.size());
    if (UpgradeProgress()) UpgradeProgress()(done, total);
    if (Outside().StoppedSince(mark)) throw Interrupted();  // rolled back: nothing changed
  }
  std::string set;
  for (std::size_t i = kMeterColumn; i < names.size(); ++i)
    set += (set.empty() ? "" : ", ") + names[i] + " = d." + names[i];
  Exec("UPDATE vx_runs SET " + set + " FROM vx_derived d WHERE vx_runs.id = d.id", {});
  Exec("DROP TABLE vx_derived", {});
}

}  // namespace vx::records
