// The page's other runs from the command line: the capacitor count, the host's system voltage
// method, and the separate runs whose frame the page hides at every show (a production line
// opens it on purpose).
#include <optional>

#include "device/numeric.h"
#include "hosts/cli/commands.h"
#include "hosts/cli/meter_flow.h"
#include "hosts/cli/page_input.h"
#include "hosts/station/page_state.h"

namespace vx::cli {

namespace {

int CapacitorsCommand(Session& s) {
  std::size_t before = s.messages().size();
  std::int32_t r = s.cal().ReadNumberofConfiguredCapacitors();
  // A failed read leaves the count at 5 with the page's message; it is no count of the device.
  bool read = r == 0 && s.messages().size() == before;
  const std::string count = s.form().At("txtCellCount").text();
  s.out().Print(read ? "Series capacitor count: " + count
                     : "The series capacitor count could not be read or is not supported.",
                Json{{"result", r}, {"count", read ? Number(count) : Json(nullptr)}});
  return read ? kExitOk : kExitFailed;
}

int SystemVoltageCommand(Session& s, const std::string& actual) {
  std::vector<std::string> metered;
  if (!GiveReference(s, "txtActualSystemVoltage", actual, "--actual", metered)) {
    return kExitUsage;
  }
  if (int code = TakeFromMeter(s, metered); code != kExitOk) return code;
  return s.PageRun(*RunNamed("system-voltage"));
}

// A separate run: its frame (and a hidden button) made visible, then clicked as a user would.
int SeparateRun(Session& s, const RunKind& kind, const Json& extra = nullptr) {
  FormModel& f = s.form();
  f.At("Frame1", 4).SetVisible(true);
  if (kind.hidden_button) f.At(std::string(kind.trigger)).SetVisible(true);
  return s.PageRun(kind, extra);
}

// The software board offset writes its result into the word of CalibrationData that also holds
// the stack voltage gain (bytes 22-23): the stack reads wrong until it is calibrated again.
constexpr const char kOverwrites[] =
    "the software board offset is written into the word of CalibrationData that holds the stack "
    "voltage gain (bytes 22-23): the stack voltage reads wrong until it is calibrated again";

int BoardOffsetCommand(Session& s, bool hardware, const std::optional<std::string>& seconds,
                       bool overwrite) {
  if (seconds) {
    // The time box sits in the frame the page hides: typed into once the frame is shown.
    s.form().At("Frame1", 4).SetVisible(true);
    const bool number = TypeReference(s.station(), "txtBrdOffTime", *seconds, "--seconds");
    if (!number || TextToDouble(*seconds) < 1 || TextToDouble(*seconds) > 99) {
      if (number) {
        Out::Error("--seconds: \"" + *seconds + "\" does not fit the page's board offset time " +
                   "in seconds, which takes 1 to 99 seconds");
      }
      return kExitUsage;
    }
  }
  if (!hardware && !overwrite) {
    Out::Error(std::string(kOverwrites) +
               "; --overwrite-stack-gain runs it knowing that; nothing was sent to the device");
    return kExitUsage;
  }
  if (hardware) return SeparateRun(s, *RunNamed("board-offset-hardware"));
  Out::Error(std::string("note: ") + kOverwrites);
  const int code = SeparateRun(s, *RunNamed("board-offset-software"),
                               Json{{"overwrites", "Stack voltage gain"}, {"note", kOverwrites}});
  if (code == kExitOk) Out::Error("calibrate the stack voltage again now (calibrate --voltages)");
  return code;
}

}  // namespace

void AddSeparateRunCommands(CLI::App& app, Options& o, std::vector<Command>& out) {
  auto* caps = app.add_subcommand("capacitors", "read the series capacitor count");
  out.emplace_back(caps, Command::Needs::kControl, CapacitorsCommand);

  auto* sysv = app.add_subcommand("system-voltage", "the host's CalSystemVoltage method");
  auto actual = std::make_shared<std::string>();
  sysv->add_option("--actual", *actual, "actual system voltage in mV (required)");
  sysv->parse_complete_callback([sysv] {
    if (sysv->count("--actual") == 0) {
      throw CLI::ValidationError(
          "system-voltage needs --actual MV: the actual system voltage your meter shows");
    }
  });
  out.emplace_back(sysv, Command::Needs::kControl,
                   [actual](Session& s) { return SystemVoltageCommand(s, *actual); });

  auto* pack = app.add_subcommand("pack-voltage", "the pack voltage run");
  pack->add_flag("--yes", o.yes, "answer OK to the confirmation");
  out.emplace_back(pack, Command::Needs::kControl,
                   [](Session& s) { return SeparateRun(s, *RunNamed("pack-voltage")); });

  auto* board = app.add_subcommand("board-offset", "a board offset run");
  auto hardware = std::make_shared<bool>(false);
  auto seconds = std::make_shared<std::optional<std::string>>();
  auto* hw = board->add_flag("--hardware", *hardware, "in the device's calibration mode");
  auto software = std::make_shared<bool>(false);
  auto* sw = board->add_flag("--software", *software, "sampled by the host");
  hw->excludes(sw);
  auto* time =
      board->add_option("--seconds", *seconds, "sampling time for --software, 1 to 99 (default 2)");
  time->excludes(hw);
  auto overwrite = std::make_shared<bool>(false);
  board
      ->add_flag("--overwrite-stack-gain", *overwrite,
                 "--software writes into the stack voltage gain's word: run it all the same")
      ->excludes(hw);
  board->add_flag("--yes", o.yes, "answer OK to the confirmation");
  board->parse_complete_callback([board] {
    if (board->count("--hardware") + board->count("--software") == 0) {
      throw CLI::ValidationError("board-offset needs one of --hardware and --software");
    }
  });
  // The flags' own values live as long as the command (CLI11 writes them when it parses).
  out.emplace_back(board, Command::Needs::kControl,
                   [hardware, software, seconds, overwrite](Session& s) {
                     return BoardOffsetCommand(s, *hardware, *seconds, *overwrite);
                   });
}

}  // namespace vx::cli
