#include "hosts/station/references.h"

#include <array>

namespace vx {

namespace {

// The names come from the records, which keep a residual and a correction per reading.
constexpr auto& kRecorded = records::kReadings;
constexpr std::array<PageReading, 9> kReadings = {{
    {kRecorded[0].name, "txtCalMeasVoltage(0)", "mV"},
    {kRecorded[1].name, "txtCalMeasVoltage(1)", "mV"},
    {kRecorded[2].name, "txtCalMeasVoltage(2)", "mV"},
    {kRecorded[3].name, "txtCalMeasVoltage(3)", "mV"},
    {kRecorded[4].name, "txtCalMeasVoltage(4)", "mV"},
    {kRecorded[5].name, "txtCalMeasVoltage(5)", "mV"},
    {kRecorded[6].name, "txtMeasuredSystemVoltage", "mV"},
    {kRecorded[7].name, "txtCalMeasTemperature", "deg C"},
    {kRecorded[8].name, "txtCalMeasCurrent", "mA"},
}};

constexpr std::array<ReferenceBox, 9> kBoxes = {{
    {"txtVoltage(0)", kRecorded[0].reference, "chkVoltageCal", 0,
     "Put the meter across ground and the top of Capacitor 1", Quantity::kVoltage},
    {"txtVoltage(1)", kRecorded[1].reference, "chkVoltageCal", 1,
     "Put the meter across ground and the top of Capacitor 1 + 2", Quantity::kVoltage},
    {"txtVoltage(2)", kRecorded[2].reference, "chkVoltageCal", 2,
     "Put the meter across ground and the top of Capacitor 1 + 2 + 3", Quantity::kVoltage},
    {"txtVoltage(3)", kRecorded[3].reference, "chkVoltageCal", 3,
     "Put the meter across ground and the top of Capacitor 1 through 4", Quantity::kVoltage},
    {"txtVoltage(4)", kRecorded[4].reference, "chkVoltageCal", 4,
     "Put the meter across ground and the top of Capacitor 1 through 5", Quantity::kVoltage},
    {"txtActualSystemVoltage", kRecorded[6].reference, "chkSystemVoltage", 6,
     "Put the meter across the system power input", Quantity::kVoltage},
    {"txtTemperature", kRecorded[7].reference, "chkTempCal", 7,
     "Put the meter's temperature probe at the device", Quantity::kTemperature},
    {"txtCurrent", kRecorded[8].reference, "chkCurrentCal", 8,
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
