// The tables and queries that the SQLite and PostgreSQL stores share; each backend supplies its
// connection, statement execution, the one column type that differs and how it takes the
// schema's lock.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "records/store.h"

namespace vx::records {

class SqlStore : public Store {
 public:
  std::int64_t Add(const RunRecord& r) override;
  void Update(std::int64_t id, const RunRecord& r) override;
  bool Has(const std::string& uid) override;
  void Each(const Query& q, const std::function<void(RunRecord&&)>& row,
            const Broken& broken) override;
  std::optional<RunRecord> Get(std::int64_t id) override;

 protected:
  using Row = std::vector<std::optional<std::string>>;
  // Runs one statement with `?` placeholders bound to text values, handing each row over as it
  // comes; throws StoreError.
  virtual void Stream(const std::string& sql, const std::vector<std::string>& params,
                      const std::function<void(const Row&)>& row) = 0;
  // The id column's type: an integer the database counts up by itself.
  virtual const char* IdColumn() const = 0;
  virtual bool TableExists(const std::string& name) = 0;
  // Runs fn in a transaction that holds the schema's lock (stations starting at once do not
  // race); rolled back when fn throws.
  virtual void SchemaTransaction(const std::function<void()>& fn) = 0;

  std::vector<Row> Exec(const std::string& sql, const std::vector<std::string>& params);
  // Brings the schema up to date: created when missing, an older one migrated once. Only then
  // does the store need the rights to change tables; a store already up to date is only read
  // and written. A store opened read-only must already be up to date.
  void Prepare(Access access);

 private:
  int Version();
  void Create();
  void Migrate(int from);
};

}  // namespace vx::records
