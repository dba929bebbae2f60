#include "hosts/cli/page_commands.h"

#include <cmath>
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>

#include <sstream>
#include <thread>
#include "hosts/cli/json_out.h"

namespace vx::cli {

namespace {

using nlohmann::json;

const char* kRowNames[] = {"Capacitor 1",           "Capacitor 1 + 2",       "Capacitor 1 + 2 + 3",
                           "Capacitor 1 through 4", "Capacitor 1 through 5", "Stack Voltage"};

json Number(const std::string& text) {
  try {
    std::size_t used = 0;
    double v = std::stod(text, &used);
    if (used == text.size()) return v;
  } catch (const std::exception&) {
  }
  return nullptr;
}

// Sets a check box to the wanted state the way a user does: by clicking it.
bool SetTicked(FormModel& f, const std::string& key, bool ticked) {
  Control* c = f.Find(key);
  if (!c) return false;
  if ((c->value() == 1) == ticked) return true;
  return f.Click(key) && (c->value() == 1) == ticked;
}

bool TypeInto(FormModel& f, const std::string& key, const std::string& text, std::ostream& err) {
  if (!f.Type(key, text)) {
    err << "vx58420cal: " << key << " cannot be typed into now\n";
    return false;
  }
  if (f.Find(key)->text() != text) {
    err << "vx58420cal: " << key << " takes at most " << f.Find(key)->max_length
        << " characters; \"" << text << "\" would be cut\n";
    return false;
  }
  return true;
}

void PrintReadings(FormModel& f, std::ostream& out) {
  for (int i = 0; i < 6; ++i) {
    out << std::left << std::setw(24) << kRowNames[i] << std::right << std::setw(8)
        << f.At("txtCalMeasVoltage", i).text() << " mV\n";
  }
  out << std::left << std::setw(24) << "System voltage" << std::right << std::setw(8)
      << f.At("txtMeasuredSystemVoltage").text() << " mV\n";
  out << std::left << std::setw(24) << "Temperature" << std::right << std::setw(8)
      << f.At("txtCalMeasTemperature").text() << " deg C\n";
  out << std::left << std::setw(24) << "Current" << std::right << std::setw(8)
      << f.At("txtCalMeasCurrent").text() << " mA\n";
}

// The separate runs' frame is hidden at every show; a production line opens it on purpose.
void OfferSeparateRuns(FormModel& f, bool hardware_board_offset) {
  f.At("Frame1", 4).SetVisible(true);
  if (hardware_board_offset) f.At("btnBoardOffsett").SetVisible(true);
}

int DoneExit(FormModel& f, const char* done) {
  return f.At(done).visible() ? kExitOk : kExitFailed;
}

}  // namespace

std::string ReadingsJson(FormModel& f) {
  json j;
  json caps = json::array();
  for (int i = 0; i < 6; ++i)
    caps.push_back(Number(f.At("txtCalMeasVoltage", i).text()));
  j["capacitors_mV"] = caps;
  j["system_mV"] = Number(f.At("txtMeasuredSystemVoltage").text());
  j["temperature_C"] = Number(f.At("txtCalMeasTemperature").text());
  j["current_mA"] = Number(f.At("txtCalMeasCurrent").text());
  return Dump(j);
}

int ReadCommand(Session& s, int ticks, std::ostream& out) {
  FormModel& f = s.form();
  for (int i = 0; i < ticks; ++i) {
    if (i > 0) s.platform().Sleep(std::chrono::milliseconds(f.At("tmrScan").interval_ms));
    f.Tick("tmrScan");
    if (s.options().json) {
      out << ReadingsJson(f) << "\n";
    } else {
      if (i > 0) out << "\n";
      PrintReadings(f, out);
    }
  }
  return kExitOk;
}

int CalibrateCommand(Session& s, const CalibrateArgs& a, std::ostream& out) {
  FormModel& f = s.form();
  f.Tick("tmrScan");  // live readings on the page before the click, as a user sees them
  if (a.voltages.size() > 6) {
    std::cerr << "vx58420cal: at most six voltages (five capacitors and the stack)\n";
    return kExitUsage;
  }
  for (std::size_t k = 0; k < a.voltages.size(); ++k) {
    std::string key = "txtVoltage(" + std::to_string(k) + ")";
    if (!f.At("txtVoltage", static_cast<int>(k)).enabled()) {
      std::cerr << "vx58420cal: " << kRowNames[k]
                << " is not configured on this device; its entry is filled by the page\n";
      return kExitUsage;
    }
    if (!TypeInto(f, key, a.voltages[k], std::cerr)) return kExitUsage;
  }
  if (a.system_voltage && !TypeInto(f, "txtActualSystemVoltage", *a.system_voltage, std::cerr)) {
    return kExitUsage;
  }
  if (a.temperature && !TypeInto(f, "txtTemperature", *a.temperature, std::cerr)) {
    return kExitUsage;
  }
  if (a.current && !TypeInto(f, "txtCurrent", *a.current, std::cerr)) return kExitUsage;
  if (!a.sensors.empty()) {
    bool in = false, e1 = false, e2 = false;
    for (const auto& name : a.sensors) {
      if (name == "int")
        in = true;
      else if (name == "ext1")
        e1 = true;
      else if (name == "ext2")
        e2 = true;
      else {
        std::cerr << "vx58420cal: unknown sensor " << name << " (int, ext1, ext2)\n";
        return kExitUsage;
      }
    }
    SetTicked(f, "chkIntTS", in);
    SetTicked(f, "chkExtTS1", e1);
    SetTicked(f, "chkExtTS2", e2);
  }
  if (a.charge_fet) {
    if (*a.charge_fet != "on" && *a.charge_fet != "off") {
      std::cerr << "vx58420cal: --charge-fet is on or off\n";
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

  f.Click("btnCalibrate");
  int exit_code = DoneExit(f, "imgCalDoneBox");

  if (a.verify) {
    f.Tick("tmrScan");
    nlohmann::ordered_json residuals = nlohmann::ordered_json::object();
    auto residual = [&](const std::string& name, const std::string& measured,
                        const std::string& reference) {
      json m = Number(measured), r = Number(reference);
      using OJ = nlohmann::ordered_json;
      residuals[name] =
          (m.is_null() || r.is_null()) ? OJ(nullptr) : OJ(m.get<double>() - r.get<double>());
    };
    for (std::size_t k = 0; k < a.voltages.size(); ++k) {
      residual(kRowNames[k], f.At("txtCalMeasVoltage", static_cast<int>(k)).text(), a.voltages[k]);
    }
    if (a.system_voltage) {
      residual("System voltage", f.At("txtMeasuredSystemVoltage").text(), *a.system_voltage);
    }
    if (a.temperature) {
      residual("Temperature", f.At("txtCalMeasTemperature").text(), *a.temperature);
    }
    if (a.current) residual("Current", f.At("txtCalMeasCurrent").text(), *a.current);
    if (s.options().json) {
      nlohmann::ordered_json j;
      j["verify"] = residuals;
      j["readings"] = json::parse(ReadingsJson(f));
      out << Dump(j) << "\n";
    } else {
      out << "Residuals (measured - reference):\n";
      for (auto& [name, v] : residuals.items()) {
        out << "  " << std::left << std::setw(24) << name << std::right << std::setw(8)
            << (v.is_null() ? std::string("n/a") : v.dump()) << "\n";
      }
    }
  }
  if (s.options().json) {
    out << Dump(json{{"done", exit_code == kExitOk}}) << "\n";
  } else {
    out << (exit_code == kExitOk ? "Calibration done.\n" : "Calibration not done.\n");
  }
  return exit_code;
}

int CapacitorsCommand(Session& s, std::ostream& out) {
  std::int32_t r = s.cal().ReadNumberofConfiguredCapacitors();
  const std::string count = s.form().At("txtCellCount").text();
  if (s.options().json) {
    out << Dump(json{{"result", r}, {"count", Number(count)}}) << "\n";
  } else {
    out << "Series capacitor count: " << count << (r == 0 ? "" : " (not usable)") << "\n";
  }
  return r == 0 ? kExitOk : kExitFailed;
}

int SystemVoltageCommand(Session& s, const std::optional<std::string>& actual, std::ostream& out) {
  FormModel& f = s.form();
  if (actual && !TypeInto(f, "txtActualSystemVoltage", *actual, std::cerr)) return kExitUsage;
  f.At("imgCalDoneBox").SetVisible(false);
  std::int32_t r = s.cal().CalSystemVoltage();
  bool done = f.At("imgCalDoneBox").visible();
  if (s.options().json) {
    out << Dump(json{{"status", r}, {"done", done}}) << "\n";
  } else {
    out << "CalSystemVoltage returned " << r << (done ? "; the gain was written.\n" : ".\n");
  }
  return r == 0 && done ? kExitOk : kExitFailed;
}

int PackVoltageCommand(Session& s, std::ostream&) {
  FormModel& f = s.form();
  f.Tick("tmrScan");
  OfferSeparateRuns(f, false);
  f.Click("btnCalPackVolt");
  return DoneExit(f, "imgPackDoneBox");
}

int BoardOffsetCommand(Session& s, bool hardware, const std::optional<std::string>& seconds,
                       std::ostream&) {
  FormModel& f = s.form();
  f.Tick("tmrScan");
  OfferSeparateRuns(f, hardware);
  if (seconds && !TypeInto(f, "txtBrdOffTime", *seconds, std::cerr)) return kExitUsage;
  f.Click(hardware ? "btnBoardOffsett" : "cmdSWBrdOffsetCal");
  return DoneExit(f, "imgBoardOffDone");
}

}  // namespace vx::cli
