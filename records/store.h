// Where records are kept: an embedded SQLite database by default, or a PostgreSQL server that
// many stations share. Both hold the same table and answer the same queries; the schema is
// versioned and created on first use.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "records/record.h"

namespace vx::records {

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Query {
  std::string unit;     // empty: any
  std::string since;    // an ISO date or time; empty: any
  std::string outcome;  // empty: any
  int limit = 0;        // the newest N; 0: all
};

class Store {
 public:
  virtual ~Store() = default;
  // Stores the record and returns its id. Throws StoreError.
  virtual std::int64_t Add(const RunRecord& r) = 0;
  // Oldest first. Throws StoreError.
  virtual std::vector<RunRecord> List(const Query& q) = 0;
  virtual std::optional<RunRecord> Get(std::int64_t id) = 0;
  // Where the records go, as a user names it.
  virtual std::string Where() const = 0;
  // The folder for a record that could not be stored.
  virtual std::string FallbackFolder() const = 0;
};

inline constexpr int kSchemaVersion = 1;

// "" is the default database ($XDG_DATA_HOME/vx58420/records.sqlite, else
// ~/.local/share/vx58420/records.sqlite); "postgresql://..." or "postgres://..." a server;
// anything else the path of an SQLite file. Throws StoreError.
std::unique_ptr<Store> OpenStore(const std::string& where);
std::string DefaultDatabase();

// Stores the record; when that fails, writes it as a JSON file beside the database and returns
// a warning naming the file (empty when the record was stored). Never throws.
std::string StoreOrKeep(const std::string& where, RunRecord& r);

}  // namespace vx::records
