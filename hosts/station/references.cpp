#include "hosts/station/references.h"

#include <array>

namespace vx {

namespace {

constexpr std::array<PageReading, 9> kReadings = {{
    {"Capacitor 1", "txtCalMeasVoltage(0)", "mV"},
    {"Capacitor 1 + 2", "txtCalMeasVoltage(1)", "mV"},
    {"Capacitor 1 + 2 + 3", "txtCalMeasVoltage(2)", "mV"},
    {"Capacitor 1 through 4", "txtCalMeasVoltage(3)", "mV"},
    {"Capacitor 1 through 5", "txtCalMeasVoltage(4)", "mV"},
    {"Stack Voltage", "txtCalMeasVoltage(5)", "mV"},
    {"System voltage", "txtMeasuredSystemVoltage", "mV"},
    {"Temperature", "txtCalMeasTemperature", "deg C"},
    {"Current", "txtCalMeasCurrent", "mA"},
}};

constexpr std::array<ReferenceBox, 9> kBoxes = {{
    {"txtVoltage(0)", "Capacitor 1", "chkVoltageCal", 0,
     "Put the meter across ground and the top of Capacitor 1", Quantity::kVoltage},
    {"txtVoltage(1)", "Capacitor 1 + 2", "chkVoltageCal", 1,
     "Put the meter across ground and the top of Capacitor 1 + 2", Quantity::kVoltage},
    {"txtVoltage(2)", "Capacitor 1 + 2 + 3", "chkVoltageCal", 2,
     "Put the meter across ground and the top of Capacitor 1 + 2 + 3", Quantity::kVoltage},
    {"txtVoltage(3)", "Capacitor 1 through 4", "chkVoltageCal", 3,
     "Put the meter across ground and the top of Capacitor 1 through 4", Quantity::kVoltage},
    {"txtVoltage(4)", "Capacitor 1 through 5", "chkVoltageCal", 4,
     "Put the meter across ground and the top of Capacitor 1 through 5", Quantity::kVoltage},
    {"txtActualSystemVoltage", "actual system voltage", "chkSystemVoltage", 6,
     "Put the meter across the system power input", Quantity::kVoltage},
    {"txtTemperature", "actual temperature", "chkTempCal", 7,
     "Put the meter's temperature probe at the device", Quantity::kTemperature},
    {"txtCurrent", "actual current", "chkCurrentCal", 8,
     "Put the meter in series with the discharge load", Quantity::kCurrent},
    {"txtBrdOffTime", "board offset time in seconds", "", -1, "", Quantity::kSeconds},
}};

}  // namespace

std::span<const PageReading> PageReadings() {
  return kReadings;
}

std::span<const ReferenceBox> ReferenceBoxes() {
  return kBoxes;
}

const ReferenceBox* BoxOf(std::string_view key) {
  for (const ReferenceBox& b : kBoxes) {
    if (b.key == key) return &b;
  }
  return nullptr;
}

const ReferenceBox* BoxLabelled(std::string_view label) {
  for (const ReferenceBox& b : kBoxes) {
    if (b.label == label) return &b;
  }
  return nullptr;
}

std::string LabelOf(std::string_view key) {
  const ReferenceBox* b = BoxOf(key);
  return std::string(b ? b->label : key);
}

std::optional<instruments::Expect> MeterExpectation(const ReferenceBox& box) {
  switch (box.quantity) {
    case Quantity::kVoltage:
      return instruments::Expect{"voltage", "DC", "V", 1000, 0, 0.5, 0.0005};
    case Quantity::kCurrent:
      return instruments::Expect{"current", "DC", "A", 1000, 0, 0.5, 0.0005};
    case Quantity::kTemperature:
      return instruments::Expect{"temperature", "", "°C", 1, 1, 0.1, 0};
    case Quantity::kSeconds:
      break;
  }
  return std::nullopt;
}

std::string PageUnit(const ReferenceBox& box) {
  switch (box.quantity) {
    case Quantity::kVoltage:
      return "mV";
    case Quantity::kCurrent:
      return "mA";
    case Quantity::kTemperature:
      return "°C";
    case Quantity::kSeconds:
      break;
  }
  return "s";
}

}  // namespace vx
