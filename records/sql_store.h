// The tables and queries that the SQLite and PostgreSQL stores share; each backend supplies its
// connection, statement execution, the one column type that differs and its transactions.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "records/store.h"

namespace vx::records {

class SqlStore : public Store {
 public:
  // A column's value: its text, nullopt for NULL. A backend that keeps a real number as such
  // hands it over as `number` with an empty text, so that a scan of millions parses nothing.
  struct Value : std::optional<std::string> {
    using std::optional<std::string>::optional;
    std::optional<double> number;
    // Its text, in the room the last one left: a scan of millions allocates next to nothing.
    void SetText(const char* data, std::size_t size) {
      if (has_value()) {
        (**this).assign(data, size);
      } else {
        emplace(data, size);
      }
    }
  };
  using Row = std::vector<Value>;
  using Params = std::vector<std::optional<std::string>>;  // nullopt: NULL

  std::int64_t Add(const RunRecord& r) override;
  void AddAll(const std::vector<RunRecord>& rs) override;
  void Update(std::int64_t id, const RunRecord& r) override;
  bool Has(const std::string& uid) override;
  void Each(const Query& q, const std::function<void(RunRecord&&)>& row,
            const Broken& broken) override;
  void EachSummary(const Query& q, const std::function<void(const Summary&)>& row,
                   const Broken& broken) override;
  std::string Plan(const Query& q) override;
  std::optional<RunRecord> Get(std::int64_t id) override;
  std::string OlderSchema() const override { return older_; }
  int SchemaVersion() const override { return version_; }

 protected:
  // Runs one statement with `?` placeholders bound to text values, handing each row over as it
  // comes; throws StoreError.
  virtual void Stream(const std::string& sql, const Params& params,
                      const std::function<void(const Row&)>& row) = 0;
  // The same for a statement that may give many rows, one at a time to `row`.
  virtual void StreamMany(const std::string& sql, const Params& params,
                          const std::function<void(const Row&)>& row) {
    Stream(sql, params, row);
  }
  // The id column's type: an integer the database counts up by itself.
  virtual const char* IdColumn() const = 0;
  // The collation that orders texts by their bytes ("" where that is the only one): times are
  // compared as the ISO texts they are, whatever the database's locale.
  virtual std::string BytewiseCollation() const { return ""; }
  virtual bool TableExists(const std::string& name) = 0;
  // Runs fn in a transaction, rolled back when fn throws.
  virtual void Transaction(const std::function<void()>& fn) = 0;
  // Within a transaction: holds the schema's lock until it ends, so that stations starting at
  // once do not race to create or migrate it.
  virtual void LockSchema() {}
  // Around the one transaction of an upgrade, which rewrites the store whole: how the database
  // keeps what it would roll back, for as much data as the store holds.
  virtual void BeforeUpgrade() {}
  virtual void AfterUpgrade() {}
  // The statement that shows how the database would answer another.
  virtual std::string ExplainPrefix() const = 0;

  std::vector<Row> Exec(const std::string& sql, const Params& params);
  // Brings the schema up to date: created when missing, an older one migrated once. Only then
  // does the store need the rights to change tables; a store already up to date is only read
  // and written. A store opened read-only is read as it stands: its records are there, the
  // columns a newer schema derives from them are not (OlderSchema()).
  void Prepare(Access access);
  // The schema's version, 0 for none.
  virtual int Version();
  // The version in the first row of its table's rows.
  int VersionIn(const std::vector<Row>& rows) const;

 private:
  std::int64_t AddOne(const RunRecord& r);  // within a transaction
  // The rows of a query's statement, by the way that suits how many it may give.
  void Scan(const Query& q, const std::string& sql, const Params& params,
            const std::function<void(const Row&)>& row);
  void Create();
  void Migrate(int from);
  void FillColumns();
  std::string older_;  // why a read of an older schema lacks what a newer one derives
  int version_ = kSchemaVersion;
};

// Who is told how an upgrade goes (SetUpgradeProgress).
std::function<void(std::int64_t, std::int64_t)>& UpgradeProgress();

}  // namespace vx::records
