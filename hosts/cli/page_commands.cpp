#include "hosts/cli/page_commands.h"

#include <iomanip>
#include <iostream>
#include <sstream>

#include "device/numeric.h"
#include "hosts/cli/config_command.h"
#include "hosts/common/page_labels.h"

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
int Outcome(Session& s, const std::string& run, bool done) {
  if (s.cancelled() && !s.options().yes) {
    Out::Error("the confirmation was answered Cancel; --yes answers it with OK");
  }
  s.out().Print(run + (done ? " done." : " not done."), Json{{"run", run}, {"done", done}});
  return done ? kExitOk : kExitFailed;
}

// Each reading that was calibrated against its reference, after the run and one more scan.
void PrintResiduals(Session& s, const CalibrateArgs& a) {
  FormModel& f = s.form();
  f.Tick("tmrScan");
  Json residuals = Json::object();
  auto residual = [&](const std::string& name, const std::string& measured,
                      const std::string& reference) {
    Json m = Number(measured), r = Number(reference);
    residuals[name] = (m.is_null() || r.is_null())
                          ? Json(nullptr)
                          : Number(FormatDouble(m.get<double>() - r.get<double>()));
  };
  for (std::size_t k = 0; k < a.voltages.size(); ++k) {
    residual(kVoltageRowNames[k], f.At("txtCalMeasVoltage", static_cast<int>(k)).text(),
             a.voltages[k]);
  }
  if (!a.voltages.empty()) {  // the stack is calibrated against the top capacitor's voltage
    residual(kVoltageRowNames[5], f.At("txtCalMeasVoltage", 5).text(), a.voltages.back());
  }
  if (a.system_voltage) {
    residual("System voltage", f.At("txtMeasuredSystemVoltage").text(), *a.system_voltage);
  }
  if (a.temperature) residual("Temperature", f.At("txtCalMeasTemperature").text(), *a.temperature);
  if (a.current) residual("Current", f.At("txtCalMeasCurrent").text(), *a.current);
  if (s.out().json()) {
    s.out().Object(Json{{"verify", residuals}, {"readings", ReadingsJson(f)}});
    return;
  }
  s.out().Text("Residuals (measured - reference):");
  for (auto& [name, v] : residuals.items())
    s.out().Text("  " + Row(name, v.is_null() ? "n/a" : v.dump(), ""));
}

}  // namespace

Json ReadingsJson(FormModel& f) {
  Json j;
  Json caps = Json::array();
  for (int i = 0; i < 6; ++i)
    caps.push_back(Number(f.At("txtCalMeasVoltage", i).text()));
  j["capacitors_mV"] = caps;
  j["system_mV"] = Number(f.At("txtMeasuredSystemVoltage").text());
  j["temperature_C"] = Number(f.At("txtCalMeasTemperature").text());
  j["current_mA"] = Number(f.At("txtCalMeasCurrent").text());
  return j;
}

std::optional<int> ConfiguredCount(FormModel& f) {
  // The set-up leaves the rows of the configured capacitors as they were and disables every row
  // above them: 2 to 5 usable rows with the stack row disabled is a count the page supports.
  int n = 0;
  while (n < 6 && f.At("txtVoltage", n).enabled())
    ++n;
  if (n < 2 || n > 5) return std::nullopt;
  return n;
}

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

int CalibrateCommand(Session& s, const CalibrateArgs& a) {
  FormModel& f = s.form();
  f.Tick("tmrScan");  // live readings on the page before the click, as a user sees them
  if (!a.voltages.empty()) {
    // No capacitor is calibrated against a value nobody gave: exactly one voltage for each
    // configured capacitor. (With a count the page does not support it refuses the run itself.)
    if (auto n = ConfiguredCount(f); n && static_cast<int>(a.voltages.size()) != *n) {
      Out::Error("this device is configured for " + std::to_string(*n) +
                 " series capacitors: --voltages takes " + std::to_string(*n) + " values (" +
                 kVoltageRowNames[0] + " to " + kVoltageRowNames[*n - 1] + "), not " +
                 std::to_string(a.voltages.size()));
      return kExitUsage;
    }
    for (std::size_t k = 0; k < a.voltages.size() && k < 6; ++k) {
      if (!f.At("txtVoltage", static_cast<int>(k)).enabled() ||
          !TypeReference(f, "txtVoltage(" + std::to_string(k) + ")", a.voltages[k], "--voltages")) {
        return kExitUsage;
      }
    }
  }
  if (a.system_voltage &&
      !TypeReference(f, "txtActualSystemVoltage", *a.system_voltage, "--system-voltage")) {
    return kExitUsage;
  }
  if (a.temperature && !TypeReference(f, "txtTemperature", *a.temperature, "--temperature")) {
    return kExitUsage;
  }
  if (a.current && !TypeReference(f, "txtCurrent", *a.current, "--current")) return kExitUsage;
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

  WarnOutOfRange(s);
  if (!s.Run("Calibrate device", [&] { f.Click("btnCalibrate"); })) return kExitInterrupted;
  bool done = f.At("imgCalDoneBox").visible();
  if (a.verify && done) PrintResiduals(s, a);
  return Outcome(s, "Calibration", done);
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

int SystemVoltageCommand(Session& s, const std::optional<std::string>& actual) {
  FormModel& f = s.form();
  if (!actual) {
    Out::Error("system-voltage needs --actual MV: the actual system voltage your meter shows");
    return kExitUsage;
  }
  if (!TypeReference(f, "txtActualSystemVoltage", *actual, "--actual")) return kExitUsage;
  WarnOutOfRange(s);
  f.At("imgCalDoneBox").SetVisible(false);
  std::int32_t r = 0;
  if (!s.Run("System voltage", [&] { r = s.cal().CalSystemVoltage(); })) return kExitInterrupted;
  bool done = f.At("imgCalDoneBox").visible();
  if (s.out().json()) {
    s.out().Object(Json{{"run", "System voltage calibration"}, {"status", r}, {"done", done}});
    return done ? kExitOk : kExitFailed;
  }
  s.out().Text(done ? "System voltage calibration done: the new gain was written."
                    : "System voltage calibration not done (CalSystemVoltage returned " +
                          std::to_string(r) + ").");
  return done ? kExitOk : kExitFailed;
}

int PackVoltageCommand(Session& s) {
  FormModel& f = s.form();
  f.Tick("tmrScan");
  OfferSeparateRuns(f, false);
  WarnOutOfRange(s);
  if (!s.Run("Pack voltage", [&] { f.Click("btnCalPackVolt"); })) return kExitInterrupted;
  return Outcome(s, "Pack voltage calibration", f.At("imgPackDoneBox").visible());
}

int BoardOffsetCommand(Session& s, bool hardware, const std::optional<std::string>& seconds) {
  FormModel& f = s.form();
  f.Tick("tmrScan");
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
  if (!s.Run(hardware ? "Board offset (hardware)" : "Board offset (software)",
             [&] { f.Click(button); })) {
    return kExitInterrupted;
  }
  return Outcome(
      s, hardware ? "Hardware board offset calibration" : "Software board offset calibration",
      f.At("imgBoardOffDone").visible());
}

}  // namespace vx::cli
