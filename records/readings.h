// The page's readings and reference boxes, and what a record keeps of them: what the page
// measured, what each was calibrated against, the residual after the run and the correction the
// run applied. The store keeps the last two per reading as columns of their own, so that lists,
// exports and statistics never parse a record whole.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "records/record.h"

namespace vx::records {

// What a meter must measure for a reference (and so its unit, and the guard that checks it
// against its reading), or a setting of a run that is no reference at all.
enum class Quantity { kVoltage, kCurrent, kTemperature, kSeconds };

// One row of the page's vocabulary: a reading the page shows, the box a reference for it is
// typed into, or both. Every host, the guards, the meter flow, the records, the limits and the
// statistics read them from this one table.
struct PageRow {
  std::string_view name;         // the reading as the page names it: "Capacitor 1 + 2"; also
                                 // the name of its residual and limit ("" for a setting)
  std::string_view measured;     // the page's box that shows the reading: "txtCalMeasVoltage(1)"
  std::string_view column;       // the store's res_<column> and cor_<column>
  std::string_view box;          // the box its reference is typed into ("" for none: the stack
                                 // is calibrated against the top capacitor's reference)
  std::string_view label;        // that box as the page labels it: "actual system voltage"
  std::string_view calibration;  // the check box that asks for it: "chkVoltageCal"
  std::string_view option;       // the command line's option that gives it
  std::string_view probe;        // where a meter's probes go for it
  Quantity quantity;
  // Corrected by an offset (degrees), not by a ratio.
  constexpr bool offset() const { return quantity == Quantity::kTemperature; }
  // The unit the page shows it in: "mV", "mA", "deg C", "s".
  std::string_view unit() const;
};

inline constexpr std::array<PageRow, 10> kPageRows = {{
    {"Capacitor 1", "txtCalMeasVoltage(0)", "cap1", "txtVoltage(0)", "Capacitor 1", "chkVoltageCal",
     "--voltages", "Put the meter across ground and the top of Capacitor 1", Quantity::kVoltage},
    {"Capacitor 1 + 2", "txtCalMeasVoltage(1)", "cap2", "txtVoltage(1)", "Capacitor 1 + 2",
     "chkVoltageCal", "--voltages", "Put the meter across ground and the top of Capacitor 1 + 2",
     Quantity::kVoltage},
    {"Capacitor 1 + 2 + 3", "txtCalMeasVoltage(2)", "cap3", "txtVoltage(2)", "Capacitor 1 + 2 + 3",
     "chkVoltageCal", "--voltages",
     "Put the meter across ground and the top of Capacitor 1 + 2 + 3", Quantity::kVoltage},
    {"Capacitor 1 through 4", "txtCalMeasVoltage(3)", "cap4", "txtVoltage(3)",
     "Capacitor 1 through 4", "chkVoltageCal", "--voltages",
     "Put the meter across ground and the top of Capacitor 1 through 4", Quantity::kVoltage},
    {"Capacitor 1 through 5", "txtCalMeasVoltage(4)", "cap5", "txtVoltage(4)",
     "Capacitor 1 through 5", "chkVoltageCal", "--voltages",
     "Put the meter across ground and the top of Capacitor 1 through 5", Quantity::kVoltage},
    {"Stack Voltage", "txtCalMeasVoltage(5)", "stack", "", "", "chkVoltageCal", "", "",
     Quantity::kVoltage},
    {"System voltage", "txtMeasuredSystemVoltage", "system", "txtActualSystemVoltage",
     "actual system voltage", "chkSystemVoltage", "--system-voltage",
     "Put the meter across the system power input", Quantity::kVoltage},
    {"Temperature", "txtCalMeasTemperature", "temp", "txtTemperature", "actual temperature",
     "chkTempCal", "--temperature", "Put the meter's temperature probe at the device",
     Quantity::kTemperature},
    {"Current", "txtCalMeasCurrent", "current", "txtCurrent", "actual current", "chkCurrentCal",
     "--current", "Put the meter in series with the discharge load", Quantity::kCurrent},
    {"", "", "", "txtBrdOffTime", "board offset time in seconds", "", "--seconds", "",
     Quantity::kSeconds},
}};

// The rows that are readings (all but the settings), in the page's order: what a record keeps
// a residual and a correction of.
inline constexpr std::span<const PageRow, 9> kReadings{kPageRows.data(), 9};
inline constexpr int kStackReading = 5;

// A reading's place in kReadings; -1 for a row that is no reading.
int IndexOf(const PageRow& row);
// The row of a reference box ("txtVoltage(1)") or of its label; nullptr for none.
const PageRow* RowOfBox(std::string_view key);
const PageRow* RowLabelled(std::string_view label);
// The rows whose reference box a user types into, in the order of the page (the capacitor rows
// first: their number is the configured count).
std::vector<const PageRow*> ReferenceRows();

// A page text as a JSON number when it is one (whole numbers stay whole: 2050, not 2050.0),
// else null ("Err_Rd", an empty box).
Json Number(const std::string& text);

// Reading i of kReadings in the readings a record holds ({"capacitors_mV": [6], "system_mV",
// "temperature_C", "current_mA"}); null when absent.
Json ReadingIn(const Json& readings, int i);

// Each reading calibrated against a reference, by name: measured after the run minus the
// reference, to a thousandth (null when the reading failed); the stack against the top
// capacitor's reference.
Json Residuals(const std::vector<Reference>& references, const Json& readings_after);

// Each reading calibrated against a reference, by name: the correction the run was asked to
// apply, the reference against the reading before it. A ratio (reference / reading) to six
// decimals for voltages and current, an offset in degrees (reference - reading) to a thousandth
// for temperature; null when the reading failed or the ratio has no meaning (a reading of 0).
Json Corrections(const std::vector<Reference>& references, const Json& readings_before);

// The meter the references were measured with ("vendor model serial"), "" when typed.
std::string MeterOf(const std::vector<Reference>& references);

// A record's values per reading, in kReadings order, as a store keeps them.
using PerReading = std::array<std::optional<double>, kReadings.size()>;
PerReading ByReading(const Json& values);

}  // namespace vx::records
