#include "hosts/analytics/line_stats.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace vx {

namespace {

constexpr std::size_t kCharts = records::kReadings.size() + 1;
constexpr std::size_t kMeterChart = records::kReadings.size();
constexpr double kMeansFrom = 5;  // values of the rest of the line before its mean is taken

// Runs that calibrate a unit count towards its group's yield; a bus sequence or a restore does
// not, nor a run that has not ended.
bool Counted(const records::Summary& s) {
  return s.outcome != "incomplete" && s.run != "bus" && s.run != "restore";
}

}  // namespace

std::optional<GroupBy> GroupByNamed(const std::string& name) {
  if (name == "station") return GroupBy::kStation;
  if (name == "operator") return GroupBy::kOperator;
  if (name == "meter") return GroupBy::kMeter;
  if (name == "day") return GroupBy::kDay;
  return std::nullopt;
}

void Spread::Add(double x) {
  n += 1;
  const double d = x - mean;
  mean += d / n;
  m2 += d * (x - mean);
}

double Spread::Sd() const {
  return n > 1 ? std::sqrt(std::max(0.0, m2 / (n - 1))) : 0;
}

Spread Spread::Without(const Spread& whole, const Spread& part) {
  Spread rest;
  rest.n = whole.n - part.n;
  if (rest.n < 1) return Spread{};
  rest.mean = (whole.n * whole.mean - part.n * part.mean) / rest.n;
  const double d = part.mean - rest.mean;
  rest.m2 = std::max(0.0, whole.m2 - part.m2 - d * d * part.n * rest.n / whole.n);
  return rest;
}

Spread Spread::Merged(const Spread& a, const Spread& b) {
  Spread m;
  m.n = a.n + b.n;
  if (m.n == 0) return m;
  const double d = b.mean - a.mean;
  m.mean = a.mean + d * b.n / m.n;
  m.m2 = a.m2 + b.m2 + d * d * a.n * b.n / m.n;
  return m;
}

double ReadingStats::Cpk() const {
  const double sd = residual.Sd();
  if (!limit || sd <= 0) return std::numeric_limits<double>::quiet_NaN();
  return std::min(*limit - residual.mean, residual.mean + *limit) / (3 * sd);
}

std::vector<FlaggedGroup> FlaggedGroups(const std::vector<Flag>& flags) {
  std::vector<FlaggedGroup> out;
  for (const Flag& f : flags) {
    auto it = std::find_if(out.begin(), out.end(),
                           [&](const FlaggedGroup& g) { return g.first.group == f.group; });
    if (it == out.end()) {
      out.push_back({f, {}});
    } else {
      it->also.push_back(f);
    }
  }
  return out;
}

bool Calibrated(const records::Summary& s) {
  return s.outcome == "done" || s.outcome == "out of limits";
}

LineStats::LineStats(GroupBy by, const Limits& limits, WatchSettings w) : by_(by), w_(w) {
  for (std::size_t i = 0; i < records::kReadings.size(); ++i) {
    auto it = limits.max_residual.find(std::string(records::kReadings[i].name));
    if (it != limits.max_residual.end()) limits_[i] = it->second;
  }
}

std::string LineStats::GroupOf(const records::Summary& s) const {
  switch (by_) {
    case GroupBy::kStation:
      return s.station;
    case GroupBy::kOperator:
      return s.operator_name;
    case GroupBy::kMeter:
      return s.meter.empty() ? "typed" : s.meter;
    case GroupBy::kDay:
      break;
  }
  return s.time_utc.substr(0, 10);
}

namespace {

// Why a record's value is not one a calibration makes, or nullptr: a ratio that corrects by
// more than 100 % (what the guards allow at most), an offset beyond the page's 12.7 degrees, a
// residual beyond 10 V or 10 A. No text is made for the values that are (nearly all of them).
const char* Implausible(const records::PageRow& row, bool correction, double v) {
  if (!std::isfinite(v)) return "is not a number";
  if (!correction) return std::fabs(v) <= 10000 ? nullptr : "is beyond 10000";
  if (row.offset()) return std::fabs(v) <= 12.7 ? nullptr : "is beyond 12.7 degrees";
  return v > 0 && v <= 2 ? nullptr : "is not a ratio of 0 to 2";
}

}  // namespace

const std::string* LineStats::Add(const records::Summary& given) {
  if (!Counted(given)) return nullptr;
  // A copy only when a value is to be left out: nearly never, and a record is large to clear.
  std::unique_ptr<records::Summary> cleaned;
  for (std::size_t i = 0; i < records::kReadings.size(); ++i) {
    for (bool correction : {false, true}) {
      const auto& v = correction ? given.corrections[i] : given.residuals[i];
      if (!v) continue;
      const char* why = Implausible(records::kReadings[i], correction, *v);
      if (!why) continue;
      left_out_.push_back("record " + std::to_string(given.id) + ": its " +
                          (correction ? "correction" : "residual") + " of " +
                          std::string(records::kReadings[i].name) + " " + why +
                          "; left out of the statistics");
      if (!cleaned) cleaned = std::make_unique<records::Summary>(given);
      (correction ? cleaned->corrections[i] : cleaned->residuals[i]).reset();
    }
  }
  const records::Summary& s = cleaned ? *cleaned : given;
  ++runs_;
  const std::string name = GroupOf(s);
  auto [it, added] = groups_.try_emplace(name);
  const std::string* counted = &it->first;
  Group& g = it->second;
  if (added) {
    g.stats.name = name;
    for (std::size_t i = 0; i < records::kReadings.size(); ++i)
      g.stats.readings[i].limit = limits_[i];
  }
  ++g.stats.runs;
  g.stats.done += s.outcome == "done";
  if (!Calibrated(s)) return counted;

  // Each correction against the rest of the line as it stood before this record.
  double meter_difference = 0;
  int meter_readings = 0;
  for (std::size_t i = 0; i < records::kReadings.size(); ++i) {
    ReadingStats& r = g.stats.readings[i];
    if (s.residuals[i]) r.residual.Add(*s.residuals[i]);
    if (!s.corrections[i]) continue;
    const double c = *s.corrections[i];
    const Spread rest = Spread::Without(line_[i], r.correction);
    const bool offset = records::kReadings[i].offset();
    const double difference = offset ? c - rest.mean : (c / rest.mean - 1) * 100;
    if (rest.n >= w_.warm_up) {
      const double sd = rest.Sd();
      if (sd > 0) Watch(name, g, i, (c - rest.mean) / sd, difference, s);
    }
    // The meter's chart needs only the rest's means to begin; its own spread warms up apart.
    if (!offset && rest.n >= kMeansFrom) {
      meter_difference += difference;
      ++meter_readings;
    }
    r.correction.Add(c);
    line_[i].Add(c);
  }
  // A meter that reads off moves every reading it gives at once: their mean difference shows
  // it sooner than any one of them. Its spread is taken as the line shows it, since the
  // readings of one unit need not be independent of each other.
  if (meter_readings > 1) {
    const double m = meter_difference / meter_readings;
    const Spread rest = Spread::Without(line_meter_, g.meter);
    if (rest.n >= w_.warm_up) {
      const double sd = rest.Sd();
      if (sd > 0) Watch(name, g, kMeterChart, (m - rest.mean) / sd, m - rest.mean, s);
    }
    g.meter.Add(m);
    line_meter_.Add(m);
  }
  ++g.calibrated;
  return counted;
}

void LineStats::Watch(const std::string& name, Group& g, std::size_t chart, double z,
                      double difference, const records::Summary& s) {
  if (g.flagged[chart]) return;
  const bool meter = chart == kMeterChart;
  const double k = meter ? w_.meter_k : w_.reading_k, h = meter ? w_.meter_h : w_.reading_h;
  for (int direction : {1, -1}) {
    Chart::Side& side = direction > 0 ? g.charts[chart].high : g.charts[chart].low;
    const double before = side.sum;
    side.sum = std::max(0.0, side.sum + direction * z - k);
    if (side.sum == 0) continue;
    if (before == 0) {  // the difference may begin here
      side.id = s.id;
      side.unit = s.unit;
      side.time_utc = s.time_utc;
      side.n_before = g.calibrated;
      side.since = {};
    }
    side.since.Add(difference);
    if (side.sum <= h) continue;
    g.flagged[chart] = true;
    Flag f;
    f.group = name;
    f.reading = meter ? kMeterReadings : std::string(records::kReadings[chart].name);
    f.percent = meter || !records::kReadings[chart].offset();
    f.difference = side.since.mean;
    f.first_id = side.id;
    f.first_unit = side.unit;
    f.first_time = side.time_utc;
    f.flagged_unit = s.unit;
    f.flagged_id = s.id;
    raised_.push_back({f, side.n_before});
    return;
  }
}

std::vector<GroupStats> LineStats::Groups() const {
  std::vector<GroupStats> out;
  for (const auto& [name, g] : groups_)
    out.push_back(g.stats);
  return out;
}

std::vector<Flag> LineStats::Flags() const {
  std::vector<Flag> out;
  for (const Raised& r : raised_) {
    Flag f = r.flag;
    f.units_since = static_cast<std::int64_t>(groups_.at(f.group).calibrated - r.n_before);
    out.push_back(f);
  }
  return out;
}

}  // namespace vx
