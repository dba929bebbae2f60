#include "control/scan.h"

#include <string>

#include "device/commands.h"
#include "device/numeric.h"

namespace vx {

namespace {

void ScanBody(FormModel& f, SMBusAdapter* a, std::int16_t addr) {
  if (!a) throw RunTimeError("Object variable not set");
  std::int16_t readings[6] = {};
  std::int16_t system = 0;
  // One failing read among the seven marks all seven boxes. Failures are counted rather than
  // summed so that statuses of opposite sign cannot cancel out.
  int failures = 0;
  for (std::size_t k = 0; k < 6; ++k)
    failures += a->ReadSMBusWord_(cmd::kVoltageReadings[k], readings[k], addr) != 0;
  failures += a->ReadSMBusWord_(cmd::kSystemVoltage, system, addr) != 0;
  if (failures != 0) {
    for (int k = 0; k < 6; ++k)
      f.At("txtCalMeasVoltage", k).SetText(kErrRd);
    f.At("txtMeasuredSystemVoltage").SetText(kErrRd);
  } else {
    std::int16_t sum = 0;
    for (int k = 0; k < 5; ++k) {
      sum = CheckedAdd16(sum, readings[k]);
      f.At("txtCalMeasVoltage", k).SetText(std::to_string(sum));
    }
    f.At("txtCalMeasVoltage", 5).SetText(std::to_string(readings[5]));
    f.At("txtMeasuredSystemVoltage").SetText(std::to_string(system));
  }

  std::uint8_t hi = 0, lo = 0;
  Status s = a->ReadSMBusWord(cmd::kTemperature, hi, lo, addr);
  int word = hi * 256 + lo;
  if (word > 32767) throw RunTimeError("Overflow");  // beyond the 16-bit arithmetic
  int t = word - 2732;
  Control& temp = f.At("txtCalMeasTemperature");
  temp.SetText(FormatDouble(t * 0.1));
  if (s != 0) temp.SetText(kErrRd);

  hi = lo = 0;
  s = a->ReadSMBusWord(cmd::kCurrent, hi, lo, addr);
  int current = (hi & 0x80) ? (hi & 0x7F) * 256 + lo - 32768 : hi * 256 + lo;
  Control& cur = f.At("txtCalMeasCurrent");
  cur.SetText(std::to_string(current));
  if (s != 0) cur.SetText(kErrRd);
}

}  // namespace

void ScanTick(FormModel& form, SMBusAdapter* adapter, std::int16_t addr) noexcept {
  try {
    ScanBody(form, adapter, addr);
  } catch (...) {
    // The scan's trap is silent: the next tick tries again.
  }
}

}  // namespace vx
