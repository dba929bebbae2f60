// The table and queries that the SQLite and PostgreSQL stores share; each backend supplies its
// connection, its statement execution and the one column type that differs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "records/store.h"

namespace vx::records {

class SqlStore : public Store {
 public:
  std::int64_t Add(const RunRecord& r) override;
  std::vector<RunRecord> List(const Query& q) override;
  std::optional<RunRecord> Get(std::int64_t id) override;

 protected:
  using Row = std::vector<std::optional<std::string>>;
  // Runs one statement with `?` placeholders bound to text values; throws StoreError.
  virtual std::vector<Row> Exec(const std::string& sql, const std::vector<std::string>& params) = 0;
  // The id column's type: an integer the database counts up by itself.
  virtual const char* IdColumn() const = 0;
  // Creates the schema if it is not there and checks its version; the backend calls it while
  // holding the database's lock, so that stations starting at once do not race.
  void CreateSchema();

 private:
  std::vector<RunRecord> Records(const std::vector<Row>& rows);
};

}  // namespace vx::records
