// `records stats` and `records report`: the line's records taken together, per reading and
// group, with the watch for a group that calibrates differently from the rest. Both read the
// store's columns one row at a time, oldest first (the statistics taking them on a thread of
// their own); both exit 5 when a group is flagged, so that a supervisor's job can alert.
#include "hosts/analytics/line_report.h"
#include "hosts/analytics/line_words.h"
#include "hosts/analytics/summaries_aside.h"
#include "hosts/cli/commands.h"
#include "records/store.h"

namespace vx::cli {

namespace {

struct LineQuery {
  records::Query q;
  std::string by = "station";
  std::string html;
};

int Stats(const Options& o, const LineQuery& lq) {
  LineStats stats(*GroupByNamed(lq.by), o.limits.value_or(Limits{}));
  auto store = records::OpenStore(o.station.store(), records::Access::kRead);
  records::RequireDerived(*store, "the statistics");
  EachSummaryAside(
      *store, lq.q, [&](const records::Summary& s) { stats.Add(s); }, ReportBroken,
      SecondReader(o.station.store()));
  Out out(o.json);
  for (const std::string& why : stats.LeftOut())
    Out::Error(why);
  const auto flags = stats.Flags();
  if (out.json()) {
    out.Object(StatsJson(stats, lq.by));
  } else {
    out.Text("Line statistics of " + Covering(lq.q) + ", by " + lq.by + ": " + RunsInGroups(stats));
    for (const FlaggedGroup& g : FlaggedGroups(flags)) {
      out.Text("FLAGGED: " + FlagSentence(g.first));
      if (std::string also = AlsoSentence(g); !also.empty()) {
        out.Text("  also, one reading at a time: " + also);
      }
    }
    for (const std::string& line : StatsLines(stats))
      out.Text(line);
    if (flags.empty()) out.Text("No group calibrates differently from the rest of the line.");
  }
  return flags.empty() ? kExitOk : kExitFlagged;
}

int Report(const Options& o, const LineQuery& lq) {
  std::optional<LineStats> stats;
  try {
    stats = WriteLineReport(o.station.store(), lq.q, *GroupByNamed(lq.by),
                            o.limits.value_or(Limits{}), lq.html, ReportBroken);
  } catch (const records::StoreError&) {
    throw;
  } catch (const std::runtime_error& e) {
    Out::Error(e.what());
    return kExitFile;
  }
  const auto flags = stats->Flags();
  const auto groups = FlaggedGroups(flags);
  Out(o.json).Print(
      ReportSentence(*stats, lq.html),
      records::Json{{"file", lq.html}, {"runs", stats->Runs()}, {"flagged", groups.size()}});
  for (const FlaggedGroup& g : groups)
    Out::Error("flagged: " + FlagSentence(g.first));
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
