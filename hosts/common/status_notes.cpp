#include "hosts/common/status_notes.h"

#include <cstdlib>

namespace vx {

std::string StatusNote(Status s) {
  switch (s) {
    case 5001:
      return "none of CC offset, temperature and current calibration was asked for";
    case 5002:
      return "an actual capacitor voltage was 1 mV or less, or the stack voltage 2 mV or less";
    case 5003:
      return "the actual temperature was not above 0 degrees C";
    case 5004:
      return "the actual current was 0 mA; the device needs a current flowing";
    case 5010:
      return "the device did not show its calibration-mode signature after the entry command: "
             "check DVMAC in Config.ini";
    case 5011:
      return "the device still reported busy after two minutes";
    case 5012:
      return "the board offset sampling time gives no samples";
    case 5039:
      return "the device rejected the calibration (result word bits 9 to 12 only)";
    default:
      break;
  }
  // 5031 down to 5020: the lowest bit set in the device's result word.
  static constexpr int kBits[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 13, 14, 15};
  if (s >= 5020 && s <= 5031) {
    return "the device rejected the calibration (result word bit " +
           std::to_string(kBits[5031 - s]) + ")";
  }
  return "";
}

std::string NoteForMessage(const std::string& message) {
  static const std::string kPrefix = "Error Code (decimal) ";
  auto at = message.rfind(kPrefix);
  if (at == std::string::npos) return "";
  return StatusNote(std::atoi(message.c_str() + at + kPrefix.size()));
}

}  // namespace vx
