// Records in an SQLite file: one station, nothing to start. Writers from several processes
// take turns (write-ahead log, and a busy wait instead of a failure while another writes).
#include <sqlite3.h>

#include <filesystem>
#include <memory>

#include "records/sql_store.h"

namespace vx::records {

namespace {

class SqliteStore : public SqlStore {
 public:
  explicit SqliteStore(std::string path) : path_(std::move(path)) {
    std::error_code ec;
    auto folder = std::filesystem::path(path_).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    sqlite3* db = nullptr;
    int opened =
        sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // Owned from here on: a constructor that throws runs no destructor, and a file that turns
    // out to be no database only fails at the first statement.
    db_.reset(db);
    if (opened != SQLITE_OK) {
      std::string why = db ? sqlite3_errmsg(db) : "out of memory";
      throw StoreError("cannot open the records database " + path_ + ": " + why);
    }
    sqlite3_busy_timeout(db, 30000);
    Exec("PRAGMA journal_mode=WAL", {});
    Exec("BEGIN IMMEDIATE", {});
    try {
      CreateSchema();
      Exec("COMMIT", {});
    } catch (...) {
      sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  std::string Where() const override { return path_; }
  std::string FallbackFolder() const override {
    auto folder = std::filesystem::path(path_).parent_path();
    return folder.empty() ? "." : folder.string();
  }

 protected:
  const char* IdColumn() const override { return "INTEGER PRIMARY KEY AUTOINCREMENT"; }

  std::vector<Row> Exec(const std::string& sql, const std::vector<std::string>& params) override {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) Fail();
    // Finalized however this ends: an unfinalized statement keeps the connection from closing.
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> st(raw, &sqlite3_finalize);
    for (std::size_t i = 0; i < params.size(); ++i) {
      sqlite3_bind_text(st.get(), static_cast<int>(i + 1), params[i].c_str(),
                        static_cast<int>(params[i].size()), SQLITE_TRANSIENT);
    }
    std::vector<Row> rows;
    int rc = 0;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
      Row row;
      for (int c = 0; c < sqlite3_column_count(st.get()); ++c) {
        const auto* text = sqlite3_column_text(st.get(), c);
        row.push_back(text ? std::optional<std::string>(reinterpret_cast<const char*>(text))
                           : std::nullopt);
      }
      rows.push_back(std::move(row));
    }
    st.reset();
    if (rc != SQLITE_DONE) Fail();
    return rows;
  }

 private:
  [[noreturn]] void Fail() {
    throw StoreError("the records database " + path_ + ": " + sqlite3_errmsg(db_.get()));
  }

  std::string path_;
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db_{nullptr, &sqlite3_close};
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string& path) {
  return std::make_unique<SqliteStore>(path);
}

}  // namespace vx::records
