// Records on a PostgreSQL server: many stations write into one database at once. Each record
// is one INSERT; the schema is created under an advisory lock so that stations starting
// together do not race.
#include <libpq-fe.h>

#include <memory>

#include "records/sql_store.h"

namespace vx::records {

namespace {

constexpr const char* kSchemaLock = "SELECT pg_advisory_lock(58420)";
constexpr const char* kSchemaUnlock = "SELECT pg_advisory_unlock(58420)";

std::string DefaultDataFolder() {
  auto db = DefaultDatabase();
  return db.substr(0, db.find_last_of('/'));
}

class PgStore : public SqlStore {
 public:
  explicit PgStore(std::string url) : url_(std::move(url)) {
    // Owned at once: a constructor that throws runs no destructor.
    conn_.reset(PQconnectdb(url_.c_str()));
    if (PQstatus(conn_.get()) != CONNECTION_OK) {
      std::string why = PQerrorMessage(conn_.get());
      throw StoreError("cannot reach the records database " + Where() + ": " + Trim(why));
    }
    PQsetNoticeProcessor(
        conn_.get(), [](void*, const char*) {}, nullptr);  // "already exists"
    Exec(kSchemaLock, {});
    try {
      CreateSchema();
    } catch (...) {
      PQclear(PQexec(conn_.get(), kSchemaUnlock));
      throw;
    }
    Exec(kSchemaUnlock, {});
  }

  // The address without a password.
  std::string Where() const override {
    auto at = url_.find('@');
    auto scheme = url_.find("://");
    if (at == std::string::npos || scheme == std::string::npos) return url_;
    std::string user = url_.substr(scheme + 3, at - scheme - 3);
    return url_.substr(0, scheme + 3) + user.substr(0, user.find(':')) + url_.substr(at);
  }
  std::string FallbackFolder() const override { return DefaultDataFolder(); }

 protected:
  const char* IdColumn() const override { return "BIGSERIAL PRIMARY KEY"; }

  std::vector<Row> Exec(const std::string& sql, const std::vector<std::string>& params) override {
    std::string text;
    int n = 0;
    for (char c : sql)
      text += c == '?' ? "$" + std::to_string(++n) : std::string(1, c);
    std::vector<const char*> values;
    for (const auto& p : params)
      values.push_back(p.c_str());
    PGresult* res = PQexecParams(conn_.get(), text.c_str(), static_cast<int>(values.size()),
                                 nullptr, values.data(), nullptr, nullptr, 0);
    ExecStatusType st = PQresultStatus(res);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
      std::string why = PQresultErrorMessage(res);
      PQclear(res);
      throw StoreError("the records database " + Where() + ": " + Trim(why));
    }
    std::vector<Row> rows;
    for (int r = 0; r < PQntuples(res); ++r) {
      Row row;
      for (int c = 0; c < PQnfields(res); ++c) {
        row.push_back(PQgetisnull(res, r, c) ? std::nullopt
                                             : std::optional<std::string>(PQgetvalue(res, r, c)));
      }
      rows.push_back(std::move(row));
    }
    PQclear(res);
    return rows;
  }

 private:
  static std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
      s.pop_back();
    return s;
  }

  std::string url_;
  std::unique_ptr<PGconn, decltype(&PQfinish)> conn_{nullptr, &PQfinish};
};

}  // namespace

std::unique_ptr<Store> OpenPgStore(const std::string& url) {
  return std::make_unique<PgStore>(url);
}

}  // namespace vx::records
