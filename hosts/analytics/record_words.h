// A record as a person reads it, the same wherever it is shown: a line of a list, a summary as
// JSON, and the record whole with the gains before and after its run. Text from a record
// reaches a terminal or a window without its control characters.
#pragma once

#include <string>
#include <vector>

#include "records/store.h"

namespace vx {

// "record 12 is damaged (why); left out": a row of the store that is no record.
std::string DamagedSentence(std::int64_t id, const std::string& why);
// "   12  2026-12-06T08:30:15.000Z  st1          SN-0042        calibrate              done".
std::string SummaryLine(const records::Summary& r);
// {"id", "time_utc", "station", "operator", "unit", "run", "outcome", "meter", "residuals",
// "corrections"}: what the store keeps in columns.
Json SummaryJson(const records::Summary& r);
// The record whole, with "gains": each gain of CalibrationData before and after the run.
Json RecordJson(const records::RunRecord& r);
// The record whole, a field a line: what was given (a metered reference as the page got it,
// with the meter and its readings in brief), what was read, the gains before and after.
std::vector<std::string> RecordLines(const records::RunRecord& r);

}  // namespace vx
