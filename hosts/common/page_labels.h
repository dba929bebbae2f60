// The page's entry boxes as the page labels them: what the hosts say when they type into them
// or refuse a value for them.
#pragma once

#include <string>

namespace vx {

// The six voltage rows: "Capacitor 1" ... "Capacitor 1 through 5", "Stack Voltage".
extern const char* const kVoltageRowNames[6];

// "Capacitor 1 + 2" for "txtVoltage(1)", "actual system voltage" for "txtActualSystemVoltage".
std::string LabelOf(const std::string& key);

}  // namespace vx
