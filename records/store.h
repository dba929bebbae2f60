// Where records are kept: an embedded SQLite database by default, or a PostgreSQL server that
// many stations share. Both hold the same tables and answer the same queries; the schema is
// versioned, created when missing and brought up to date once, in a transaction.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "records/readings.h"

namespace vx::records {

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Query {
  std::string unit;            // empty: any
  std::string since;           // a checked UTC date or time (QueryTime); empty: any
  std::string until;           // the same, inclusive; empty: any
  std::string outcome;         // empty: any
  std::int64_t limit = 0;      // at most this many: the first after after_id when that is given,
                               // else the newest; 0: all
  std::int64_t after_id = 0;   // only records of a greater id; 0: any
  std::int64_t before_id = 0;  // only records of a smaller id; 0: any
  bool newest_first = false;   // handed over newest first (else oldest first)
};

// A record as lists, exports and statistics see it: what the store keeps in columns of their
// own, without the record whole.
struct Summary {
  std::int64_t id = 0;
  std::string time_utc, station, operator_name, unit, run, outcome;
  std::string meter;  // "" when the references were typed
  PerReading residuals, corrections;
};

// What a store keeps of a record in its columns.
Summary SummaryOf(const RunRecord& r);

// A date or time a user gave for --since/--until as the store compares it: "2026-12-06",
// "2026-12-06T08:30", "2026-12-06T08:30:15Z" (UTC; a space may stand for the T). Throws
// std::invalid_argument saying what fits.
std::string QueryTime(const std::string& text);

enum class Access {
  kWrite,  // created when missing; the schema brought up to date
  kRead,   // must exist; opened read-only, so a read-only file or a reader's rights will do
};

class Store {
 public:
  virtual ~Store() = default;
  // Stores the record and returns its id. Throws StoreError.
  virtual std::int64_t Add(const RunRecord& r) = 0;
  // Completes a record stored while its run was going (outcome "incomplete"). Throws
  // StoreError, also when the record is no longer incomplete.
  virtual void Update(std::int64_t id, const RunRecord& r) = 0;
  // Whether a record of this uid is stored (an import brings a record in once).
  virtual bool Has(const std::string& uid) = 0;
  // The records the query asks for, oldest first, one at a time. A row that is no record is
  // handed to `broken` with its id and why, and the rest go on. Throws StoreError.
  using Broken = std::function<void(std::int64_t id, const std::string& why)>;
  virtual void Each(const Query& q, const std::function<void(RunRecord&&)>& row,
                    const Broken& broken) = 0;
  // The same as summaries, from the store's columns alone. A row whose columns are not what
  // the store writes is handed to `broken`.
  virtual void EachSummary(const Query& q, const std::function<void(const Summary&)>& row,
                           const Broken& broken) = 0;
  // Stores the records in one transaction: all of them or none (a bulk load). Throws StoreError.
  virtual void AddAll(const std::vector<RunRecord>& rs) = 0;
  // How the database answers the query's summaries: its own plan, as text.
  virtual std::string Plan(const Query& q) = 0;
  // nullopt when there is no such record; StoreError when the row is no record.
  virtual std::optional<RunRecord> Get(std::int64_t id) = 0;
  // Where the records go, as a user names it (never with a password).
  virtual std::string Where() const = 0;
  // The folder for a record that could not be stored.
  virtual std::string FallbackFolder() const = 0;
  // For a store of an older schema opened to read: that it is, and what brings it up to date
  // (its records are read as they stand; what the newer schema derives from them is not
  // there: the residuals and corrections that exports and statistics read). "" otherwise.
  virtual std::string OlderSchema() const { return ""; }
  virtual int SchemaVersion() const;

  // Each into a list; broken rows are left out.
  std::vector<RunRecord> List(const Query& q);
};

inline constexpr int kSchemaVersion = 3;

// Throws StoreError naming the upgrade when the store is of an older schema: `what` (an
// export, the statistics) needs the residuals and corrections it lacks.
void RequireDerived(const Store& store, const std::string& what);

// Told how an upgrade of an older store goes: records done so far, of how many.
void SetUpgradeProgress(std::function<void(std::int64_t done, std::int64_t of)> told);
// Brings the store at `where` up to date in one transaction (a stop asked for, Outside(), ends
// it with nothing changed); returns the schema version it had.
int UpgradeStore(const std::string& where);

// The longest a store waits on the database without progress (connecting, an answer, another
// writer's lock) before it gives up; a stop the program is asked for (Outside()) ends any such
// wait within a slice. 10 s unless a host sets it (--records-timeout).
void SetWaitLimit(std::chrono::milliseconds limit);
std::chrono::milliseconds WaitLimit();

// "" is the default database ($XDG_DATA_HOME/vx58420/records.sqlite, else
// ~/.local/share/vx58420/records.sqlite); "postgresql://..." or "postgres://..." a server;
// anything else the path of an SQLite file. Throws StoreError.
std::unique_ptr<Store> OpenStore(const std::string& where, Access access = Access::kWrite);
std::string DefaultDatabase();
// Whether `where` names a server (its scheme in any case), not a file.
bool IsServer(const std::string& where);
// The store as messages name it: a server's address without its password.
std::string DisplayName(const std::string& where);

// How storing a record went: stored (both empty), else why not and where it was kept instead.
struct Kept {
  std::string warning;  // "the record could not be stored (...); it was written to FILE ..."
  std::string file;     // the record's file; "" when it was stored, or printed on stderr
  bool stored() const { return warning.empty(); }
};

// Stores the record; when that fails, writes it as a JSON file beside the database and says
// where. Never throws.
Kept StoreOrKeep(const std::string& where, RunRecord& r);

// The trail of one run: its record stored as "incomplete" when the run starts (so that a
// killed program still leaves it, with the data flash from before), and completed when the run
// ends. Never throws. The store stays open between the two: a run pays for one opening.
class Trail {
 public:
  explicit Trail(std::string where);
  ~Trail();
  // Stores the record as it is now, with the outcome "incomplete"; sets its id when stored.
  void Start(RunRecord& r);
  // The record complete: over its start, else as StoreOrKeep keeps it.
  Kept Finish(RunRecord& r);

 private:
  std::string where_;
  std::unique_ptr<Store> store_;  // from the start to the finish
  std::int64_t id_ = 0;
  std::string unreachable_;  // why the store could not take the start
};
// A record kept in a file (a fallback file, or one exported): throws StoreError when the file
// cannot be read, std::runtime_error naming the file and the field when it holds no record.
RunRecord ReadRecordFile(const std::string& path);

}  // namespace vx::records
