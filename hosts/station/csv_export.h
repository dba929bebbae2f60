// The records as a CSV file a quality engineer opens in a spreadsheet: one row per run, with
// each reading's residual. Both hosts export through it.
#pragma once

#include <cstddef>
#include <string>

namespace vx {

// Writes every record of the store at `where` to `file`; returns how many. Throws
// records::StoreError when the store cannot be read, std::runtime_error when the file cannot
// be written.
std::size_t ExportCsv(const std::string& where, const std::string& file);

}  // namespace vx
