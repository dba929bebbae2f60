// The records of a line taken together: per reading and per group (station, operator, meter or
// day) how large the corrections were and how they spread, how close the units came to their
// references, the yield; and a watch for a group that calibrates differently from the rest of
// the line (a meter that reads high, a probe lead that gained resistance), with the unit from
// which it shows. Records are taken one at a time, oldest first; what is kept does not grow
// with their number.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "records/limits.h"
#include "records/store.h"

namespace vx {

enum class GroupBy { kStation, kOperator, kMeter, kDay };
// "station", "operator", "meter", "day"; nullopt for anything else.
std::optional<GroupBy> GroupByNamed(const std::string& name);

// A mean and spread taken one value at a time (Welford's method).
struct Spread {
  double n = 0, mean = 0, m2 = 0;
  void Add(double x);
  double Sd() const;  // sample standard deviation, 0 below two values
  // The values of `whole` that are not in `part` (part is taken from whole).
  static Spread Without(const Spread& whole, const Spread& part);
  // The values of both.
  static Spread Merged(const Spread& a, const Spread& b);
};

// The watch over one group's corrections in one chart: a two-sided CUSUM of each correction's
// distance from the rest of the line, in the rest's standard deviations. Each side remembers
// the record from which its sum last rose from zero: where the difference began.
struct Chart {
  struct Side {
    double sum = 0;
    std::int64_t id = 0;
    std::string unit, time_utc;
    double n_before = 0;  // the group's calibrated records before that one
    Spread since;         // the differences from that record on
  } high, low;
};

struct Flag {
  std::string group;
  std::string reading;    // a reading's name, or kMeterReadings
  double difference = 0;  // in % for ratios, in degrees for the temperature
  bool percent = true;
  std::int64_t first_id = 0;
  std::string first_unit, first_time;
  std::int64_t units_since = 0;  // the group's units from the first one on, it included
  std::string flagged_unit;      // the unit at which the watch crossed its limit
  std::int64_t flagged_id = 0;
};
inline constexpr const char* kMeterReadings = "voltages and current";

// The flags of each group together: the first one raised, and the others after it.
struct FlaggedGroup {
  Flag first;
  std::vector<Flag> also;
};
std::vector<FlaggedGroup> FlaggedGroups(const std::vector<Flag>& flags);

struct ReadingStats {
  Spread correction, residual;
  std::optional<double> limit;  // the largest residual allowed, from --limits
  double Cpk() const;           // against ±limit; NaN without a limit or a spread
};

struct GroupStats {
  std::string name;
  std::int64_t runs = 0, done = 0;  // runs that ended, and those done within their limits
  std::array<ReadingStats, records::kReadings.size()> readings;
};

// The watch's settings: k (half the shift it is tuned for) and h (its limit), in standard
// deviations; a group is watched only once the rest of the line has `warm_up` values.
struct WatchSettings {
  double reading_k = 0.5, reading_h = 14;
  double meter_k = 1.0, meter_h = 7;
  double warm_up = 30;
};

class LineStats {
 public:
  LineStats(GroupBy by, const Limits& limits, WatchSettings w = {});
  // Takes the next record (oldest first). Returns the name of the group it counts in, or nullptr
  // for a record that is no run of a unit (the name lives as long as these statistics).
  const std::string* Add(const records::Summary& s);

  std::vector<GroupStats> Groups() const;  // by name
  std::vector<Flag> Flags() const;
  std::int64_t Runs() const { return runs_; }
  // The values left out because no calibration makes them (not finite, a correction beyond
  // what a reference may correct, a residual of kilovolts), each named with its record: one
  // row of a shared store must not blind the watch.
  const std::vector<std::string>& LeftOut() const { return left_out_; }

 private:
  // The group a record falls in: its station, operator, meter ("typed" for none) or day.
  std::string GroupOf(const records::Summary& s) const;
  struct Group {
    GroupStats stats;
    std::array<Chart, records::kReadings.size() + 1> charts;  // the readings, then the meter's
    std::array<bool, records::kReadings.size() + 1> flagged{};
    double calibrated = 0;  // records whose corrections count
    Spread meter;           // the mean difference of the meter's readings, per record
  };
  struct Raised {
    Flag flag;
    double n_before;
  };
  // One record's distance z (in standard deviations) and difference (in % or degrees).
  void Watch(const std::string& name, Group& g, std::size_t chart, double z, double difference,
             const records::Summary& s);

  GroupBy by_;
  WatchSettings w_;
  std::array<std::optional<double>, records::kReadings.size()> limits_;
  std::map<std::string, Group> groups_;
  std::array<Spread, records::kReadings.size()> line_;  // every group's corrections
  Spread line_meter_;
  std::vector<Raised> raised_;
  std::vector<std::string> left_out_;
  std::int64_t runs_ = 0;
};

// Whether a record's corrections and residuals count: the run ended with its done mark (also
// when outside its limits).
bool Calibrated(const records::Summary& s);

}  // namespace vx
