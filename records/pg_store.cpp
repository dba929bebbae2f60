// Records on a PostgreSQL server: many stations write into one database at once. Each record
// is one row. The schema is created or migrated only when it is missing or older, in a
// transaction under an advisory lock so that stations starting together do not race; a
// station's user then needs only SELECT, INSERT and UPDATE on vx_runs (docs/records.md).
// Rows are read one at a time (single-row mode), or for a scan as one COPY of the statement,
// never a whole result in memory.
#include <poll.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/outside_wait.h"
#include "records/libpq.h"
#include "records/pg_address.h"
#include "records/pg_copy.h"
#include "records/sql_store.h"

namespace vx::records {

namespace {

constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(58420)";
constexpr const char* kUndefinedTable = "42P01";

std::string DefaultDataFolder() {
  auto db = DefaultDatabase();
  return db.substr(0, db.find_last_of('/'));
}

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
    s.pop_back();
  return s;
}

struct Clear {
  void operator()(PGresult* r) const { Pq().clear(r); }
};
struct FreeMem {
  void operator()(char* p) const { Pq().freemem(p); }
};
struct Finish {
  void operator()(PGconn* c) const { Pq().finish(c); }
};

class PgStore : public SqlStore {
 public:
  PgStore(std::string url, Access access) : url_(std::move(url)) {
    if (AmbiguousAt(url_)) {
      throw StoreError(
          "the records database's address holds '@' more than once: a password's '@' is "
          "written %40");
    }
    // Owned at once: a constructor that throws runs no destructor. Connected step by step, so
    // that a server that never answers, or a stop, ends the wait.
    conn_.reset(Pq().connectStart(url_.c_str()));
    if (!conn_ || Pq().status(conn_.get()) == CONNECTION_BAD) Unreachable();
    PostgresPollingStatusType st = PGRES_POLLING_WRITING;
    const auto deadline = std::chrono::steady_clock::now() + WaitLimit();
    while (st != PGRES_POLLING_OK && st != PGRES_POLLING_FAILED) {
      Wait(st == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline, "answer");
      st = Pq().connectPoll(conn_.get());
    }
    if (st == PGRES_POLLING_FAILED) Unreachable();
    Pq().setNoticeProcessor(
        conn_.get(), [](void*, const char*) {}, nullptr);
    read_only_ = access == Access::kRead;
    Prepare(access);
  }

  std::string Where() const override { return PgDisplayName(url_); }
  std::string FallbackFolder() const override { return DefaultDataFolder(); }

 protected:
  const char* IdColumn() const override { return "BIGSERIAL PRIMARY KEY"; }
  std::string BytewiseCollation() const override { return " COLLATE \"C\""; }

  // Asked under the schema's lock (Version below), from the catalog as a table with the
  // statement's own snapshot: a lookup by name (to_regclass) may answer from the session's cache
  // and miss a table that a station created while this one waited for the lock.
  bool TableExists(const std::string& name) override {
    return !Exec(
                "SELECT 1 FROM pg_catalog.pg_tables WHERE schemaname = current_schema() AND "
                "tablename = ?",
                {name})
                .empty();
  }

  // Before the schema's lock, one round trip: the version asked for directly, a missing table
  // being none, where a lookup first would be two. A store opened to read is made read-only by
  // the same statement: the session's setting is taken by every transaction after it, and
  // where there is no version to read there is nothing more to do either.
  int Version() override {
    if (in_transaction_) return SqlStore::Version();
    const std::string sql =
        read_only_
            ? "SELECT version, set_config('default_transaction_read_only', 'on', false) FROM "
              "vx_schema"
            : "SELECT version FROM vx_schema";
    std::vector<Row> rows;
    try {
      rows = Exec(sql, {});
    } catch (const StoreError&) {
      if (failed_state_ == kUndefinedTable) return 0;
      throw;
    }
    return VersionIn(rows);
  }

  void LockSchema() override { Exec(kSchemaLock, {}); }
  std::string ExplainPrefix() const override { return "EXPLAIN "; }

  void Transaction(const std::function<void()>& fn) override {
    Exec("BEGIN", {});
    in_transaction_ = true;
    try {
      fn();
      Exec("COMMIT", {});
    } catch (...) {
      // After an answer that did not come the server still works on the statement, and a
      // ROLLBACK would wait for it without a limit: the server rolls back as the connection
      // closes.
      if (!given_up_) Pq().clear(Pq().exec(conn_.get(), "ROLLBACK"));
      in_transaction_ = false;
      throw;
    }
    in_transaction_ = false;
  }

  // Waits until the server's socket is ready or throws: no answer within the limit, or a stop.
  void Wait(short events, std::chrono::steady_clock::time_point deadline, const char* what) {
    const int fd = Pq().socket(conn_.get());
    for (;;) {
      if (Outside().StoppedSince(mark_)) {
        given_up_ = true;
        throw StoreError("stopped while waiting for the records database " + Where());
      }
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) {
        given_up_ = true;
        throw StoreError("the records database " + Where() + " did not " + what + " within " +
                         std::to_string(WaitLimit().count() / 1000) + " s");
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
      pollfd p{fd, events, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 100)));
      if (ready != 0) return;                                  // ready, or an error libpq will name
      if (Outside().pause) Outside().pause(Duration::zero());  // a window's events go on
    }
  }

  [[noreturn]] void Unreachable() {
    std::string why = conn_ ? Pq().errorMessage(conn_.get()) : "out of memory";
    throw StoreError("cannot reach the records database " + Where() + ": " + Trim(why));
  }

  // The next result, waiting for it within the limit.
  PGresult* NextResult() {
    const auto deadline = std::chrono::steady_clock::now() + WaitLimit();
    while (Pq().isBusy(conn_.get())) {
      Wait(POLLIN, deadline, "answer");
      if (!Pq().consumeInput(conn_.get())) break;  // PQgetResult names the failure
    }
    return Pq().getResult(conn_.get());
  }

  void Stream(const std::string& sql, const Params& params,
              const std::function<void(const Row&)>& row) override {
    Send(sql, params, row, true);
  }

  // Many rows as one COPY of the statement, in the server's own form: the server sends the rows
  // as it reads them (a cursor's FETCH first stores each batch, and libpq builds a result of
  // it), and no number is printed there and read back here. A COPY takes no parameters: the
  // values are written into it as literals, quoted by libpq. The columns' types come first,
  // from the same statement asked for no rows.
  void StreamMany(const std::string& sql, const Params& params,
                  const std::function<void(const Row&)>& row) override {
    std::vector<Oid> types;
    Results("SELECT * FROM (" + sql + ") AS vx_scan LIMIT 0", params, [&](PGresult* res) {
      for (int c = 0; c < Pq().nfields(res); ++c)
        types.push_back(Pq().ftype(res, c));
    });
    Issue("COPY (" + WithLiterals(sql, params) + ") TO STDOUT (FORMAT binary)", {});
    std::string failure;
    bool copying = false;
    while (!copying) {
      PGresult* res = NextResult();
      if (!res) break;
      std::unique_ptr<PGresult, Clear> owned(res);
      copying = Pq().resultStatus(res) == PGRES_COPY_OUT;
      if (!copying) Failed(res, failure);
    }
    CopyRows rows(std::move(types));
    if (copying) Copy(rows, row);
    while (PGresult* res = NextResult()) {
      std::unique_ptr<PGresult, Clear> owned(res);
      Failed(res, failure);
    }
    if (!failure.empty()) Fail(failure);
    if (!rows.Ended()) Fail("its rows ended before the end of the scan");
  }

  // The rows of a COPY until its end. A throw gives the connection up: the server ends the
  // COPY as the connection closes, where reading the rest of it could take minutes.
  void Copy(CopyRows& rows, const std::function<void(const Row&)>& row) {
    auto deadline = std::chrono::steady_clock::now() + WaitLimit();
    bool progressed = false;
    try {
      for (;;) {
        char* buf = nullptr;
        const int n = Pq().getCopyData(conn_.get(), &buf, 1);
        if (n > 0) {
          std::unique_ptr<char, FreeMem> owned(buf);
          rows.Take(buf, static_cast<std::size_t>(n), row);
          progressed = true;
          continue;
        }
        if (n < 0) return;  // the end, or a failure the next result names
        if (progressed) deadline = std::chrono::steady_clock::now() + WaitLimit();
        progressed = false;
        Wait(POLLIN, deadline, "answer");
        if (!Pq().consumeInput(conn_.get())) return;
      }
    } catch (const UnexpectedBytes& e) {
      given_up_ = true;
      Fail(e.what());
    } catch (...) {
      given_up_ = true;
      throw;
    }
  }

  // The statement with each `?` replaced by its value as a quoted literal (NULL for none).
  std::string WithLiterals(const std::string& sql, const Params& params) {
    std::string out;
    std::size_t n = 0;
    for (char c : sql) {
      if (c != '?' || n >= params.size()) {
        out += c;
        continue;
      }
      const auto& p = params[n++];
      if (!p) {
        out += "NULL";
        continue;
      }
      char* literal = Pq().escapeLiteral(conn_.get(), p->c_str(), p->size());
      if (!literal) Fail(Trim(Pq().errorMessage(conn_.get())));
      out += literal;
      Pq().freemem(literal);
    }
    return out;
  }

  // Every result of a statement, the first that holds rows handed to `take`; throws the first
  // failure once the connection is ready again.
  void Results(const std::string& sql, const Params& params,
               const std::function<void(PGresult*)>& take) {
    Issue(sql, params, true);
    std::string failure;
    bool taken = false;
    while (PGresult* res = NextResult()) {
      std::unique_ptr<PGresult, Clear> owned(res);
      if (Failed(res, failure) || taken || Pq().resultStatus(res) != PGRES_TUPLES_OK) continue;
      take(res);
      taken = true;
    }
    if (!failure.empty()) Fail(failure);
  }

  // Whether the result is a failure; the first one is kept in `failure`, its SQLSTATE in
  // failed_state_.
  bool Failed(PGresult* res, std::string& failure) {
    const ExecStatusType st = Pq().resultStatus(res);
    if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK || st == PGRES_SINGLE_TUPLE) return false;
    if (failure.empty()) {
      failure = Trim(Pq().resultErrorMessage(res));
      const char* state = Pq().resultErrorField(res, PG_DIAG_SQLSTATE);
      failed_state_ = state ? state : "";
    }
    return true;
  }

  [[noreturn]] void Fail(const std::string& why) {
    throw StoreError("the records database " + Where() + ": " + why);
  }

  // A result's rows, each column as text or, where the statement asked for it, in the
  // server's own form.
  void Hand(PGresult* res, const std::function<void(const Row&)>& row) {
    const Libpq& pq = Pq();
    const int fields = pq.nfields(res);
    std::vector<Oid> binary(static_cast<std::size_t>(fields), 0);
    for (int c = 0; c < fields; ++c)
      if (pq.fformat(res, c) == 1) binary[static_cast<std::size_t>(c)] = pq.ftype(res, c);
    Row r(static_cast<std::size_t>(fields));
    for (int t = 0; t < pq.ntuples(res); ++t) {
      for (int c = 0; c < fields; ++c) {
        Value& v = r[static_cast<std::size_t>(c)];
        v.number.reset();
        if (pq.getisnull(res, t, c)) {
          v.reset();
          continue;
        }
        try {
          DecodeField(v, binary[static_cast<std::size_t>(c)], pq.getvalue(res, t, c),
                      static_cast<std::size_t>(pq.getlength(res, t, c)));
        } catch (const UnexpectedBytes& e) {
          Fail(e.what());
        }
      }
      row(r);  // a throw gives the connection up with the store
    }
  }

  // `binary`: the rows in the server's own form.
  void Issue(const std::string& sql, const Params& params, bool binary = false) {
    if (given_up_)
      Fail("its connection was given up after an answer that did not come or a scan broken off");
    failed_state_.clear();
    std::string text;
    int n = 0;
    for (char c : sql)
      text += c == '?' ? "$" + std::to_string(++n) : std::string(1, c);
    std::vector<const char*> values;
    for (const auto& p : params)
      values.push_back(p ? p->c_str() : nullptr);
    if (!Pq().sendQueryParams(conn_.get(), text.c_str(), static_cast<int>(values.size()), nullptr,
                              values.data(), nullptr, nullptr, binary ? 1 : 0)) {
      Fail(Trim(Pq().errorMessage(conn_.get())));
    }
  }

  void Send(const std::string& sql, const Params& params,
            const std::function<void(const Row&)>& row, bool single_rows) {
    Issue(sql, params);
    if (single_rows) Pq().setSingleRowMode(conn_.get());
    std::string failure;
    // Every result is taken, also after a failure, so that the connection is ready again.
    while (PGresult* res = NextResult()) {
      std::unique_ptr<PGresult, Clear> owned(res);
      if (!Failed(res, failure) && failure.empty()) Hand(res, row);
    }
    if (!failure.empty()) Fail(failure);
  }

 private:
  std::string url_;
  bool read_only_ = false;
  bool in_transaction_ = false;        // between BEGIN and its COMMIT or ROLLBACK
  std::string failed_state_;           // the last statement's failure's SQLSTATE, if any
  bool given_up_ = false;              // a wait for the server ended without its answer
  const int mark_ = Outside().Mark();  // a stop from here on ends this store's waits
  std::unique_ptr<PGconn, Finish> conn_;
};

}  // namespace

std::unique_ptr<Store> OpenPgStore(const std::string& url, Access access) {
  return std::make_unique<PgStore>(url, access);
}

}  // namespace vx::records
