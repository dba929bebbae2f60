// The columns of the runs' table, shared by the store's queries and its schema.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "records/sql_store.h"

namespace vx::records::sql {

// The runs' table holds what queries select by and read, one narrow row a record; the record
// whole is in vx_records under the same id, so that a scan of the runs never reads it.
// The runs' columns besides the id, in the order Values() gives them.
const std::vector<std::string>& ColumnNames();

inline constexpr std::size_t kUidColumn = 6;
inline constexpr std::size_t kMeterColumn = 7;  // then the residuals and corrections

// The names from `first` on, joined by ", ", each followed by `suffix`.
std::string Joined(std::size_t first, const char* suffix = "", std::size_t skip = SIZE_MAX);

// What the store derives from a record for its columns: the meter, the residuals, the
// corrections.
void AddDerived(const RunRecord& r, SqlStore::Params& out);

// "(?, ?, ...)" for a row of n values.
std::string Placeholders(std::size_t n);

}  // namespace vx::records::sql
