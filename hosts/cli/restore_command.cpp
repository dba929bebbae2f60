// `restore RECORD [--force] [--yes]`: a record's "before" data flash written back to the
// device, from the store (by its number) or from a record file. The record is checked whole
// and the device must be its unit as its run left it; --force goes on past every difference,
// printing and recording each.
#include <algorithm>

#include "hosts/cli/commands.h"
#include "hosts/station/restore.h"
#include "records/store.h"

namespace vx::cli {

namespace {

struct RestoreArgs {
  std::string record;  // a number, or a record file
  bool force = false;
};

std::optional<records::RunRecord> Load(const Options& o, const std::string& record) {
  const bool number = !record.empty() && std::all_of(record.begin(), record.end(), ::isdigit);
  if (!number) return records::ReadRecordFile(record);
  auto r = records::OpenStore(o.station.records == "none" ? "" : o.station.records,
                              records::Access::kRead)
               ->Get(std::stoll(record));
  if (!r) Out::Error("there is no record " + record);
  return r;
}

int RestoreCommand(Session& s, const RestoreArgs& a) {
  std::optional<records::RunRecord> r;
  try {
    r = Load(s.options(), a.record);
  } catch (const records::StoreError&) {
    throw;
  } catch (const std::runtime_error& e) {  // a record file that holds no record
    Out::Error(records::Printable(e.what()) + "; nothing was written");
    return kExitFailed;
  }
  if (!r) return kExitFailed;
  RestorePlan plan = PlanRestore(*r);
  if (!plan.refused.empty()) {
    Out::Error(records::Printable(plan.refused));
    return kExitFailed;
  }
  const auto differences = DeviceDifferences(s.station(), *r, s.options().station.unit);
  for (const std::string& d : differences)
    Out::Error((a.force ? "forced: " : "") + records::Printable(d));
  if (!differences.empty() && !a.force) {
    Out::Error("not restored, nothing was written; --force restores all the same");
    return kExitFailed;
  }
  if (r->after.empty()) {
    Out::Error("record " + a.record + " is of a run that did not end (" + r->outcome +
               "): the device is not compared with what that run left");
  }
  // The same unit, unless named.
  if (s.options().station.unit.empty()) s.station().info.unit = r->unit;
  if (s.platform().MessageBox(records::Printable(RestoreQuestion(*r)), "Supercapacitor Calibration",
                              Buttons::kOkCancel) != Answer::kOk) {
    if (!s.options().yes) Out::Error("not restored; --yes answers the confirmation with OK");
    return kExitFailed;
  }
  RestoreResult result = Restore(s.station(), plan, differences);
  if (!result.run.store_warning.empty()) Out::Error("warning: " + result.run.store_warning);
  if (result.run.interrupted) {
    s.ReportInterruption(&result.run);
    return kExitInterrupted;
  }
  const std::string id = std::to_string(r->id);
  s.out().Print(
      (result.verified ? "Restored and verified: the data flash reads back as before record " + id
                       : "Restore not verified: the data flash does not read back as before "
                         "record " +
                             id) +
          ". " + kRestoreCannotUndo,
      Json{{"run", "restore"},
           {"record", result.run.record.id},
           {"verified", result.verified},
           {"written", result.written},
           {"forced", differences},
           {"cannot_undo", kRestoreCannotUndo}});
  return result.verified ? kExitOk : kExitFailed;
}

}  // namespace

void AddRestoreCommand(CLI::App& app, Options& o, std::vector<Command>& out) {
  auto a = std::make_shared<RestoreArgs>();
  auto* cmd = app.add_subcommand("restore",
                                 "write a record's data flash from before its run back to the "
                                 "device");
  cmd->add_option("RECORD", a->record, "the record's number, or a record file")->required();
  cmd->add_flag("--force", a->force,
                "restore onto another unit or a device changed since (every difference is "
                "printed and recorded)");
  cmd->add_flag("--yes", o.yes, "answer OK to the confirmation");
  out.emplace_back(cmd, Command::Needs::kControl,
                   [a](Session& s) { return RestoreCommand(s, *a); });
}

}  // namespace vx::cli
