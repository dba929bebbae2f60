#include "hosts/common/page_state.h"

#include <cmath>

#include "device/numeric.h"

namespace vx {

using records::Json;

const char* const kVoltageRowNames[6] = {"Capacitor 1",           "Capacitor 1 + 2",
                                         "Capacitor 1 + 2 + 3",   "Capacitor 1 through 4",
                                         "Capacitor 1 through 5", "Stack Voltage"};

namespace {

bool On(FormModel& f, const char* key) {
  return f.At(key).value() == 1;
}

}  // namespace

Json Number(const std::string& text) {
  try {
    double v = TextToDouble(text);
    if (v == std::floor(v) && std::fabs(v) < 1e15) return static_cast<std::int64_t>(v);
    return v;
  } catch (const std::exception&) {
    return nullptr;
  }
}

std::string LabelOf(const std::string& key) {
  if (key.rfind("txtVoltage(", 0) == 0 && key.size() == 13) {
    int row = key[11] - '0';
    if (row >= 0 && row < 6) return kVoltageRowNames[row];
  }
  if (key == "txtActualSystemVoltage") return "actual system voltage";
  if (key == "txtTemperature") return "actual temperature";
  if (key == "txtCurrent") return "actual current";
  if (key == "txtBrdOffTime") return "board offset time in seconds";
  return key;
}

std::string ProbePosition(const std::string& label) {
  if (label == "actual system voltage") return "Put the meter across the system power input";
  if (label == "actual current") return "Put the meter in series with the discharge load";
  if (label == "actual temperature") return "Put the meter's temperature probe at the device";
  return "Put the meter across ground and the top of " + label;
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

Json ReadingsJson(FormModel& f) {
  Json caps = Json::array();
  for (int i = 0; i < 6; ++i)
    caps.push_back(Number(f.At("txtCalMeasVoltage", i).text()));
  return Json{{"capacitors_mV", caps},
              {"system_mV", Number(f.At("txtMeasuredSystemVoltage").text())},
              {"temperature_C", Number(f.At("txtCalMeasTemperature").text())},
              {"current_mA", Number(f.At("txtCalMeasCurrent").text())}};
}

RunInputs InputsFor(FormModel& f, const std::string& run) {
  RunInputs in;
  auto tick = [&](const char* key) {
    if (On(f, key)) in.ticked.push_back(f.At(key).text());
    return On(f, key);
  };
  auto typed = [&](const std::string& key) {
    in.references.push_back({LabelOf(key), f.Find(key)->text(), Json()});
  };
  if (run == "calibrate") {
    if (tick("chkVoltageCal")) {
      int n = ConfiguredCount(f).value_or(0);
      for (int k = 0; k < n; ++k)
        typed("txtVoltage(" + std::to_string(k) + ")");
    }
    if (tick("chkSystemVoltage")) typed("txtActualSystemVoltage");
    if (tick("chkTempCal")) {
      typed("txtTemperature");
      for (const char* s : {"chkIntTS", "chkExtTS1", "chkExtTS2"})
        tick(s);
    }
    if (tick("chkCurrentCal")) {
      typed("txtCurrent");
      for (const char* o : {"OptionUse", "OptionByPass"})
        tick(o);
    }
    tick("chkCCOffset");
  } else if (run == "system-voltage") {
    in.ticked.push_back("System Voltage Calibration");
    typed("txtActualSystemVoltage");
  } else if (run == "pack-voltage") {
    in.ticked.push_back(f.At("btnCalPackVolt").text());
  } else if (run == "board-offset-hardware") {
    in.ticked.push_back(f.At("btnBoardOffsett").text());
  } else if (run == "board-offset-software") {
    in.ticked.push_back(f.At("cmdSWBrdOffsetCal").text());
    typed("txtBrdOffTime");
  }
  return in;
}

Json Residuals(const std::vector<records::Reference>& references, const Json& readings) {
  Json out = Json::object();
  auto residual = [&](const std::string& name, const Json& measured, const std::string& ref) {
    Json r = Number(ref);
    out[name] = (measured.is_number() && r.is_number())
                    ? Number(FormatDouble(measured.get<double>() - r.get<double>()))
                    : Json(nullptr);
  };
  const records::Reference* top = nullptr;
  for (const auto& ref : references) {
    for (int k = 0; k < 5; ++k) {
      if (ref.label == kVoltageRowNames[k]) {
        residual(ref.label, readings["capacitors_mV"][static_cast<std::size_t>(k)], ref.value);
        top = &ref;
      }
    }
  }
  if (top) residual(kVoltageRowNames[5], readings["capacitors_mV"][5], top->value);
  for (const auto& ref : references) {
    if (ref.label == "actual system voltage") {
      residual("System voltage", readings["system_mV"], ref.value);
    } else if (ref.label == "actual temperature") {
      residual("Temperature", readings["temperature_C"], ref.value);
    } else if (ref.label == "actual current") {
      residual("Current", readings["current_mA"], ref.value);
    }
  }
  return out;
}

}  // namespace vx
