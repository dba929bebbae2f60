#include "records/sql_store.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "platform/outside_wait.h"
#include "records/sql_columns.h"

namespace vx::records {

namespace {

using namespace sql;

// A scan of millions of rows ends on a stop asked for while it runs, a few thousand rows on.
void StopCheck(int mark, std::int64_t rows) {
  if (rows % 4096 == 0 && Outside().StoppedSince(mark)) throw Interrupted();
}

// A row's id, read without a copy (a scan reads millions). The stores' id columns are whole
// numbers; a NULL is 0.
std::int64_t IdOf(const SqlStore::Value& v) {
  std::int64_t id = 0;
  if (v) std::from_chars(v->data(), v->data() + v->size(), id);
  return id;
}

const std::string& SummaryColumns() {
  static const std::string kSummary =
      "id, time_utc, station, operator, unit, run, outcome, " + Joined(kMeterColumn);
  return kSummary;
}

std::string Dumped(const RunRecord& r) {
  return ToJson(r).dump(-1, ' ', false, Json::error_handler_t::replace);
}

SqlStore::Params Values(const RunRecord& r) {
  SqlStore::Params p = {r.time_utc, r.station, r.operator_name, r.unit, r.run, r.outcome};
  p.push_back(r.uid.empty() ? std::nullopt : std::optional<std::string>(r.uid));
  AddDerived(r, p);
  return p;
}

// The filters given, each a condition an index can answer; `from` names vx_runs as "r".
std::string Select(const std::string& columns, const std::string& from, const Query& q,
                   SqlStore::Params& params) {
  std::string where;
  auto add = [&](const std::string& condition) {
    where += (where.empty() ? " WHERE " : " AND ") + condition;
  };
  auto add_text = [&](const char* condition, const std::string& value) {
    if (value.empty()) return;
    add(condition);
    params.emplace_back(value);
  };
  add_text("r.unit = ?", q.unit);
  add_text("r.time_utc >= ?", q.since);
  // A date or time given for "until" takes in all of it: "2026-12-06" is the whole day.
  add_text("r.time_utc <= ?", q.until.empty() ? "" : q.until + "~");
  add_text("r.outcome = ?", q.outcome);
  if (q.after_id > 0) add("r.id > " + std::to_string(q.after_id));
  if (q.before_id > 0) add("r.id < " + std::to_string(q.before_id));
  const std::string sql = "SELECT " + columns + " FROM " + from + where;
  const std::string limit = q.limit > 0 ? " LIMIT " + std::to_string(q.limit) : "";
  if (q.newest_first) return sql + " ORDER BY r.id DESC" + limit;
  if (q.limit > 0 && q.after_id == 0) {  // the newest, oldest first
    return "SELECT * FROM (" + sql + " ORDER BY r.id DESC" + limit + ") AS newest ORDER BY id";
  }
  return sql + " ORDER BY r.id" + limit;
}

// The summary's columns of a store before version 3: those it derives are not there yet.
const std::string& OlderSummaryColumns() {
  static const std::string kOlder = [] {
    std::string c = "r.id, r.time_utc, r.station, r.operator, r.unit, r.run, r.outcome, ''";
    for (std::size_t i = kMeterColumn + 1; i < ColumnNames().size(); ++i)
      c += ", NULL";
    return c;
  }();
  return kOlder;
}

std::string Qualified(const std::string& columns) {
  std::string out = "r.";
  for (char c : columns)
    out += c == ' ' ? std::string(" r.") : std::string(1, c);
  return out;
}

const char* const kRuns = "vx_runs r";
const char* const kWithRecords = "vx_runs r LEFT JOIN vx_records x ON x.id = r.id";

}  // namespace

std::vector<SqlStore::Row> SqlStore::Exec(const std::string& sql, const Params& params) {
  std::vector<Row> rows;
  Stream(sql, params, [&](const Row& r) { rows.push_back(r); });
  return rows;
}

std::int64_t SqlStore::Add(const RunRecord& r) {
  std::int64_t id = 0;
  Transaction([&] { id = AddOne(r); });
  return id;
}

std::int64_t SqlStore::AddOne(const RunRecord& r) {
  auto rows = Exec("INSERT INTO vx_runs (" + Joined(0) + ") VALUES " +
                       Placeholders(ColumnNames().size()) + " RETURNING id",
                   Values(r));
  if (rows.empty() || !rows[0][0]) throw StoreError(Where() + " gave no id for the record");
  Exec("INSERT INTO vx_records (id, record) VALUES (?, ?)", {*rows[0][0], Dumped(r)});
  return std::stoll(*rows[0][0]);
}

void SqlStore::AddAll(const std::vector<RunRecord>& rs) {
  // A few hundred rows a statement: far fewer round trips, within both databases' limits on
  // the number of values in one statement. The ids the runs' rows were given are matched to
  // their records by uid; a record without one is stored on its own.
  constexpr std::size_t kBatch = 200;
  Transaction([&] {
    for (std::size_t first = 0; first < rs.size(); first += kBatch) {
      const std::size_t end = std::min(rs.size(), first + kBatch);
      std::string sql = "INSERT INTO vx_runs (" + Joined(0) + ") VALUES ";
      Params p;
      std::map<std::string, const RunRecord*> by_uid;
      for (std::size_t i = first; i < end; ++i) {
        if (rs[i].uid.empty() || !by_uid.emplace(rs[i].uid, &rs[i]).second) continue;
        sql += (by_uid.size() > 1 ? ", " : "") + Placeholders(ColumnNames().size());
        for (auto& v : Values(rs[i]))
          p.push_back(std::move(v));
      }
      Params records;
      std::string insert = "INSERT INTO vx_records (id, record) VALUES ";
      if (!by_uid.empty()) {
        for (const Row& row : Exec(sql + " RETURNING id, uid", p)) {
          insert += (records.empty() ? "(?, ?)" : ", (?, ?)");
          records.push_back(row[0]);
          records.emplace_back(Dumped(*by_uid.at(row[1].value_or(""))));
        }
        Exec(insert, records);
      }
      for (std::size_t i = first; i < end; ++i) {
        if (rs[i].uid.empty()) AddOne(rs[i]);
      }
    }
  });
}

void SqlStore::Update(std::int64_t id, const RunRecord& r) {
  // Only a record whose run has not ended is completed; a finished record is never rewritten.
  Params p = Values(r);
  p.erase(p.begin() + kUidColumn);  // the uid stays
  p.emplace_back(std::to_string(id));
  Transaction([&] {
    auto rows = Exec("UPDATE vx_runs SET " + Joined(0, " = ?", kUidColumn) +
                         " WHERE id = ? AND outcome = 'incomplete' RETURNING id",
                     p);
    if (rows.empty()) {
      throw StoreError(Where() + ": record " + std::to_string(id) + " is not an incomplete record");
    }
    Exec("UPDATE vx_records SET record = ? WHERE id = ?", {Dumped(r), std::to_string(id)});
  });
}

bool SqlStore::Has(const std::string& uid) {
  return !uid.empty() && !Exec("SELECT id FROM vx_runs WHERE uid = ?", {uid}).empty();
}

void SqlStore::Scan(const Query& q, const std::string& sql, const Params& params,
                    const std::function<void(const Row&)>& row) {
  // A unit's records and a page are a few rows: one statement answers them soonest.
  if (!q.unit.empty() || q.limit > 0) {
    Stream(sql, params, row);
  } else {
    StreamMany(sql, params, row);
  }
}

void SqlStore::Each(const Query& q, const std::function<void(RunRecord&&)>& row,
                    const Broken& broken) {
  Params params;
  // Before version 3 a run's row held its record.
  const std::string sql = version_ < 3
                              ? Select("r.id AS id, r.record AS record", kRuns, q, params)
                              : Select("r.id AS id, x.record AS record", kWithRecords, q, params);
  const int mark = Outside().Mark();
  std::int64_t n = 0;
  Scan(q, sql, params, [&](const Row& r) {
    StopCheck(mark, ++n);
    const std::int64_t id = IdOf(r[0]);
    std::optional<RunRecord> rec;
    try {
      if (!r[1]) throw std::runtime_error("its record is missing");
      rec = FromText(*r[1]);
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
  const std::string sql =
      Select(version_ < 3 ? OlderSummaryColumns() : Qualified(SummaryColumns()), kRuns, q, params);
  Summary s;
  const int mark = Outside().Mark();
  std::int64_t n = 0;
  Scan(q, sql, params, [&](const Row& r) {
    StopCheck(mark, ++n);
    s.id = IdOf(r[0]);
    std::string* texts[] = {&s.time_utc, &s.station, &s.operator_name, &s.unit,
                            &s.run,      &s.outcome, &s.meter};
    for (std::size_t i = 0; i < std::size(texts); ++i) {
      if (r[i + 1]) {
        texts[i]->assign(*r[i + 1]);
      } else {
        texts[i]->clear();
      }
    }
    constexpr std::size_t kFirst = std::size(texts) + 1;
    for (std::size_t i = 0; i < 2 * kReadings.size(); ++i) {
      auto& v = i < kReadings.size() ? s.residuals[i] : s.corrections[i - kReadings.size()];
      v.reset();
      const Value& text = r[kFirst + i];
      if (!text) continue;
      if (text.number) {
        v = text.number;
        continue;
      }
      double d = 0;
      auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), d);
      if (ec != std::errc() || end != text->data() + text->size()) {
        const PageRow& reading = kReadings[i % kReadings.size()];
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
  const std::string sql = Select(Qualified(SummaryColumns()), kRuns, q, params);
  for (const Row& r : Exec(ExplainPrefix() + sql, params))
    plan += (plan.empty() ? "" : "\n") + r.back().value_or("");
  return plan;
}

std::optional<RunRecord> SqlStore::Get(std::int64_t id) {
  auto rows =
      Exec(version_ < 3 ? "SELECT r.record FROM vx_runs r WHERE r.id = ?"
                        : "SELECT x.record FROM " + std::string(kWithRecords) + " WHERE r.id = ?",
           {std::to_string(id)});
  if (rows.empty()) return std::nullopt;
  const std::string damaged = Where() + ": record " + std::to_string(id) + " is damaged: ";
  if (!rows[0][0]) throw StoreError(damaged + "its record is missing");
  try {
    RunRecord r = FromText(*rows[0][0]);
    r.id = id;
    return r;
  } catch (const Json::exception&) {
    throw StoreError(damaged + "not JSON");
  } catch (const std::runtime_error& e) {
    throw StoreError(damaged + e.what());
  }
}

}  // namespace vx::records
