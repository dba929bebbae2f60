#include "hosts/cli/page_commands.h"

#include <iomanip>
#include <iostream>
#include <sstream>

#include "device/numeric.h"
#include "hosts/cli/config_command.h"
#include "hosts/common/page_state.h"

namespace vx::cli {

namespace {

constexpr const char* kErrRd = "Err_Rd";

// A reference as the user gave it, checked before it is typed: a number, and short enough for
// the page's box (which would cut it).
bool TypeReference(FormModel& f, const std::string& key, const std::string& text,
                   const std::string& option) {
  Control* box = f.Find(key);
  const std::string label = LabelOf(key);
  try {
    TextToDouble(text);
  } catch (const std::exception&) {
    Out::Error(option + ": \"" + text + "\" for " + label + " is not a number");
    return false;
  }
  if (box->max_length > 0 && text.size() > static_cast<std::size_t>(box->max_length)) {
    Out::Error(option + ": \"" + text + "\" does not fit the page's box for " + label +
               ", which takes at most " + std::to_string(box->max_length) +
               " characters (digits, sign and point)");
    return false;
  }
  if (!f.Type(key, text)) {
    Out::Error(label + " cannot be typed into now");
    return false;
  }
  return true;
}

// Sets a check box to the wanted state the way a user does: by clicking it.
void SetTicked(FormModel& f, const std::string& key, bool ticked) {
  Control* c = f.Find(key);
  if (c && (c->value() == 1) != ticked) f.Click(key);
}

std::string Row(const std::string& name, const std::string& value, const char* unit) {
  std::ostringstream line;
  line << std::left << std::setw(24) << name << std::right << std::setw(8) << value << " " << unit;
  return line.str();
}

void PrintReadings(Session& s) {
  FormModel& f = s.form();
  if (s.out().json()) {
    s.out().Object(ReadingsJson(f));
    return;
  }
  for (int i = 0; i < 6; ++i)
    s.out().Text(Row(kVoltageRowNames[i], f.At("txtCalMeasVoltage", i).text(), "mV"));
  s.out().Text(Row("System voltage", f.At("txtMeasuredSystemVoltage").text(), "mV"));
  s.out().Text(Row("Temperature", f.At("txtCalMeasTemperature").text(), "deg C"));
  s.out().Text(Row("Current", f.At("txtCalMeasCurrent").text(), "mA"));
}

// The separate runs' frame is hidden at every show; a production line opens it on purpose.
void OfferSeparateRuns(FormModel& f, bool hardware_board_offset) {
  f.At("Frame1", 4).SetVisible(true);
  if (hardware_board_offset) f.At("btnBoardOffsett").SetVisible(true);
}

// The run's outcome in one line, its exit code returned.
int Outcome(Session& s, const std::string& run, const Session::RunResult& r) {
  if (r.interrupted) return kExitInterrupted;
  if (s.cancelled() && !s.options().yes) {
    Out::Error("the confirmation was answered Cancel; --yes answers it with OK");
  }
  const bool out = r.outcome == "out of limits";
  Json j{{"run", run}, {"done", r.done}, {"outcome", r.outcome}};
  if (r.record.id > 0) j["record"] = r.record.id;
  if (!r.record.limits.is_null()) j["limits"] = r.record.limits;
  std::string text = run + (r.done ? " done." : " not done.");
  if (out) {
    text += " The unit is outside its limits:";
    for (const auto& c : r.record.limits["checks"]) {
      if (!c["passed"].get<bool>()) {
        text += " " + c["reading"].get<std::string>() + " " + c["residual"].dump() + " (at most " +
                FormatDouble(c["limit"].get<double>()) + ")";
      }
    }
  }
  s.out().Print(text, j);
  return out ? kExitOutOfLimits : r.done ? kExitOk : kExitFailed;
}

// Each reading that was calibrated against its reference, after the run.
void PrintResiduals(Session& s, const records::RunRecord& r) {
  if (s.out().json()) {
    s.out().Object(Json{{"verify", r.residuals}, {"readings", r.readings_after}});
    return;
  }
  s.out().Text("Residuals (measured - reference):");
  for (auto& [name, v] : r.residuals.items())
    s.out().Text("  " + Row(name, v.is_null() ? "n/a" : v.dump(), ""));
}

}  // namespace

int ReadCommand(Session& s, int ticks) {
  FormModel& f = s.form();
  int code = kExitOk;
  for (int i = 0; i < ticks; ++i) {
    if (i > 0) {
      try {
        s.platform().Sleep(std::chrono::milliseconds(f.At("tmrScan").interval_ms));
      } catch (const Interrupted&) {
        s.ReportInterruption();
        return kExitInterrupted;
      }
      s.out().Text("");
    }
    f.Tick("tmrScan");
    PrintReadings(s);
    // Every box "Err_Rd": the device does not answer at all; some: a read failed.
    int failed = 0;
    for (const char* key : {"txtCalMeasVoltage(0)", "txtMeasuredSystemVoltage",
                            "txtCalMeasTemperature", "txtCalMeasCurrent"}) {
      failed += f.Find(key)->text() == kErrRd;
    }
    if (failed == 4) {
      code = kExitSetup;
    } else if (failed > 0 && code == kExitOk) {
      code = kExitFailed;
    }
  }
  if (code == kExitSetup) Out::Error("the device does not answer");
  return code;
}

// The boxes whose value is "meter", in the order the probes move; the others are typed. A
// reference from a meter needs --meter.
bool Sorted(const std::string& key, const std::string& value, const std::string& option,
            const MeterOptions& m, std::vector<std::string>& metered, FormModel& f) {
  if (value != kFromMeter) return TypeReference(f, key, value, option);
  if (m.address.empty()) {
    Out::Error(option +
               " meter takes the value from a bench meter: name it with --meter "
               "DRIVER:OPTIONS (scpi-dmm:conn=tcp-raw/HOST/PORT)");
    return false;
  }
  metered.push_back(key);
  return true;
}

int CalibrateCommand(Session& s, const CalibrateArgs& args) {
  FormModel& f = s.form();
  CalibrateArgs a = args;
  std::vector<std::string> metered;
  if (!a.voltages.empty()) {
    // "--voltages meter": every configured capacitor's voltage from the meter.
    auto n = ConfiguredCount(f);
    if (n && a.voltages == std::vector<std::string>{kFromMeter}) {
      a.voltages.assign(static_cast<std::size_t>(*n), kFromMeter);
    }
    // No capacitor is calibrated against a value nobody gave: exactly one voltage for each
    // configured capacitor. (With a count the page does not support it refuses the run itself.)
    if (n && static_cast<int>(a.voltages.size()) != *n) {
      Out::Error("this device is configured for " + std::to_string(*n) +
                 " series capacitors: --voltages takes " + std::to_string(*n) + " values (" +
                 kVoltageRowNames[0] + " to " + kVoltageRowNames[*n - 1] + "), not " +
                 std::to_string(a.voltages.size()));
      return kExitUsage;
    }
    for (std::size_t k = 0; k < a.voltages.size() && k < 6; ++k) {
      if (!f.At("txtVoltage", static_cast<int>(k)).enabled() ||
          !Sorted("txtVoltage(" + std::to_string(k) + ")", a.voltages[k], "--voltages", a.meter,
                  metered, f)) {
        return kExitUsage;
      }
    }
  }
  if (a.system_voltage && !Sorted("txtActualSystemVoltage", *a.system_voltage, "--system-voltage",
                                  a.meter, metered, f)) {
    return kExitUsage;
  }
  if (a.temperature &&
      !Sorted("txtTemperature", *a.temperature, "--temperature", a.meter, metered, f)) {
    return kExitUsage;
  }
  if (a.current && !Sorted("txtCurrent", *a.current, "--current", a.meter, metered, f)) {
    return kExitUsage;
  }
  if (!a.sensors.empty()) {
    bool in = false, e1 = false, e2 = false;
    for (const auto& name : a.sensors) {
      if (name == "int") {
        in = true;
      } else if (name == "ext1") {
        e1 = true;
      } else if (name == "ext2") {
        e2 = true;
      } else {
        Out::Error("--sensors: unknown sensor \"" + name + "\" (int, ext1, ext2)");
        return kExitUsage;
      }
    }
    SetTicked(f, "chkIntTS", in);
    SetTicked(f, "chkExtTS1", e1);
    SetTicked(f, "chkExtTS2", e2);
  }
  if (a.charge_fet) {
    if (*a.charge_fet != "on" && *a.charge_fet != "off") {
      Out::Error("--charge-fet is on or off, not \"" + *a.charge_fet + "\"");
      return kExitUsage;
    }
    f.Click(*a.charge_fet == "on" ? "OptionUse" : "OptionByPass");
  }
  SetTicked(f, "chkVoltageCal", !a.voltages.empty());
  SetTicked(f, "chkSystemVoltage", a.system_voltage.has_value());
  SetTicked(f, "chkTempCal", a.temperature.has_value());
  SetTicked(f, "chkCurrentCal", a.current.has_value());
  // The CC offset box is hidden on the page; the command line ticks it for the user.
  f.At("chkCCOffset").SetValue(a.cc_offset ? 1 : 0);

  if (int code = TakeFromMeter(s, a.meter, metered); code != kExitOk) return code;
  WarnOutOfRange(s);
  auto r = s.Run(
      "calibrate", "Calibrate device", [&] { f.Click("btnCalibrate"); },
      [&] { return f.At("imgCalDoneBox").visible(); });
  if (a.verify && r.done) PrintResiduals(s, r.record);
  return Outcome(s, "Calibration", r);
}

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

int SystemVoltageCommand(Session& s, const std::optional<std::string>& actual,
                         const MeterOptions& meter) {
  FormModel& f = s.form();
  if (!actual) {
    Out::Error("system-voltage needs --actual MV: the actual system voltage your meter shows");
    return kExitUsage;
  }
  std::vector<std::string> metered;
  if (!Sorted("txtActualSystemVoltage", *actual, "--actual", meter, metered, f)) {
    return kExitUsage;
  }
  if (int code = TakeFromMeter(s, meter, metered); code != kExitOk) return code;
  WarnOutOfRange(s);
  f.At("imgCalDoneBox").SetVisible(false);
  std::int32_t status = 0;
  auto r = s.Run(
      "system-voltage", "System voltage", [&] { status = s.cal().CalSystemVoltage(); },
      [&] { return f.At("imgCalDoneBox").visible(); });
  if (!r.done && !r.interrupted) {
    s.out().Text("CalSystemVoltage returned " + std::to_string(status) + ".");
  }
  return Outcome(s, "System voltage calibration", r);
}

int PackVoltageCommand(Session& s) {
  FormModel& f = s.form();
  OfferSeparateRuns(f, false);
  WarnOutOfRange(s);
  auto r = s.Run(
      "pack-voltage", "Pack voltage", [&] { f.Click("btnCalPackVolt"); },
      [&] { return f.At("imgPackDoneBox").visible(); });
  return Outcome(s, "Pack voltage calibration", r);
}

int BoardOffsetCommand(Session& s, bool hardware, const std::optional<std::string>& seconds) {
  FormModel& f = s.form();
  OfferSeparateRuns(f, hardware);
  if (seconds) {
    Control& box = f.At("txtBrdOffTime");
    double v = 0;
    try {
      v = TextToDouble(*seconds);
    } catch (const std::exception&) {
      Out::Error("--seconds: \"" + *seconds + "\" is not a number");
      return kExitUsage;
    }
    if (seconds->size() > static_cast<std::size_t>(box.max_length) || v < 1 || v > 99) {
      Out::Error("--seconds: \"" + *seconds + "\" does not fit the page's board offset time " +
                 "in seconds, which takes 1 to 99 seconds");
      return kExitUsage;
    }
    f.Type("txtBrdOffTime", *seconds);
  }
  WarnOutOfRange(s);
  const char* button = hardware ? "btnBoardOffsett" : "cmdSWBrdOffsetCal";
  auto r = s.Run(
      hardware ? "board-offset-hardware" : "board-offset-software",
      hardware ? "Board offset (hardware)" : "Board offset (software)", [&] { f.Click(button); },
      [&] { return f.At("imgBoardOffDone").visible(); });
  return Outcome(
      s, hardware ? "Hardware board offset calibration" : "Software board offset calibration", r);
}

}  // namespace vx::cli
