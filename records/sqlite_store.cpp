// Records in an SQLite file: one station, nothing to start. Writers from several processes
// take turns (write-ahead log, a queue of writers, and a busy wait instead of a failure while
// another writes). The file and its folder are the user's alone; list, show and export open it
// read-only.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/outside_wait.h"
#include "records/sql_store.h"
#include "records/writer_turn.h"

namespace vx::records {

namespace {

// A store is a regular file: a device, a FIFO or a folder would swallow or block the records.
void CheckPlace(const std::string& path, Access access) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (access == Access::kRead)
      throw StoreError("the records database " + path + " does not exist");
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    throw StoreError("the records database " + path +
                     " is not a regular file (a folder, a device or a pipe)");
  }
}

// A new database: its folder (when missing) and the file itself for this user alone.
void CreateFile(const std::string& path) {
  auto folder = std::filesystem::path(path).parent_path();
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::exists(folder, ec)) {
    std::filesystem::create_directories(folder, ec);
    ::chmod(folder.c_str(), 0700);
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
  } else if (errno != EEXIST) {
    throw StoreError("cannot create the records database " + path + ": " + std::strerror(errno));
  }
}

class SqliteStore : public SqlStore {
 public:
  SqliteStore(std::string path, Access access) : path_(std::move(path)) {
    CheckPlace(path_, access);
    if (access == Access::kWrite) CreateFile(path_);
    const int flags = access == Access::kRead ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    Open(path_, flags);
    if (access == Access::kWrite) {
      // A record of about 2 kB leaves half of a 4 kB page empty; sixteen fill theirs (this
      // takes effect only on a new database).
      Exec("PRAGMA page_size = 16384", {});
      Exec("PRAGMA journal_mode=WAL", {});
      // In place of SQLite's own copying of the log back into the file, which the writer that
      // fills it does inside its commit, while the other writers wait for their turns.
      sqlite3_wal_hook(db_.get(), &SqliteStore::Logged, this);
    }
    try {
      Prepare(access);
    } catch (const StoreError&) {
      // A database in write-ahead-log mode on a read-only file system cannot set up its shared
      // memory: nobody can be writing it there, so it is read as it stands.
      if (access != Access::kRead || sqlite3_errcode(db_.get()) != SQLITE_CANTOPEN) throw;
      Open("file:" + UriPath(path_) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
      Prepare(access);
    }
  }

  ~SqliteStore() override {
    if (copying_.joinable()) copying_.join();
  }

  std::string Where() const override { return path_; }
  std::string FallbackFolder() const override {
    auto folder = std::filesystem::path(path_).parent_path();
    return folder.empty() ? "." : folder.string();
  }

 protected:
  const char* IdColumn() const override { return "INTEGER PRIMARY KEY AUTOINCREMENT"; }

  bool TableExists(const std::string& name) override {
    return !Exec("SELECT name FROM sqlite_master WHERE type = 'table' AND name = ?", {name})
                .empty();
  }

  // Immediate: the write lock is taken at once, which also makes it the schema's lock.
  // A rollback journal keeps only the pages an upgrade changes; the write-ahead log would hold
  // every page it writes, and then copy them all into the file once more.
  void BeforeUpgrade() override { Exec("PRAGMA journal_mode=DELETE", {}); }
  void AfterUpgrade() override { Exec("PRAGMA journal_mode=WAL", {}); }

  void Transaction(const std::function<void()>& fn) override {
    {
      WriterTurn turn(turns_, std::chrono::steady_clock::now() + WaitLimit(), mark_, path_);
      Exec("BEGIN IMMEDIATE", {});
      try {
        fn();
        Exec("COMMIT", {});
      } catch (...) {
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
      }
    }
    if (logged_pages_ >= kCheckpointPages) CopyLogBack();
  }

  // The log is copied back into the file once it holds this many pages (SQLite's own default).
  static constexpr int kCheckpointPages = 1000;

  static int Logged(void* self, sqlite3* db, const char* name, int pages) {
    static_cast<SqliteStore*>(self)->logged_pages_ = pages;
    // The copies on the side have not kept up (a writer storing without a pause, while the
    // others write too): copied here and now, as SQLite itself would, so that the log stays
    // bounded.
    if (pages >= 2 * kCheckpointPages) sqlite3_wal_checkpoint(db, name);
    return SQLITE_OK;
  }

  // On a connection and a thread of its own, after this writer's turn: the others go on
  // writing meanwhile (into the log), and the record stored is not held up either. One copy at
  // a time; a later commit starts the next.
  void CopyLogBack() {
    if (copying_.joinable()) {
      if (!copied_) return;
      copying_.join();
    }
    logged_pages_ = 0;
    copied_ = false;
    try {
      copying_ = std::thread([this, path = path_] {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                            nullptr) == SQLITE_OK) {
          sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        }
        sqlite3_close(db);
        copied_ = true;
      });
    } catch (const std::system_error&) {
      // no thread to be had: the next commit tries again
    }
  }

  std::string ExplainPrefix() const override { return "EXPLAIN QUERY PLAN "; }

  void Stream(const std::string& sql, const Params& params,
              const std::function<void(const Row&)>& row) override {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) Fail();
    // Finalized however this ends: an unfinalized statement keeps the connection from closing.
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> st(raw, &sqlite3_finalize);
    for (std::size_t i = 0; i < params.size(); ++i) {
      const int n = static_cast<int>(i + 1);
      if (params[i]) {
        sqlite3_bind_text(st.get(), n, params[i]->c_str(), static_cast<int>(params[i]->size()),
                          SQLITE_STATIC);
      } else {
        sqlite3_bind_null(st.get(), n);
      }
    }
    int rc = 0;
    // One row's texts are reused for the next: a scan of millions allocates next to nothing.
    Row r(static_cast<std::size_t>(sqlite3_column_count(st.get())));
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
      for (std::size_t c = 0; c < r.size(); ++c)
        Column(st.get(), static_cast<int>(c), r[c]);
      row(r);
    }
    st.reset();
    if (rc != SQLITE_DONE) Fail();
  }

 private:
  void Open(const std::string& name, int flags) {
    sqlite3* db = nullptr;
    // A connection is only ever used by the thread that opened it: no lock around each call.
    int opened = sqlite3_open_v2(name.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    // Owned from here on: a constructor that throws runs no destructor, and a file that turns
    // out to be no database only fails at the first statement.
    db_.reset(db);
    if (opened != SQLITE_OK) {
      std::string why = db ? sqlite3_errmsg(db) : "out of memory";
      throw StoreError("cannot open the records database " + path_ + ": " + why);
    }
    // Another writer's lock is waited for within the limit, and not past a stop.
    sqlite3_busy_handler(db, &SqliteStore::Busy, this);
  }

  static int Busy(void* self, int count) {
    auto* s = static_cast<SqliteStore*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) s->busy_since_ = now;
    if (Outside().StoppedSince(s->mark_) || now - s->busy_since_ >= WaitLimit()) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 1;
  }

  // A column's value. Whole numbers are written here, real numbers handed over as they are:
  // SQLite's own printf takes several times as long as the rest of an export. The column is
  // looked up once (each sqlite3_column_ call looks it up again and checks for a failure).
  static void Column(sqlite3_stmt* st, int c, Value& out) {
    char buf[32];
    const char* text = buf;
    std::size_t size = 0;
    out.number.reset();
    sqlite3_value* v = sqlite3_column_value(st, c);
    switch (sqlite3_value_type(v)) {
      case SQLITE_NULL:
        out.reset();
        return;
      case SQLITE_FLOAT:
        out.number = sqlite3_value_double(v);
        break;
      case SQLITE_INTEGER:
        size = static_cast<std::size_t>(
            std::to_chars(buf, buf + sizeof buf, sqlite3_value_int64(v)).ptr - buf);
        break;
      default:
        text = reinterpret_cast<const char*>(sqlite3_value_text(v));
        size = static_cast<std::size_t>(sqlite3_value_bytes(v));
    }
    out.SetText(text, size);
  }

  static std::string UriPath(const std::string& path) {
    std::string out;
    for (char c : path) {
      if (c == '%' || c == '?' || c == '#') {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
        out += buf;
      } else {
        out += c;
      }
    }
    return out;
  }

  [[noreturn]] void Fail() {
    throw StoreError("the records database " + path_ + ": " + sqlite3_errmsg(db_.get()));
  }

  std::string path_;
  WriterTurns turns_{path_};
  int logged_pages_ = 0;
  std::thread copying_;
  std::atomic<bool> copied_{false};
  std::chrono::steady_clock::time_point busy_since_;
  const int mark_ = Outside().Mark();  // a stop from here on ends this store's waits
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db_{nullptr, &sqlite3_close};
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string& path, Access access) {
  return std::make_unique<SqliteStore>(path, access);
}

}  // namespace vx::records
