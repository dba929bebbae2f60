#include "records/store.h"

#include "records/pg_address.h"
#include "records/sql_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace vx::records {

std::unique_ptr<Store> OpenSqliteStore(const std::string& path, Access access);
std::unique_ptr<Store> OpenPgStore(const std::string& url, Access access);

namespace {

// A server's address with its scheme as libpq takes it (a user may write POSTGRESQL://), or
// "" for anything that names a file.
std::string ServerUrl(const std::string& where) {
  for (const char* scheme : {"postgresql://", "postgres://"}) {
    const std::size_t n = std::char_traits<char>::length(scheme);
    if (where.size() < n) continue;
    bool same = true;
    for (std::size_t i = 0; i < n; ++i)
      same = same && std::tolower(static_cast<unsigned char>(where[i])) == scheme[i];
    if (same) return scheme + where.substr(n);
  }
  return "";
}

// A folder for records: created for this user alone when missing.
void MakeFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  if (folder.empty() || std::filesystem::exists(folder, ec)) return;
  std::filesystem::create_directories(folder, ec);
  ::chmod(folder.c_str(), 0700);
}

// Writes the record whole or not at all, under a name no other writer can take (time, pid, a
// counter and a random part; created exclusively); false when the folder takes no file.
bool KeepAsFile(const std::string& folder, const RunRecord& r, std::string& file) {
  static std::atomic<int> counter{0};
  MakeFolder(folder);
  std::string stamp = r.time_utc;
  for (char& c : stamp) {
    if (c == ':') c = '-';
  }
  file = folder + "/unstored-record-" + stamp + "-" + std::to_string(getpid()) + "-" +
         std::to_string(++counter) + "-" + NewUid().substr(0, 8) + ".json";
  const std::string tmp = file + ".tmp";
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::string text = ToJson(r).dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  bool ok = true;
  for (std::size_t done = 0; ok && done < text.size();) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    ok = n > 0;
    done += ok ? static_cast<std::size_t>(n) : 0;
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(tmp.c_str(), file.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

// The folder a record goes to when its store cannot take it: beside the database file, or the
// default data folder (for a server, or a path that is no place for a file).
std::string FallbackFolderFor(const std::string& where) {
  std::string db = where.empty() || IsServer(where) ? DefaultDatabase() : where;
  struct stat st {};
  if (::stat(db.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) db = DefaultDatabase();
  std::string folder = std::filesystem::path(db).parent_path().string();
  return folder.empty() ? "." : folder;
}

int DaysIn(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

bool IsServer(const std::string& where) {
  return !ServerUrl(where).empty();
}

namespace {
std::chrono::milliseconds g_wait_limit{10000};
}  // namespace

void SetWaitLimit(std::chrono::milliseconds limit) {
  g_wait_limit = limit;
}

std::chrono::milliseconds WaitLimit() {
  return g_wait_limit;
}

std::string DefaultDatabase() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data && *data) {
    base = data;
  } else if (const char* home = std::getenv("HOME")) {
    base = std::string(home) + "/.local/share";
  } else {
    base = ".";
  }
  return base + "/vx58420/records.sqlite";
}

std::string DisplayName(const std::string& where) {
  if (IsServer(where)) return PgDisplayName(ServerUrl(where));
  return where.empty() ? DefaultDatabase() : where;
}

void RequireDerived(const Store& store, const std::string& what) {
  if (const std::string older = store.OlderSchema(); !older.empty()) {
    throw StoreError(older + " (" + what + " cannot do without it)");
  }
}

int Store::SchemaVersion() const {
  return kSchemaVersion;
}

void SetUpgradeProgress(std::function<void(std::int64_t, std::int64_t)> told) {
  UpgradeProgress() = std::move(told);
}

int UpgradeStore(const std::string& where) {
  const int from = OpenStore(where, Access::kRead)->SchemaVersion();
  if (from < kSchemaVersion) OpenStore(where, Access::kWrite);
  return from;
}

std::unique_ptr<Store> OpenStore(const std::string& where, Access access) {
  if (IsServer(where)) return OpenPgStore(ServerUrl(where), access);
  return OpenSqliteStore(where.empty() ? DefaultDatabase() : where, access);
}

Summary SummaryOf(const RunRecord& r) {
  Summary s;
  s.id = r.id;
  s.time_utc = r.time_utc;
  s.station = r.station;
  s.operator_name = r.operator_name;
  s.unit = r.unit;
  s.run = r.run;
  s.outcome = r.outcome;
  s.meter = MeterOf(r.references);
  s.residuals = ByReading(r.residuals);
  s.corrections = ByReading(Corrections(r.references, r.readings_before));
  return s;
}

std::vector<RunRecord> Store::List(const Query& q) {
  std::vector<RunRecord> out;
  Each(
      q, [&](RunRecord&& r) { out.push_back(std::move(r)); },
      [](std::int64_t, const std::string&) {});
  return out;
}

std::string QueryTime(const std::string& text) {
  const std::string fits =
      " is not a date or time: YYYY-MM-DD, or YYYY-MM-DDTHH:MM[:SS] in UTC (2026-12-06T08:30)";
  std::string t = text;
  if (!t.empty() && (t.back() == 'Z' || t.back() == 'z')) t.pop_back();
  if (t.size() > 10 && t[10] == ' ') t[10] = 'T';
  auto digits = [&](std::size_t at, std::size_t n) {
    if (t.size() < at + n) return -1;
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
      if (t[i] < '0' || t[i] > '9') return -1;
      v = v * 10 + (t[i] - '0');
    }
    return v;
  };
  const int year = digits(0, 4), month = digits(5, 2), day = digits(8, 2);
  bool ok = t.size() >= 10 && t[4] == '-' && t[7] == '-' && year >= 1970 && month >= 1 &&
            month <= 12 && day >= 1 && day <= DaysIn(year, month);
  if (ok && t.size() > 10) {
    ok = t[10] == 'T' && t.size() >= 16 && t[13] == ':' && digits(11, 2) >= 0 &&
         digits(11, 2) < 24 && digits(14, 2) >= 0 && digits(14, 2) < 60;
    if (ok && t.size() > 16) {
      ok = t[16] == ':' && t.size() >= 19 && digits(17, 2) >= 0 && digits(17, 2) < 60;
      if (ok && t.size() > 19) {
        ok = t[19] == '.' && t.size() > 20;
        for (std::size_t i = 20; ok && i < t.size(); ++i)
          ok = t[i] >= '0' && t[i] <= '9';
      }
    }
  }
  if (!ok) throw std::invalid_argument("\"" + text + "\"" + fits);
  return t;
}

namespace {

// Keeps the record in a file because the store could not take it (why), and says where.
Kept Keep(const std::string& where, RunRecord& r, const std::string& why) {
  std::string file;
  if (KeepAsFile(FallbackFolderFor(where), r, file) || KeepAsFile(".", r, file)) {
    return {"the record could not be stored (" + why + "); it was written to " + file +
                " (vx58420cal records import brings it in)",
            file};
  }
  std::cerr << DumpJson(ToJson(r)) << "\n";
  return {"the record could not be stored (" + why +
              ") nor written to a file; it was printed on standard error",
          ""};
}

}  // namespace

Kept StoreOrKeep(const std::string& where, RunRecord& r) {
  try {
    r.id = OpenStore(where)->Add(r);
    return {};
  } catch (const std::exception& e) {
    return Keep(where, r, e.what());
  }
}

Trail::Trail(std::string where) : where_(std::move(where)) {}
Trail::~Trail() = default;

void Trail::Start(RunRecord& r) {
  r.outcome = "incomplete";
  try {
    store_ = OpenStore(where_);
    id_ = r.id = store_->Add(r);
  } catch (const std::exception& e) {
    // The store is not there now: the record is kept in a file when the run ends, without
    // waiting on the store a second time.
    store_.reset();
    id_ = r.id = 0;
    unreachable_ = e.what();
  }
}

Kept Trail::Finish(RunRecord& r) {
  // The run's store is closed once its record is complete, whichever way that went.
  std::unique_ptr<Store> store = std::move(store_);
  if (!unreachable_.empty()) return Keep(where_, r, unreachable_);
  if (id_ > 0) {
    try {
      r.id = id_;
      try {
        store->Update(id_, r);
      } catch (const std::exception&) {
        // A server may have dropped a connection that sat idle through the run; a file's
        // store failed for a reason a new connection would only wait on again.
        if (!IsServer(where_)) throw;
        store = OpenStore(where_);
        store->Update(id_, r);
      }
      return {};
    } catch (const std::exception&) {
      r.id = 0;  // stored whole elsewhere below; the incomplete row stays as the start's trace
    }
  }
  return StoreOrKeep(where_, r);
}

RunRecord ReadRecordFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw StoreError(path + " does not exist");
  if (!S_ISREG(st.st_mode)) throw StoreError(path + " is not a record file (a folder?)");
  if (st.st_size > 16 * 1024 * 1024) throw StoreError(path + " is too large for a record");
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  try {
    return FromText(text.str());
  } catch (const Json::exception&) {
    throw std::runtime_error(path + " is not JSON");
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
}

}  // namespace vx::records
