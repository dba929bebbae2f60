// Pass/fail limits of a production line: the largest residual each reading may keep after a
// calibration. A unit outside them has failed, even though the run itself was done.
#pragma once

#include <map>
#include <string>

#include "records/record.h"

namespace vx {

struct Limits {
  std::string file;
  std::map<std::string, double> max_residual;  // by reading: "Capacitor 1", "Temperature"
};

// A JSON object of readings and their largest allowed residual:
// {"Capacitor 1": 2, "Stack Voltage": 5, "System voltage": 3, "Temperature": 0.3, "Current": 3}.
// Throws std::invalid_argument naming what is wrong.
Limits LoadLimits(const std::string& path);

// {"file", "passed", "checks": [{"reading", "residual", "limit", "passed"}]} for the readings
// the run calibrated; a reading that could not be read fails its check.
records::Json Judge(const Limits& limits, const records::Json& residuals);

}  // namespace vx
