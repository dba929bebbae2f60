#include "engine/status_codes.h"

#include <cstdlib>

#include "engine/mod_calibrate_k40.h"

namespace vx {

namespace {

struct ResultBit {
  unsigned bit;
  Status code;
};
constexpr ResultBit kResultBits[] = {{0, 5031}, {1, 5030},  {2, 5029},  {3, 5028},
                                     {4, 5027}, {5, 5026},  {6, 5025},  {7, 5024},
                                     {8, 5023}, {13, 5022}, {14, 5021}, {15, 5020}};

struct Note {
  Status code;
  const char* text;
};
constexpr Note kNotes[] = {
    {kErrNothingRequested, "none of CC offset, temperature and current calibration was asked for"},
    {kErrVoltageTooSmall,
     "an actual capacitor voltage was 1 mV or less, or the stack voltage 2 mV or less"},
    {kErrTemperatureNotAboveZero, "the actual temperature was not above 0 degrees C"},
    {kErrCurrentZero, "the actual current was 0 mA; the device needs a current flowing"},
    {kErrNoSignature,
     "the device did not show its calibration-mode signature after the entry command: check "
     "DVMAC in Config.ini"},
    {kErrDeviceStaysBusy, "the device still reported busy after two minutes"},
    {kErrNoSamples, "the board offset sampling time gives no samples"},
    {kErrResultUnknownBits, "the device rejected the calibration (result word bits 9 to 12 only)"},
};

}  // namespace

Status CalStatusToError(std::uint8_t hi, std::uint8_t lo) {
  const unsigned s = static_cast<unsigned>(hi) << 8 | lo;
  for (const ResultBit& b : kResultBits) {
    if (s & (1u << b.bit)) return b.code;
  }
  return kErrResultUnknownBits;
}

std::string StatusNote(Status s) {
  for (const Note& n : kNotes) {
    if (n.code == s) return n.text;
  }
  for (const ResultBit& b : kResultBits) {
    if (b.code == s) {
      return "the device rejected the calibration (result word bit " + std::to_string(b.bit) + ")";
    }
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
