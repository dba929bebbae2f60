#include "hosts/common/page_labels.h"

namespace vx {

const char* const kVoltageRowNames[6] = {"Capacitor 1",           "Capacitor 1 + 2",
                                         "Capacitor 1 + 2 + 3",   "Capacitor 1 through 4",
                                         "Capacitor 1 through 5", "Stack Voltage"};

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

}  // namespace vx
