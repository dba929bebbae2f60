// The line's statistics as one self-contained HTML page (no scripts, fonts or anything from the
// network): the groups flagged by the watch at the top with their evidence, then per reading a
// control chart of the corrections over time by group, a histogram of the residuals against
// the limits, the yield per group over time, and the table of figures. Records are aggregated
// per day and group as they come, so the page stays small whatever their number.
#pragma once

#include <array>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "hosts/analytics/line_stats.h"

namespace vx {

class LineReport {
 public:
  LineReport(GroupBy by, const Limits& limits);
  LineReport(const LineReport&) = delete;  // it remembers where in itself the last day is
  LineReport& operator=(const LineReport&) = delete;
  void Add(const records::Summary& s);
  const LineStats& stats() const { return stats_; }
  // The page; `covers` says what it covers ("records.sqlite, 2026-01-01 to 2026-03-31").
  void Write(std::ostream& out, const std::string& covers) const;

 private:
  struct Cell {
    std::array<Spread, records::kReadings.size()> correction;
    std::int64_t runs = 0, done = 0;
  };
  // A histogram's counts: the bins near zero, where nearly every residual falls, in an array,
  // the others by their number.
  struct Bins {
    static constexpr long long kNear = 512;
    std::vector<std::int64_t> near = std::vector<std::int64_t>(2 * kNear);
    std::map<long long, std::int64_t> far;
    std::int64_t n = 0;
    void Add(long long bin);
    std::map<long long, std::int64_t> All() const;
  };
  using Days = std::map<std::string, std::map<std::string, Cell>>;  // day, group
  GroupBy by_;
  LineStats stats_;
  Limits limits_;
  Days days_;
  Days::iterator day_ = days_.end();  // the last record's: the next one is most often of it
  std::array<Bins, records::kReadings.size()> residuals_;
};

// Reads the records the query covers from the store at `where` into a report, grouped `by`, and
// writes it to `file` whole or not at all (a temporary file renamed into place); returns its
// statistics. Rows that are no record go to `broken`. Throws records::StoreError when the store
// cannot be read, std::runtime_error when the file cannot be written.
LineStats WriteLineReport(const std::string& where, const records::Query& q, GroupBy by,
                          const Limits& limits, const std::string& file,
                          const records::Store::Broken& broken);
// What a report or the statistics cover, in words: "all records", "records from 2026-12-01".
std::string Covering(const records::Query& q);
// The name of a grouping: "station", "operator", "meter", "day".
std::string GroupByName(GroupBy by);

}  // namespace vx
