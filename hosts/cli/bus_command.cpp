// `bus TRANSFER...`: raw SMBus transfers at the target address, in order (as i2ctransfer takes
// them), each printed with its result and its status text. A sequence that writes is a
// recorded run like the page's.
#include <algorithm>

#include "hosts/cli/commands.h"
#include "hosts/station/bus_transfers.h"

namespace vx::cli {

namespace {

int BusCommand(Session& s, const std::vector<BusTransfer>& sequence) {
  if (WritesDataFlash(sequence) &&
      s.platform().MessageBox("These transfers write the device's data flash. Send them?",
                              "Supercapacitor Calibration", Buttons::kOkCancel) != Answer::kOk) {
    if (!s.options().yes) Out::Error("nothing was sent; --yes answers the confirmation with OK");
    return kExitFailed;
  }
  bool ok = true;
  std::size_t done = 0;
  auto transfers = [&] {
    for (const BusTransfer& t : sequence) {
      if (s.interrupted()) break;  // no new transfer once a stop is asked for
      const BusResult r = RunBusTransfer(s.adapter(), s.options().target_address(), t);
      s.out().Print(r.text, r.json);
      ++done;
      if (r.status != 0) {
        ok = false;
        break;
      }
    }
  };
  // Raw writes change the device like a run: they are recorded with its data flash.
  bool writes = std::any_of(sequence.begin(), sequence.end(),
                            [](const BusTransfer& t) { return t.writes(); });
  if (!writes) {
    transfers();
    if (s.interrupted()) s.ReportInterruption();
    return s.interrupted() ? kExitInterrupted : ok ? kExitOk : kExitFailed;
  }
  // The record holds the transfers that were made, and how many were asked for.
  auto r = s.Run(
      *RunNamed("bus"), transfers, [&] { return ok && done == sequence.size(); },
      [&] {
        return Json{{"transfers", WordsOf(sequence, done)}, {"planned", sequence.size()}};
      });
  return r.interrupted() ? kExitInterrupted : ok ? kExitOk : kExitFailed;
}

}  // namespace

void AddBusCommand(CLI::App& app, Options& o, std::vector<Command>& out) {
  auto* cmd = app.add_subcommand("bus",
                                 "raw SMBus transfers in order: read-word CMD, "
                                 "write-word CMD VALUE, read-block CMD, "
                                 "write-block CMD BYTES..., command CMD");
  auto words = std::make_shared<std::vector<std::string>>();
  auto sequence = std::make_shared<std::vector<BusTransfer>>();
  cmd->add_option("TRANSFER", *words)->required();
  cmd->add_flag("--yes", o.yes, "answer OK when the transfers write data flash");
  cmd->parse_complete_callback([words, sequence] {
    try {
      *sequence = ParseBusTransfers(*words);
    } catch (const std::invalid_argument& e) {
      throw CLI::ValidationError(e.what());
    }
  });
  out.emplace_back(cmd, Command::Needs::kDevice,
                   [sequence](Session& s) { return BusCommand(s, *sequence); });
}

}  // namespace vx::cli
