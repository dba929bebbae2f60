// The page's readings and reference boxes as one table: for each box the user types a
// reference into, the label the page shows, the calibration that asks for it, the reading it
// corrects, where a meter's probes go, and what the meter must measure. The command line's
// options, the meter flow, the desktop's assistant, the records and the limits all read it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "instruments/reading.h"
#include "records/readings.h"

namespace vx {

// A reading the page shows beside its boxes, by the name a user reads it under.
struct PageReading {
  std::string_view name;      // "Capacitor 1 + 2", "System voltage"
  std::string_view measured;  // the page's box: "txtCalMeasVoltage(1)"
  std::string_view unit;      // "mV", "deg C", "mA"
};

enum class Quantity { kVoltage, kCurrent, kTemperature, kSeconds };

// A box the user types a reference (or a setting of a run) into.
struct ReferenceBox {
  std::string_view key;          // "txtVoltage(1)"
  std::string_view label;        // as the page names it: "Capacitor 1 + 2"
  std::string_view calibration;  // the check box that asks for it: "chkVoltageCal"
  int reading;                   // the reading it corrects (PageReadings()), -1 for none
  std::string_view probe;        // where the meter goes
  Quantity quantity;
};

// Capacitor 1 ... Capacitor 1 through 5, Stack Voltage, System voltage, Temperature, Current:
// also the names of residuals and limits.
std::span<const PageReading> PageReadings();
using records::kStackReading;

// The capacitor rows in order (their number is the configured count), then the actual system
// voltage, temperature and current, then the software board offset's time.
std::span<const ReferenceBox> ReferenceBoxes();
const ReferenceBox* BoxOf(std::string_view key);
const ReferenceBox* BoxLabelled(std::string_view label);
// The box's label as the page shows it, or the key for a control that is no reference box.
std::string LabelOf(std::string_view key);
// What a meter must measure for the box and how its reading becomes the page's number:
// voltages in mV from DC volts (0.5 mV or 0.05 %), current in mA from DC amperes, temperature
// in degrees C to a tenth (0.1 degree); nullopt for a box no meter gives.
std::optional<instruments::Expect> MeterExpectation(const ReferenceBox& box);
// "mV", "mA", "°C": the unit a meter's reference is recorded in.
std::string PageUnit(const ReferenceBox& box);

}  // namespace vx
