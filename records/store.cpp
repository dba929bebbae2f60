#include "records/store.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace vx::records {

std::unique_ptr<Store> OpenSqliteStore(const std::string& path);
std::unique_ptr<Store> OpenPgStore(const std::string& url);

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

std::unique_ptr<Store> OpenStore(const std::string& where) {
  if (where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0) {
    return OpenPgStore(where);
  }
  return OpenSqliteStore(where.empty() ? DefaultDatabase() : where);
}

namespace {

// Writes the record whole or not at all; false when the folder takes no file.
bool KeepAsFile(const std::string& folder, const RunRecord& r, std::string& file) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string stamp = r.time_utc;
  for (char& c : stamp) {
    if (c == ':') c = '-';
  }
  file = folder + "/unstored-record-" + stamp + "-" + std::to_string(getpid()) + ".json";
  std::string tmp = file + ".tmp";
  {
    std::ofstream out(tmp, std::ios::trunc);
    out << ToJson(r).dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    out.close();
    if (!out) {
      std::filesystem::remove(tmp, ec);
      return false;
    }
  }
  std::filesystem::rename(tmp, file, ec);
  return !ec;
}

}  // namespace

std::string StoreOrKeep(const std::string& where, RunRecord& r) {
  std::string why, folder;
  try {
    auto store = OpenStore(where);
    folder = store->FallbackFolder();
    r.id = store->Add(r);
    return "";
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (folder.empty()) {
    bool pg = where.rfind("postgres", 0) == 0;
    std::string db = pg || where.empty() ? DefaultDatabase() : where;
    folder = std::filesystem::path(db).parent_path().string();
    if (folder.empty()) folder = ".";
  }
  std::string file;
  if (KeepAsFile(folder, r, file) || KeepAsFile(".", r, file)) {
    return "the record could not be stored (" + why + "); it was written to " + file;
  }
  std::cerr << ToJson(r).dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
  return "the record could not be stored (" + why +
         ") nor written to a file; it was printed on standard error";
}

}  // namespace vx::records
