#include "hosts/analytics/line_words.h"

#include <cmath>
#include <iomanip>
#include <sstream>

namespace vx {

namespace {

std::string Fixed(double v, int decimals) {
  if (!std::isfinite(v)) return "-";
  std::ostringstream s;
  s << std::fixed << std::setprecision(decimals) << v;
  return s.str();
}

std::string Difference(const Flag& f) {
  return f.reading + " " + (f.difference >= 0 ? "+" : "") + Fixed(f.difference, 3) +
         (f.percent ? " %" : " deg C");
}

Json Number(double v) {
  return std::isfinite(v) ? Json(v) : Json(nullptr);
}

double Yield(const GroupStats& g) {
  return g.runs ? static_cast<double>(g.done) / static_cast<double>(g.runs) : 0;
}

}  // namespace

std::string FlagSentence(const Flag& f) {
  return records::Printable(f.group) +
         " calibrates differently from the rest of the line: " + Difference(f) + " since unit " +
         records::Printable(f.first_unit) + " (" + f.first_time + ", record " +
         std::to_string(f.first_id) + "); " + std::to_string(f.units_since) +
         " units calibrated since";
}

std::string AlsoSentence(const FlaggedGroup& g) {
  std::string also;
  for (const Flag& f : g.also)
    also += (also.empty() ? "" : ", ") + Difference(f);
  return also;
}

std::string FlaggedSummary(const std::vector<Flag>& flags) {
  const auto groups = FlaggedGroups(flags);
  std::string named;
  for (const FlaggedGroup& g : groups)
    named +=
        (named.empty() ? "" : "; ") + records::Printable(g.first.group) + ": " + g.first.reading;
  return std::to_string(groups.size()) + (groups.size() == 1 ? " group" : " groups") +
         " flagged (" + named + ")";
}

std::string ReportSentence(const LineStats& stats, const std::string& file, std::size_t broken) {
  const auto flags = stats.Flags();
  return "Report of " + std::to_string(stats.Runs()) + " runs written to " + file +
         (flags.empty() ? "; no group calibrates differently from the rest"
                        : "; " + FlaggedSummary(flags)) +
         (broken ? "; " + std::to_string(broken) + " damaged records were left out" : "");
}

std::string RunsInGroups(const LineStats& stats) {
  const std::size_t n = stats.Groups().size();
  return std::to_string(stats.Runs()) + (stats.Runs() == 1 ? " run" : " runs") + " in " +
         std::to_string(n) + (n == 1 ? " group" : " groups");
}

Json StatsJson(const LineStats& stats, const std::string& by) {
  Json j{{"by", by}, {"runs", stats.Runs()}, {"flags", Json::array()}, {"groups", Json::array()}};
  for (const Flag& f : stats.Flags()) {
    j["flags"].push_back({{"group", f.group},
                          {"reading", f.reading},
                          {"difference", f.difference},
                          {"unit", f.percent ? "%" : "deg C"},
                          {"first_unit", f.first_unit},
                          {"first_time", f.first_time},
                          {"first_record", f.first_id},
                          {"units_since", f.units_since},
                          {"flagged_unit", f.flagged_unit},
                          {"flagged_record", f.flagged_id}});
  }
  for (const GroupStats& g : stats.Groups()) {
    Json readings = Json::array();
    for (std::size_t i = 0; i < g.readings.size(); ++i) {
      const ReadingStats& r = g.readings[i];
      if (r.correction.n == 0 && r.residual.n == 0) continue;
      readings.push_back({{"reading", std::string(records::kReadings[i].name)},
                          {"n", r.correction.n},
                          {"correction_mean", Number(r.correction.mean)},
                          {"correction_sd", Number(r.correction.Sd())},
                          {"residual_mean", Number(r.residual.mean)},
                          {"residual_sd", Number(r.residual.Sd())},
                          {"cpk", Number(r.Cpk())}});
    }
    j["groups"].push_back({{"group", g.name},
                           {"runs", g.runs},
                           {"done", g.done},
                           {"yield", Yield(g)},
                           {"readings", readings}});
  }
  return j;
}

std::vector<std::string> StatsLines(const LineStats& stats) {
  std::vector<std::string> out;
  for (const GroupStats& g : stats.Groups()) {
    out.push_back(records::Printable(g.name) + ": " + std::to_string(g.runs) + " runs, yield " +
                  Fixed(100 * Yield(g), 1) + " %");
    std::ostringstream head;
    head << "  " << std::left << std::setw(24) << "reading" << std::right << std::setw(7) << "n"
         << std::setw(12) << "correction" << std::setw(10) << "sd" << std::setw(10) << "residual"
         << std::setw(8) << "sd" << std::setw(7) << "Cpk";
    out.push_back(head.str());
    for (std::size_t i = 0; i < g.readings.size(); ++i) {
      const ReadingStats& r = g.readings[i];
      if (r.correction.n == 0 && r.residual.n == 0) continue;
      const int d = records::kReadings[i].offset() ? 2 : 5;
      std::ostringstream line;
      line << "  " << std::left << std::setw(24) << records::kReadings[i].name << std::right
           << std::setw(7) << r.correction.n << std::setw(12) << Fixed(r.correction.mean, d)
           << std::setw(10) << Fixed(r.correction.Sd(), d) << std::setw(10)
           << Fixed(r.residual.mean, 2) << std::setw(8) << Fixed(r.residual.Sd(), 2) << std::setw(7)
           << Fixed(r.Cpk(), 2);
      out.push_back(line.str());
    }
  }
  return out;
}

}  // namespace vx
