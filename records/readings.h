// The readings a record speaks of: what the page measured, what each was calibrated against,
// the residual after the run and the correction the run applied. The store keeps the last two
// per reading as columns of their own, so that lists, exports and statistics never parse a
// record whole.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/record.h"

namespace vx::records {

struct RecordedReading {
  std::string_view name;       // as the page names it: "Capacitor 1 + 2", "System voltage"
  std::string_view column;     // the store's res_<column> and cor_<column>
  std::string_view reference;  // the label of the reference it is calibrated against; the stack
                               // has none of its own (the top capacitor's)
  bool offset;                 // corrected by an offset (degrees), not by a ratio
};

inline constexpr int kStackReading = 5;
inline constexpr std::array<RecordedReading, 9> kReadings = {{
    {"Capacitor 1", "cap1", "Capacitor 1", false},
    {"Capacitor 1 + 2", "cap2", "Capacitor 1 + 2", false},
    {"Capacitor 1 + 2 + 3", "cap3", "Capacitor 1 + 2 + 3", false},
    {"Capacitor 1 through 4", "cap4", "Capacitor 1 through 4", false},
    {"Capacitor 1 through 5", "cap5", "Capacitor 1 through 5", false},
    {"Stack Voltage", "stack", "", false},
    {"System voltage", "system", "actual system voltage", false},
    {"Temperature", "temp", "actual temperature", true},
    {"Current", "current", "actual current", false},
}};

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
