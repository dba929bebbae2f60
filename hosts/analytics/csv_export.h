// The records as a CSV file a quality engineer opens in a spreadsheet: one row per run, with
// each reading's residual. Both hosts export through it. Rows are written as they are read.
// A text that a spreadsheet would take for a formula is neutralised; the file appears whole or
// not at all.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "records/store.h"

namespace vx {

// A text cell as CSV: quoted when it holds a quote, comma, CR or LF; prefixed with ' when it
// begins with =, +, -, @, tab or CR (a formula to a spreadsheet).
std::string CsvCell(const std::string& text);

// Writes every record of the store at `where` to `file` ("-": standard output) through a
// temporary file renamed into place, so that a failure never leaves a cut or emptied file;
// returns how many. Rows that are no record go to `broken` and are left out. Throws
// records::StoreError when the store cannot be read, std::runtime_error when the file cannot
// be written.
std::size_t ExportCsv(const std::string& where, const std::string& file,
                      const records::Store::Broken& broken);
// "12 records written to runs.csv", and how many damaged ones were left out.
std::string ExportedSentence(std::size_t n, const std::string& file, std::size_t broken = 0);

// The same into a stream.
std::size_t WriteCsv(records::Store& store, std::ostream& out,
                     const records::Store::Broken& broken);

}  // namespace vx
