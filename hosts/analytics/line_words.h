// The line's statistics in words and as JSON, the same wherever they are shown: the command
// line's table, its JSON, the report's flags, the desktop's sentence.
#pragma once

#include <string>
#include <vector>

#include "hosts/analytics/line_stats.h"
#include "json/json.h"

namespace vx {

// "st3 calibrates differently from the rest of the line: System voltage +0.820 % since unit
// ... (2026-01-03T10:00:00.000Z, record 7); 41 units calibrated since".
std::string FlagSentence(const Flag& f);
// The other readings of a flagged group: "Capacitor 1 +0.800 %, Current +0.790 %", or "".
std::string AlsoSentence(const FlaggedGroup& g);
// "2 groups flagged (st3: System voltage; st5: Current)": the groups, each with its first
// reading.
std::string FlaggedSummary(const std::vector<Flag>& flags);
// "Report of 150 runs written to r.html; 1 group flagged (st3: System voltage)", and how many
// damaged records were left out.
std::string ReportSentence(const LineStats& stats, const std::string& file, std::size_t broken = 0);
// "150 runs in 1 group".
std::string RunsInGroups(const LineStats& stats);

// {"by", "runs", "flags": [...], "groups": [{"group", "runs", "done", "yield", "readings"}]}.
Json StatsJson(const LineStats& stats, const std::string& by);
// The table a terminal shows: per group its runs and yield, then a line per reading.
std::vector<std::string> StatsLines(const LineStats& stats);

}  // namespace vx
