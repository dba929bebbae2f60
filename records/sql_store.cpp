#include "records/sql_store.h"

#include <algorithm>
#include <charconv>

namespace vx::records {

namespace {

// What a record fills besides its id: the fields queries select by, the record whole, and per
// reading its residual and correction, in the order Values() gives them.
const std::vector<std::string>& ColumnNames() {
  static const std::vector<std::string> kNames = [] {
    std::vector<std::string> c = {"time_utc", "station", "operator", "unit", "run",
                                  "outcome",  "record",  "uid",      "meter"};
    for (const char* prefix : {"res_", "cor_"}) {
      for (const RecordedReading& r : kReadings)
        c.push_back(prefix + std::string(r.column));
    }
    return c;
  }();
  return kNames;
}

constexpr std::size_t kUidColumn = 7;
constexpr std::size_t kMeterColumn = 8;  // then the residuals and corrections

// The names from `first` on, joined by ", ", each followed by `suffix`.
std::string Joined(std::size_t first, const char* suffix = "", std::size_t skip = SIZE_MAX) {
  std::string out;
  for (std::size_t i = first; i < ColumnNames().size(); ++i) {
    if (i != skip) out += (out.empty() ? "" : ", ") + ColumnNames()[i] + suffix;
  }
  return out;
}

const std::string& SummaryColumns() {
  static const std::string kSummary =
      "id, time_utc, station, operator, unit, run, outcome, " + Joined(kMeterColumn);
  return kSummary;
}

std::string Dumped(const RunRecord& r) {
  return ToJson(r).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<std::string> Text(const std::optional<double>& v) {
  if (!v) return std::nullopt;
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *v);
  return std::string(buf, end);
}

// What the store derives from a record for its columns: the meter, the residuals, the
// corrections.
void AddDerived(const RunRecord& r, SqlStore::Params& out) {
  out.emplace_back(MeterOf(r.references));
  for (const auto& v : ByReading(r.residuals))
    out.push_back(Text(v));
  for (const auto& v : ByReading(Corrections(r.references, r.readings_before)))
    out.push_back(Text(v));
}

SqlStore::Params Values(const RunRecord& r) {
  SqlStore::Params p = {r.time_utc, r.station, r.operator_name, r.unit,
                        r.run,      r.outcome, Dumped(r)};
  p.push_back(r.uid.empty() ? std::nullopt : std::optional<std::string>(r.uid));
  AddDerived(r, p);
  return p;
}

std::string Placeholders(std::size_t n) {
  std::string s = "(?";
  for (std::size_t i = 1; i < n; ++i)
    s += ", ?";
  return s + ")";
}

// The filters given, each a condition an index can answer.
std::string Select(const std::string& columns, const Query& q, SqlStore::Params& params) {
  std::string where;
  auto add = [&](const std::string& condition) {
    where += (where.empty() ? " WHERE " : " AND ") + condition;
  };
  auto add_text = [&](const char* condition, const std::string& value) {
    if (value.empty()) return;
    add(condition);
    params.emplace_back(value);
  };
  add_text("unit = ?", q.unit);
  add_text("time_utc >= ?", q.since);
  // A date or time given for "until" takes in all of it: "2026-12-06" is the whole day.
  add_text("time_utc <= ?", q.until.empty() ? "" : q.until + "~");
  add_text("outcome = ?", q.outcome);
  if (q.after_id > 0) add("id > " + std::to_string(q.after_id));
  if (q.before_id > 0) add("id < " + std::to_string(q.before_id));
  const std::string sql = "SELECT " + columns + " FROM vx_runs" + where;
  const std::string limit = q.limit > 0 ? " LIMIT " + std::to_string(q.limit) : "";
  if (q.newest_first) return sql + " ORDER BY id DESC" + limit;
  if (q.limit > 0 && q.after_id == 0) {  // the newest, oldest first
    return "SELECT * FROM (" + sql + " ORDER BY id DESC" + limit + ") AS newest ORDER BY id";
  }
  return sql + " ORDER BY id" + limit;
}

}  // namespace

std::vector<SqlStore::Row> SqlStore::Exec(const std::string& sql, const Params& params) {
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
  Transaction([&] {
    LockSchema();
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
  std::string table = std::string("CREATE TABLE vx_runs (id ") + IdColumn() + ", time_utc TEXT" +
                      BytewiseCollation() +
                      " NOT NULL, station TEXT NOT NULL, operator TEXT NOT NULL,"
                      " unit TEXT NOT NULL, run TEXT NOT NULL, outcome TEXT NOT NULL,"
                      " uid TEXT, meter TEXT NOT NULL DEFAULT ''";
  for (const char* prefix : {"res_", "cor_"}) {
    for (const RecordedReading& r : kReadings)
      table += ", " + std::string(prefix) + std::string(r.column) + " DOUBLE PRECISION";
  }
  // The record whole comes last: a row's other columns are read without stepping over it.
  const std::string options = TableOptions();
  Exec(table + ", record TEXT NOT NULL)" + (options.empty() ? "" : " WITH (" + options + ")"), {});
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
  if (from < 3) {  // the columns that lists, exports and statistics read
    Exec("ALTER TABLE vx_runs ADD COLUMN meter TEXT NOT NULL DEFAULT ''", {});
    for (const char* prefix : {"res_", "cor_"}) {
      for (const RecordedReading& r : kReadings) {
        Exec("ALTER TABLE vx_runs ADD COLUMN " + std::string(prefix) + std::string(r.column) +
                 " DOUBLE PRECISION",
             {});
      }
    }
    Exec("CREATE INDEX vx_runs_outcome ON vx_runs (outcome)", {});
    if (!TableOptions().empty()) Exec("ALTER TABLE vx_runs SET (" + TableOptions() + ")", {});
    if (!BytewiseCollation().empty()) {
      Exec("ALTER TABLE vx_runs ALTER COLUMN time_utc TYPE TEXT" + BytewiseCollation(), {});
    }
    FillColumns();
  }
  Exec("UPDATE vx_schema SET version = ?", {std::to_string(kSchemaVersion)});
}

// The new columns of the records already stored, a batch at a time. A row that holds no record
// keeps them empty: it is listed by its other columns, and a show names what is wrong with it.
void SqlStore::FillColumns() {
  const std::string update = "UPDATE vx_runs SET " + Joined(kMeterColumn, " = ?") + " WHERE id = ?";
  for (std::int64_t last = 0;;) {
    auto rows = Exec("SELECT id, record FROM vx_runs WHERE id > " + std::to_string(last) +
                         " ORDER BY id LIMIT 1000",
                     {});
    if (rows.empty()) return;
    for (const Row& row : rows) {
      last = std::stoll(row[0].value_or("0"));
      Params p;
      try {
        AddDerived(FromJson(Json::parse(row[1].value_or("null"))), p);
      } catch (const std::exception&) {
        continue;
      }
      p.emplace_back(std::to_string(last));
      Exec(update, p);
    }
  }
}

std::int64_t SqlStore::Add(const RunRecord& r) {
  auto rows = Exec("INSERT INTO vx_runs (" + Joined(0) + ") VALUES " +
                       Placeholders(ColumnNames().size()) + " RETURNING id",
                   Values(r));
  if (rows.empty() || !rows[0][0]) throw StoreError(Where() + " gave no id for the record");
  return std::stoll(*rows[0][0]);
}

void SqlStore::AddAll(const std::vector<RunRecord>& rs) {
  // A few hundred rows a statement: far fewer round trips, within both databases' limits on
  // the number of values in one statement.
  constexpr std::size_t kBatch = 200;
  Transaction([&] {
    for (std::size_t first = 0; first < rs.size(); first += kBatch) {
      const std::size_t n = std::min(kBatch, rs.size() - first);
      std::string sql = "INSERT INTO vx_runs (" + Joined(0) + ") VALUES ";
      Params p;
      p.reserve(n * ColumnNames().size());
      for (std::size_t i = 0; i < n; ++i) {
        sql += (i ? ", " : "") + Placeholders(ColumnNames().size());
        for (auto& v : Values(rs[first + i]))
          p.push_back(std::move(v));
      }
      Exec(sql, p);
    }
  });
}

void SqlStore::Update(std::int64_t id, const RunRecord& r) {
  // Only a record whose run has not ended is completed; a finished record is never rewritten.
  Params p = Values(r);
  p.erase(p.begin() + kUidColumn);  // the uid stays
  p.emplace_back(std::to_string(id));
  auto rows = Exec("UPDATE vx_runs SET " + Joined(0, " = ?", kUidColumn) +
                       " WHERE id = ? AND outcome = 'incomplete' RETURNING id",
                   p);
  if (rows.empty()) {
    throw StoreError(Where() + ": record " + std::to_string(id) + " is not an incomplete record");
  }
}

bool SqlStore::Has(const std::string& uid) {
  return !uid.empty() && !Exec("SELECT id FROM vx_runs WHERE uid = ?", {uid}).empty();
}

void SqlStore::Each(const Query& q, const std::function<void(RunRecord&&)>& row,
                    const Broken& broken) {
  Params params;
  const std::string sql = Select("id, record", q, params);
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

void SqlStore::EachSummary(const Query& q, const std::function<void(const Summary&)>& row,
                           const Broken& broken) {
  Params params;
  const std::string sql = Select(SummaryColumns(), q, params);
  Summary s;
  Stream(sql, params, [&](const Row& r) {
    s.id = std::stoll(r[0].value_or("0"));
    std::string* texts[] = {&s.time_utc, &s.station, &s.operator_name, &s.unit,
                            &s.run,      &s.outcome, &s.meter};
    for (std::size_t i = 0; i < std::size(texts); ++i)
      *texts[i] = r[i + 1].value_or("");
    constexpr std::size_t kFirst = std::size(texts) + 1;
    for (std::size_t i = 0; i < 2 * kReadings.size(); ++i) {
      auto& v = i < kReadings.size() ? s.residuals[i] : s.corrections[i - kReadings.size()];
      v.reset();
      const auto& text = r[kFirst + i];
      if (!text) continue;
      double d = 0;
      auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), d);
      if (ec != std::errc() || end != text->data() + text->size()) {
        const RecordedReading& reading = kReadings[i % kReadings.size()];
        broken(s.id, std::string(i < kReadings.size() ? "its residual" : "its correction") +
                         " of " + std::string(reading.name) + " is not a number");
        return;
      }
      v = d;
    }
    row(s);
  });
}

std::string SqlStore::Plan(const Query& q) {
  Params params;
  std::string plan;
  for (const Row& r : Exec(ExplainPrefix() + Select(SummaryColumns(), q, params), params)) {
    plan += (plan.empty() ? "" : "\n") + r.back().value_or("");
  }
  return plan;
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
