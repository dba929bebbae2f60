// `calibrate`: the page's "Calibrate device as indicated below". Each reference ticks its
// calibration and is typed into its box; nothing is calibrated against a value nobody gave.
#include <map>
#include <optional>

#include "hosts/cli/commands.h"
#include "hosts/cli/meter_flow.h"
#include "hosts/cli/page_input.h"
#include "hosts/station/page_state.h"
#include "hosts/station/references.h"

namespace vx::cli {

namespace {

struct CalibrateArgs {
  std::vector<std::string> voltages;  // cumulative mV, from capacitor 1 up
  // The references of the other calibrations, by their boxes (the system voltage, temperature
  // and current rows of the page's vocabulary).
  std::map<std::string_view, std::optional<std::string>> singles;
  std::vector<std::string> sensors;       // int, ext1, ext2; empty: as the page has them
  std::optional<std::string> charge_fet;  // on, off
  bool cc_offset = false;
  bool verify = false;
};

// The capacitor rows: exactly one value for each configured capacitor ("meter" for all).
bool GiveVoltages(Session& s, std::vector<std::string> voltages,
                  std::vector<std::string>& metered) {
  FormModel& f = s.form();
  auto n = ConfiguredCount(f);
  if (n && voltages == std::vector<std::string>{kFromMeter}) {
    voltages.assign(static_cast<std::size_t>(*n), kFromMeter);
  }
  // (With a count the page does not support it refuses the run itself.)
  if (n && static_cast<int>(voltages.size()) != *n) {
    Out::Error("this device is configured for " + std::to_string(*n) +
               " series capacitors: --voltages takes " + std::to_string(*n) + " values (" +
               std::string(records::kReadings[0].label) + " to " +
               std::string(records::kReadings[static_cast<std::size_t>(*n - 1)].label) + "), not " +
               std::to_string(voltages.size()));
    return false;
  }
  for (std::size_t k = 0; k < voltages.size() && k < 5; ++k) {
    const std::string key(records::kReadings[k].box);
    if (!f.At(key).enabled() || !GiveReference(s, key, voltages[k], "--voltages", metered)) {
      return false;
    }
  }
  return true;
}

int CalibrateCommand(Session& s, const CalibrateArgs& a) {
  FormModel& f = s.form();
  std::vector<std::string> metered;
  if (!a.voltages.empty() && !GiveVoltages(s, a.voltages, metered)) return kExitUsage;
  for (const auto& [box, value] : a.singles) {
    const PageRow& row = *records::RowOfBox(box);
    if (value && !GiveReference(s, std::string(box), *value, std::string(row.option), metered)) {
      return kExitUsage;
    }
  }
  if (!a.sensors.empty()) {
    auto has = [&](const char* name) {
      return std::find(a.sensors.begin(), a.sensors.end(), name) != a.sensors.end();
    };
    SetTicked(f, "chkIntTS", has("int"));
    SetTicked(f, "chkExtTS1", has("ext1"));
    SetTicked(f, "chkExtTS2", has("ext2"));
  }
  if (a.charge_fet) f.Click(*a.charge_fet == "on" ? "OptionUse" : "OptionByPass");
  SetTicked(f, "chkVoltageCal", !a.voltages.empty());
  for (const auto& [box, value] : a.singles)
    SetTicked(f, std::string(records::RowOfBox(box)->calibration), value.has_value());
  // The CC offset box is hidden on the page; the command line ticks it for the user.
  f.At("chkCCOffset").SetValue(a.cc_offset ? 1 : 0);

  if (int code = TakeFromMeter(s, metered); code != kExitOk) return code;
  s.verify = a.verify;
  return s.PageRun(*RunNamed("calibrate"));
}

}  // namespace

void AddCalibrateCommand(CLI::App& app, Options& o, std::vector<Command>& out) {
  auto* cmd = app.add_subcommand("calibrate", "the page's calibrate-device run");
  auto a = std::make_shared<CalibrateArgs>();
  cmd->add_option("--voltages", a->voltages,
                  "cumulative actual voltages in mV, one per configured capacitor")
      ->delimiter(',');
  for (const PageRow* row : records::ReferenceRows()) {
    if (row->calibration.empty() || row->calibration == "chkVoltageCal") continue;
    cmd->add_option(std::string(row->option), a->singles[row->box],
                    std::string(row->label) + " in " + std::string(row->unit()) +
                        (row->quantity == Quantity::kCurrent ? ", discharge negative" : ""));
  }
  cmd->add_option("--sensors", a->sensors, "sensors to calibrate: int,ext1,ext2")
      ->delimiter(',')
      ->check(CLI::IsMember({"int", "ext1", "ext2"}));
  cmd->add_option("--charge-fet", a->charge_fet, "charge FET during current calibration: on or off")
      ->check(CLI::IsMember({"on", "off"}));
  cmd->add_flag("--cc-offset", a->cc_offset, "CC offset calibration");
  cmd->add_flag("--yes", o.yes, "answer OK to confirmations");
  cmd->add_flag("--verify", a->verify, "after a done run, read again and print residuals");
  out.emplace_back(cmd, Command::Needs::kControl,
                   [a](Session& s) { return CalibrateCommand(s, *a); });
}

}  // namespace vx::cli
