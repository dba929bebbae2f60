// The page as the hosts read it around a run, in the page's own words: its labels, the count
// of capacitors it works with, its measured values, and what a user ticked and typed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "form/form_model.h"
#include "records/record.h"

namespace vx {

// The six voltage rows: "Capacitor 1" ... "Capacitor 1 through 5", "Stack Voltage".
extern const char* const kVoltageRowNames[6];

// "Capacitor 1 + 2" for "txtVoltage(1)", "actual system voltage" for "txtActualSystemVoltage".
std::string LabelOf(const std::string& key);

// Where the meter's probes go for a reference, in the page's words ("Put the meter across ground
// and the top of Capacitor 1 + 2").
std::string ProbePosition(const std::string& label);

// The series capacitor count the page works with after its set-up: 2 to 5, or nullopt when the
// device's Operation Cfg holds a count the page does not support (it has said so).
std::optional<int> ConfiguredCount(FormModel& f);

// A page text as a JSON number when it is one (whole numbers stay whole: 2050, not 2050.0),
// else null ("Err_Rd", an empty box).
records::Json Number(const std::string& text);

// The measured boxes as JSON: numbers, or null for "Err_Rd" and empty boxes.
records::Json ReadingsJson(FormModel& f);

// What a user chose for a run (by the controls' captions) and the references typed for it.
// run: calibrate, system-voltage, pack-voltage, board-offset-hardware, board-offset-software.
struct RunInputs {
  std::vector<std::string> ticked;
  std::vector<records::Reference> references;
};
RunInputs InputsFor(FormModel& f, const std::string& run);

// Each reading that was calibrated against a reference: measured after the run minus the
// reference (null when the reading failed); the stack against the top capacitor's voltage.
records::Json Residuals(const std::vector<records::Reference>& references,
                        const records::Json& readings);

}  // namespace vx
