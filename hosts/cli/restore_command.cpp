// `restore RECORD [--force] [--yes]`: a record's "before" data flash written back to the
// device, from the store (by its number) or from a record file. The record is checked whole
// and the device must be its unit as its run left it; --force goes on past every difference,
// printing and recording each.
#include "hosts/cli/commands.h"

namespace vx::cli {

namespace {

struct RestoreArgs {
  std::string record;  // a number, or a record file
  bool force = false;
};

int RestoreCommand(Session& s, const RestoreArgs& a) {
  const RunResult r = s.station().RestoreRecord(a.record, a.force);
  return r.outcome.started || r.interrupted() ? Session::ExitFor(r) : kExitFailed;
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
