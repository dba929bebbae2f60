#include "hosts/analytics/line_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "hosts/analytics/line_words.h"
#include "hosts/analytics/summaries_aside.h"
#include "hosts/analytics/svg_chart.h"
#include "platform/output_file.h"

namespace vx {

namespace {

constexpr std::size_t kMostPoints = 120;  // per series: days are merged beyond it

double BinWidth(std::size_t reading) {
  return records::kReadings[reading].offset() ? 0.05 : 0.5;
}

std::string UnitOf(std::size_t reading) {
  if (records::kReadings[reading].offset()) return "°C";
  return std::string(records::kReadings[reading].unit());
}

const char* const kStyle = R"(<style>
body{font-family:sans-serif;margin:24px;color:#222;max-width:960px}
h1{font-size:22px}h2{font-size:18px;margin-top:32px}h3{font-size:15px}
.flag{border-left:6px solid #d62728;background:#fdecea;padding:8px 12px;margin:8px 0}
.clean{border-left:6px solid #2ca02c;background:#eaf6ea;padding:8px 12px}
svg{display:block;margin:8px 0}
.title{font-size:13px;font-weight:bold}.tick,.legend{font-size:11px}
.frame{fill:none;stroke:#ccc}.series{fill:none;stroke-width:1.5}.series.flagged{stroke-width:3}
.centre{stroke:#444;stroke-width:1}.limit{stroke:#d62728;stroke-dasharray:4 3}
.bar{fill:#1f77b4}
table{border-collapse:collapse;font-size:12px}td,th{border:1px solid #ddd;padding:2px 6px;text-align:right}
th:first-child,td:first-child{text-align:left}
</style>)";

std::string Signed(double v, const char* unit) {
  return (v >= 0 ? "+" : "") + Num(v, "%.3f") + unit;
}

}  // namespace

std::string Covering(const records::Query& q) {
  if (q.since.empty() && q.until.empty()) return "all records";
  return "records" + (q.since.empty() ? "" : " from " + q.since) +
         (q.until.empty() ? "" : " up to " + q.until);
}

std::string GroupByName(GroupBy by) {
  switch (by) {
    case GroupBy::kStation:
      return "station";
    case GroupBy::kOperator:
      return "operator";
    case GroupBy::kMeter:
      return "meter";
    case GroupBy::kDay:
      break;
  }
  return "day";
}

LineStats WriteLineReport(const std::string& where, const records::Query& q, GroupBy by,
                          const Limits& limits, const std::string& file,
                          const records::Store::Broken& broken) {
  LineReport report(by, limits);
  auto store = records::OpenStore(where, records::Access::kRead);
  records::RequireDerived(*store, "a report");
  EachSummaryAside(
      *store, q, [&](const records::Summary& s) { report.Add(s); }, broken, SecondReader(where));
  WriteWholeFile(file, [&](std::ostream& out) {
    report.Write(out, records::DisplayName(where) + ", " + Covering(q) + ", by " + GroupByName(by));
  });
  return report.stats();
}

LineReport::LineReport(GroupBy by, const Limits& limits)
    : by_(by), stats_(by, limits), limits_(limits) {}

void LineReport::Bins::Add(long long bin) {
  ++n;
  if (bin >= -kNear && bin < kNear) {
    ++near[static_cast<std::size_t>(bin + kNear)];
  } else {
    ++far[bin];
  }
}

std::map<long long, std::int64_t> LineReport::Bins::All() const {
  std::map<long long, std::int64_t> all = far;
  for (std::size_t i = 0; i < near.size(); ++i) {
    if (near[i]) all.emplace(static_cast<long long>(i) - kNear, near[i]);
  }
  return all;
}

void LineReport::Add(const records::Summary& s) {
  const std::string* group = stats_.Add(s);
  if (!group) return;  // not a run that calibrates
  const std::string_view day = std::string_view(s.time_utc).substr(0, 10);
  if (day_ == days_.end() || day_->first != day) day_ = days_.try_emplace(std::string(day)).first;
  Cell& cell = day_->second[*group];
  ++cell.runs;
  cell.done += s.outcome == "done";
  if (!Calibrated(s)) return;
  for (std::size_t i = 0; i < records::kReadings.size(); ++i) {
    if (s.corrections[i]) cell.correction[i].Add(*s.corrections[i]);
    if (s.residuals[i] && std::isfinite(*s.residuals[i]) && std::fabs(*s.residuals[i]) < 1e9) {
      residuals_[i].Add(static_cast<long long>(std::floor(*s.residuals[i] / BinWidth(i))));
    }
  }
}

void LineReport::Write(std::ostream& out, const std::string& covers) const {
  const std::vector<GroupStats> groups = stats_.Groups();
  const std::vector<Flag> flags = stats_.Flags();
  auto flagged = [&](const std::string& group, const std::string& reading) {
    for (const Flag& f : flags) {
      if (f.group == group && (f.reading == reading || f.reading == kMeterReadings)) return true;
    }
    return false;
  };
  out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      << "<title>Line statistics</title>" << kStyle << "</head><body>\n"
      << "<h1>Line statistics</h1>\n<p>" << HtmlText(covers) << ": " << RunsInGroups(stats_)
      << ".</p>\n<section id=\"flags\">\n";
  if (flags.empty()) {
    out << "<p class=\"clean\">No group calibrates differently from the rest of the line.</p>\n";
  }
  for (const FlaggedGroup& g : FlaggedGroups(flags)) {
    const Flag& f = g.first;
    out << "<div class=\"flag\"><b class=\"group\">" << HtmlText(f.group)
        << "</b> calibrates differently from the rest of the line: <b>" << HtmlText(f.reading)
        << " " << Signed(f.difference, f.percent ? " %" : " °C") << "</b> since unit "
        << HtmlText(f.first_unit) << " (" << HtmlText(f.first_time) << ", record " << f.first_id
        << "); " << f.units_since << " units calibrated since. Flagged at unit "
        << HtmlText(f.flagged_unit) << ".";
    for (std::size_t i = 0; i < g.also.size(); ++i) {
      out << (i ? ", " : "<br>Also, one reading at a time: ") << HtmlText(g.also[i].reading) << " "
          << Signed(g.also[i].difference, g.also[i].percent ? " %" : " °C")
          << (i + 1 == g.also.size() ? "." : "");
    }
    out << "</div>\n";
  }
  out << "</section>\n";

  // The days, merged into at most kMostPoints points.
  std::vector<std::string> days;
  for (const auto& [day, cells] : days_)
    days.push_back(day);
  const std::size_t merge = std::max<std::size_t>(1, (days.size() + kMostPoints - 1) / kMostPoints);
  std::vector<std::string> labels;
  for (std::size_t i = 0; i < days.size(); i += merge)
    labels.push_back(days[i]);
  auto bucket_cell = [&](std::size_t b, const std::string& group) {
    Cell sum;
    for (std::size_t d = b * merge; d < std::min(days.size(), (b + 1) * merge); ++d) {
      auto it = days_.at(days[d]).find(group);
      if (it == days_.at(days[d]).end()) continue;
      sum.runs += it->second.runs;
      sum.done += it->second.done;
      for (std::size_t i = 0; i < records::kReadings.size(); ++i)
        sum.correction[i] = Spread::Merged(sum.correction[i], it->second.correction[i]);
    }
    return sum;
  };

  for (std::size_t i = 0; i < records::kReadings.size(); ++i) {
    Spread line;
    double cells = 0;
    for (const auto& [day, by_group] : days_) {
      for (const auto& [group, cell] : by_group) {
        line = Spread::Merged(line, cell.correction[i]);
        cells += cell.correction[i].n > 0;
      }
    }
    if (line.n == 0) continue;
    const std::string name(records::kReadings[i].name);
    const bool ratio = !records::kReadings[i].offset();
    out << "<h2>" << HtmlText(name) << "</h2>\n";
    std::vector<Series> series;
    for (const GroupStats& g : groups) {
      Series s{g.name, {}, flagged(g.name, name)};
      for (std::size_t b = 0; b < labels.size(); ++b) {
        const Spread c = bucket_cell(b, g.name).correction[i];
        if (c.n == 0) {
          s.y.emplace_back();
        } else {
          s.y.emplace_back(ratio ? (c.mean / line.mean - 1) * 100 : c.mean - line.mean);
        }
      }
      series.push_back(std::move(s));
    }
    // Limits for a point's mean, at the typical number of corrections a point holds.
    const double per_point = line.n / std::max(1.0, cells) * static_cast<double>(merge);
    const double sd = (ratio ? line.Sd() / line.mean * 100 : line.Sd()) / std::sqrt(per_point);
    out << LineChart(
        "chart", name,
        "Correction by " + GroupByName(by_) +
            (merge > 1 ? ", " + std::to_string(merge) + " days a point" : ", a day a point") +
            " (centre: the line's mean " +
            (ratio ? Num(line.mean, "%.5f") : Num(line.mean, "%.2f") + " °C") +
            "; limits ±3 standard errors)",
        ratio ? "%" : "°C", labels, series,
        {{0.0, "centre"}, {3 * sd, "limit"}, {-3 * sd, "limit"}});
    if (residuals_[i].n)
      out << Histogram(name, name + ": residuals after the run (" + UnitOf(i) + ")",
                       residuals_[i].All(), BinWidth(i),
                       limits_.max_residual.count(name)
                           ? std::optional<double>(limits_.max_residual.at(name))
                           : std::nullopt);
  }

  out << "<h2>Yield</h2>\n";
  std::vector<Series> yield;
  for (const GroupStats& g : groups) {
    Series s{g.name, {}, flagged(g.name, kMeterReadings)};
    for (std::size_t b = 0; b < labels.size(); ++b) {
      const Cell c = bucket_cell(b, g.name);
      if (c.runs == 0) {
        s.y.emplace_back();
      } else {
        s.y.emplace_back(100.0 * static_cast<double>(c.done) / static_cast<double>(c.runs));
      }
    }
    yield.push_back(std::move(s));
  }
  out << LineChart("yield", "yield",
                   "Yield by " + GroupByName(by_) + ": runs done within their limits", "%", labels,
                   yield, {});

  out << "<h2>Figures</h2>\n<table><tr><th>group</th><th>reading</th><th>n</th>"
      << "<th>correction mean</th><th>sd</th><th>residual mean</th><th>sd</th><th>Cpk</th></tr>\n";
  for (const GroupStats& g : groups) {
    out << "<tr><td>" << HtmlText(g.name) << "</td><td>all runs</td><td>" << g.runs
        << "</td><td colspan=\"5\">yield "
        << Num(g.runs ? 100.0 * static_cast<double>(g.done) / static_cast<double>(g.runs) : 0,
               "%.1f")
        << " %</td></tr>\n";
    for (std::size_t i = 0; i < records::kReadings.size(); ++i) {
      const ReadingStats& r = g.readings[i];
      if (r.correction.n == 0 && r.residual.n == 0) continue;
      const double cpk = r.Cpk();
      out << "<tr><td>" << HtmlText(g.name) << "</td><td>"
          << HtmlText(std::string(records::kReadings[i].name)) << "</td><td>" << r.correction.n
          << "</td><td>" << Num(r.correction.mean, "%.5g") << "</td><td>"
          << Num(r.correction.Sd(), "%.3g") << "</td><td>" << Num(r.residual.mean, "%.3g")
          << "</td><td>" << Num(r.residual.Sd(), "%.3g") << "</td><td>"
          << (std::isnan(cpk) ? "" : Num(cpk, "%.2f")) << "</td></tr>\n";
    }
  }
  out << "</table>\n</body></html>\n";
}

}  // namespace vx
