// `records stats` and `records report`: the line's records taken together, per reading and
// group, with the watch for a group that calibrates differently from the rest. Both read the
// store's columns one row at a time, oldest first; both exit 5 when a group is flagged, so that
// a supervisor's job can alert.
#include <cmath>
#include <iomanip>
#include <sstream>

#include "hosts/analytics/line_report.h"
#include "hosts/cli/commands.h"
#include "records/store.h"

namespace vx::cli {

namespace {

struct LineQuery {
  records::Query q;
  std::string by = "station";
  std::string html;
};

std::string Where(const Options& o) {
  return o.station.store();
}

void ReportBroken(std::int64_t id, const std::string& why) {
  Out::Error("record " + std::to_string(id) + " is damaged (" + records::Printable(why) +
             "); left out");
}

std::string Fixed(double v, int decimals) {
  if (!std::isfinite(v)) return "-";
  std::ostringstream s;
  s << std::fixed << std::setprecision(decimals) << v;
  return s.str();
}

std::string FlagText(const Flag& f) {
  return records::Printable(f.group) +
         " calibrates differently from the rest of the line: " + f.reading + " " +
         (f.difference >= 0 ? "+" : "") + Fixed(f.difference, 3) + (f.percent ? " %" : " deg C") +
         " since unit " + records::Printable(f.first_unit) + " (" + f.first_time + ", record " +
         std::to_string(f.first_id) + "); " + std::to_string(f.units_since) +
         " units calibrated since";
}

records::Json FlagJson(const Flag& f) {
  return {{"group", f.group},
          {"reading", f.reading},
          {"difference", f.difference},
          {"unit", f.percent ? "%" : "deg C"},
          {"first_unit", f.first_unit},
          {"first_time", f.first_time},
          {"first_record", f.first_id},
          {"units_since", f.units_since},
          {"flagged_unit", f.flagged_unit},
          {"flagged_record", f.flagged_id}};
}

records::Json Number(double v) {
  return std::isfinite(v) ? records::Json(v) : records::Json(nullptr);
}

int Stats(const Options& o, const LineQuery& lq) {
  const Limits limits = o.limits.value_or(Limits{});
  LineStats stats(*GroupByNamed(lq.by), limits);
  records::OpenStore(Where(o), records::Access::kRead)
      ->EachSummary(
          lq.q, [&](const records::Summary& s) { stats.Add(s); }, ReportBroken);
  Out out(o.json);
  const auto flags = stats.Flags();
  const auto groups = stats.Groups();
  if (out.json()) {
    records::Json j{{"by", lq.by},
                    {"runs", stats.Runs()},
                    {"flags", records::Json::array()},
                    {"groups", records::Json::array()}};
    for (const Flag& f : flags)
      j["flags"].push_back(FlagJson(f));
    for (const GroupStats& g : groups) {
      records::Json readings = records::Json::array();
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
      j["groups"].push_back(
          {{"group", g.name},
           {"runs", g.runs},
           {"done", g.done},
           {"yield", g.runs ? static_cast<double>(g.done) / static_cast<double>(g.runs) : 0},
           {"readings", readings}});
    }
    out.Object(j);
  } else {
    out.Text("Line statistics of " + Covering(lq.q) + ", by " + lq.by + ": " +
             std::to_string(stats.Runs()) + " runs in " + std::to_string(groups.size()) +
             " groups");
    for (const FlaggedGroup& g : FlaggedGroups(flags)) {
      out.Text("FLAGGED: " + FlagText(g.first));
      std::string also;
      for (const Flag& f : g.also) {
        also += (also.empty() ? "" : ", ") + f.reading + " " + (f.difference >= 0 ? "+" : "") +
                Fixed(f.difference, 3) + (f.percent ? " %" : " deg C");
      }
      if (!also.empty()) out.Text("  also, one reading at a time: " + also);
    }
    for (const GroupStats& g : groups) {
      out.Text(
          records::Printable(g.name) + ": " + std::to_string(g.runs) + " runs, yield " +
          Fixed(g.runs ? 100.0 * static_cast<double>(g.done) / static_cast<double>(g.runs) : 0, 1) +
          " %");
      std::ostringstream head;
      head << "  " << std::left << std::setw(24) << "reading" << std::right << std::setw(7) << "n"
           << std::setw(12) << "correction" << std::setw(10) << "sd" << std::setw(10) << "residual"
           << std::setw(8) << "sd" << std::setw(7) << "Cpk";
      out.Text(head.str());
      for (std::size_t i = 0; i < g.readings.size(); ++i) {
        const ReadingStats& r = g.readings[i];
        if (r.correction.n == 0 && r.residual.n == 0) continue;
        const int d = records::kReadings[i].offset() ? 2 : 5;
        std::ostringstream line;
        line << "  " << std::left << std::setw(24) << records::kReadings[i].name << std::right
             << std::setw(7) << r.correction.n << std::setw(12) << Fixed(r.correction.mean, d)
             << std::setw(10) << Fixed(r.correction.Sd(), d) << std::setw(10)
             << Fixed(r.residual.mean, 2) << std::setw(8) << Fixed(r.residual.Sd(), 2)
             << std::setw(7) << Fixed(r.Cpk(), 2);
        out.Text(line.str());
      }
    }
    if (flags.empty()) out.Text("No group calibrates differently from the rest of the line.");
  }
  return flags.empty() ? kExitOk : kExitFlagged;
}

int Report(const Options& o, const LineQuery& lq) {
  std::optional<LineStats> stats;
  try {
    stats = WriteLineReport(Where(o), lq.q, *GroupByNamed(lq.by), o.limits.value_or(Limits{}),
                            lq.html, ReportBroken);
  } catch (const records::StoreError&) {
    throw;
  } catch (const std::runtime_error& e) {
    Out::Error(e.what());
    return kExitFile;
  }
  const auto flags = stats->Flags();
  Out(o.json).Print(
      "Report of " + std::to_string(stats->Runs()) + " runs written to " + lq.html +
          (flags.empty() ? "" : "; " + std::to_string(flags.size()) + " flagged"),
      records::Json{{"file", lq.html}, {"runs", stats->Runs()}, {"flagged", flags.size()}});
  for (const FlaggedGroup& g : FlaggedGroups(flags))
    Out::Error("flagged: " + FlagText(g.first));
  return flags.empty() ? kExitOk : kExitFlagged;
}

void AddQuery(CLI::App* cmd, LineQuery& lq) {
  cmd->add_option("--since", lq.q.since, "only from this date or time on (2026-12-06)")
      ->transform(RecordsTime());
  cmd->add_option("--until", lq.q.until, "only up to this date or time (2026-12-06)")
      ->transform(RecordsTime());
  cmd->add_option("--by", lq.by, "the groups: station, operator, meter or day")
      ->check(CLI::IsMember({"station", "operator", "meter", "day"}));
}

}  // namespace

void AddLineCommands(CLI::App& recs, std::vector<Command>& out) {
  auto stats = std::make_shared<LineQuery>();
  auto* st = recs.add_subcommand(
      "stats",
      "per reading and group: corrections, residuals, yield, Cpk (with --limits); a group that "
      "calibrates differently from the rest of the line is flagged (exit 5)");
  AddQuery(st, *stats);
  out.emplace_back(st, [stats](Options& o) { return Stats(o, *stats); });

  auto report = std::make_shared<LineQuery>();
  auto* rp = recs.add_subcommand(
      "report", "the statistics as one HTML page with charts; exit 5 when a group is flagged");
  AddQuery(rp, *report);
  rp->add_option("--html", report->html, "the file to write")->required();
  out.emplace_back(rp, [report](Options& o) { return Report(o, *report); });
}

}  // namespace vx::cli
