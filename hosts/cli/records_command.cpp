// `records list|show|export` on the records of the runs, and `restore RECORD`, which writes a
// record's "before" data flash back as a recorded run of its own.
#include <fstream>
#include <iomanip>
#include <sstream>

#include "hosts/cli/commands.h"
#include "hosts/station/csv_export.h"
#include "hosts/station/restore.h"
#include "records/store.h"

namespace vx::cli {

namespace {

using records::RunRecord;

std::unique_ptr<records::Store> Open(const Options& o) {
  return records::OpenStore(o.station.records == "none" ? "" : o.station.records);
}

Json Summary(const RunRecord& r) {
  return Json{{"id", r.id},           {"time_utc", r.time_utc},
              {"station", r.station}, {"operator", r.operator_name},
              {"unit", r.unit},       {"run", r.run},
              {"outcome", r.outcome}, {"residuals", r.residuals}};
}

std::string Field(const std::string& name, const std::string& value) {
  std::ostringstream line;
  line << "  " << std::left << std::setw(22) << name << value;
  return line.str();
}

int RecordsList(const Options& o, const records::Query& q) {
  Out out(o.json);
  auto list = Open(o)->List(q);
  for (const RunRecord& r : list) {
    std::ostringstream line;
    line << std::setw(5) << r.id << "  " << r.time_utc << "  " << std::left << std::setw(12)
         << r.station << " " << std::setw(14) << (r.unit.empty() ? "-" : r.unit) << " "
         << std::setw(22) << r.run << " " << r.outcome;
    out.Print(line.str(), Summary(r));
  }
  if (list.empty()) out.Text("No records.");
  return kExitOk;
}

int RecordsShow(const Options& o, std::int64_t id) {
  Out out(o.json);
  auto r = Open(o)->Get(id);
  if (!r) {
    Out::Error("there is no record " + std::to_string(id));
    return kExitFailed;
  }
  // The gains of CalibrationData before the run and after it.
  auto before = records::Gains(r->before), after = records::Gains(r->after);
  Json gains = Json::array();
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
    gains.push_back(
        {{"gain", before[i].first}, {"old", before[i].second}, {"new", after[i].second}});
  }
  if (out.json()) {
    Json j = records::ToJson(*r);
    j["gains"] = gains;
    out.Object(j);
    return kExitOk;
  }
  out.Text("Record " + std::to_string(r->id) + ": " + r->run + ", " + r->outcome);
  out.Text(Field("time (UTC)", r->time_utc));
  out.Text(Field("station", r->station));
  out.Text(Field("operator", r->operator_name));
  out.Text(Field("unit", r->unit.empty() ? "-" : r->unit));
  out.Text(Field("device", r->device + ", address " + std::to_string(r->address) +
                               ", target info " + r->target_info));
  out.Text(Field("program", r->program));
  for (const auto& t : r->ticked)
    out.Text(Field("ticked", t));
  for (const auto& ref : r->references)
    out.Text(Field("reference", ref.label + " = " + ref.value +
                                    (ref.source.is_null() ? "" : " (" + ref.source.dump() + ")")));
  out.Text(Field("readings before", r->readings_before.dump()));
  out.Text(Field("readings after", r->readings_after.dump()));
  for (auto& [name, v] : r->residuals.items())
    out.Text(Field("residual", name + " " + v.dump()));
  for (const Json& g : gains) {
    std::string change = g["old"] == g["new"] ? "unchanged " + g["old"].dump()
                                              : g["old"].dump() + " -> " + g["new"].dump();
    out.Text(Field(g["gain"].get<std::string>(), change));
  }
  for (const auto& m : r->messages)
    out.Text(Field("message", m));
  if (!r->limits.is_null()) out.Text(Field("limits", r->limits.dump()));
  if (!r->extra.is_null()) out.Text(Field("also", r->extra.dump()));
  return kExitOk;
}

int RecordsExport(const Options& o, const std::string& csv_file) {
  std::size_t n = 0;
  try {
    n = ExportCsv(o.station.records == "none" ? "" : o.station.records, csv_file);
  } catch (const records::StoreError&) {
    throw;
  } catch (const std::runtime_error& e) {
    Out::Error(e.what());
    return kExitFile;
  }
  Out(o.json).Print(std::to_string(n) + " records written to " + csv_file,
                    Json{{"exported", n}, {"file", csv_file}});
  return kExitOk;
}

int RestoreCommand(Session& s, std::int64_t id) {
  auto r = Open(s.options())->Get(id);
  if (!r) {
    Out::Error("there is no record " + std::to_string(id));
    return kExitFailed;
  }
  RestorePlan plan = PlanRestore(*r);
  if (!plan.refused.empty()) {
    Out::Error(plan.refused);
    return kExitFailed;
  }
  // The same unit, unless named.
  if (s.options().station.unit.empty()) s.station().info.unit = r->unit;
  if (s.platform().MessageBox(RestoreQuestion(*r), "vx58420cal", Buttons::kOkCancel) !=
      Answer::kOk) {
    if (!s.options().yes) Out::Error("not restored; --yes answers the confirmation with OK");
    return kExitFailed;
  }
  RestoreResult result = Restore(s.station(), plan);
  if (!result.run.store_warning.empty()) Out::Error("warning: " + result.run.store_warning);
  if (result.run.interrupted) {
    s.ReportInterruption();
    return kExitInterrupted;
  }
  const bool verified = result.verified;
  s.out().Print(verified ? "Restored and verified: the data flash reads back as before record " +
                               std::to_string(id) + "."
                         : "Restore not verified: the data flash does not read back as before "
                           "record " +
                               std::to_string(id) + ".",
                Json{{"run", "restore"},
                     {"record", result.run.record.id},
                     {"verified", verified},
                     {"written", result.written}});
  return verified ? kExitOk : kExitFailed;
}

}  // namespace

void AddRecordsCommands(CLI::App& app, Options& o, std::vector<Command>& out) {
  auto* recs = app.add_subcommand("records", "the records of the runs");
  recs->require_subcommand(1);
  auto query = std::make_shared<records::Query>();
  auto* list = recs->add_subcommand("list", "the runs, oldest first");
  list->add_option("--unit", query->unit, "only this unit's");
  list->add_option("--since", query->since, "only from this date or time on (2026-12-06)");
  list->add_option("--outcome", query->outcome,
                   "only runs that ended so: done, refused, failed, interrupted, out of limits");
  out.emplace_back(list, [query](Options& opts) { return RecordsList(opts, *query); });
  auto id = std::make_shared<std::int64_t>(0);
  auto* show = recs->add_subcommand("show", "one record whole, with the gains before and after");
  show->add_option("ID", *id)->required()->transform(Whole(1, INT64_MAX));
  out.emplace_back(show, [id](Options& opts) { return RecordsShow(opts, *id); });
  auto csv = std::make_shared<std::string>();
  auto* exp = recs->add_subcommand("export",
                                   "one row per run: unit, time, station, run, "
                                   "outcome and each reading's residual");
  exp->add_option("--csv", *csv, "the CSV file to write")->required();
  out.emplace_back(exp, [csv](Options& opts) { return RecordsExport(opts, *csv); });

  auto* restore = app.add_subcommand("restore",
                                     "write a record's data flash from before its "
                                     "run back to the device");
  restore->add_option("RECORD", *id)->required()->transform(Whole(1, INT64_MAX));
  restore->add_flag("--yes", o.yes, "answer OK to the confirmation");
  out.emplace_back(restore, Command::Needs::kControl,
                   [id](Session& s) { return RestoreCommand(s, *id); });
}

}  // namespace vx::cli
