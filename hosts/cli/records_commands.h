// `records list|show|export` on the records of the runs, and `restore RECORD`, which writes a
// record's "before" data flash back and records that too.
#pragma once

#include <string>

#include "hosts/cli/session.h"
#include "records/store.h"

namespace vx::cli {

int RecordsList(const Options& o, const records::Query& q);
int RecordsShow(const Options& o, std::int64_t id);
int RecordsExport(const Options& o, const std::string& csv_file);
// Runs on an opened device; asks for confirmation unless --yes.
int RestoreCommand(Session& s, std::int64_t id);

}  // namespace vx::cli
