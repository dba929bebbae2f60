// Capacitor and stack voltage gains, computed on the host and written into CalibrationData.
#include <array>

#include "device/commands.h"
#include "device/dataflash.h"
#include "device/numeric.h"
#include "device/utils.h"
#include "engine/mod_calibrate_k40.h"

namespace vx {

namespace {

// The routine reads and writes back bytes up to the stack gain (offsets 22 and 23).
constexpr std::int16_t kMinCalibrationBlock = cmd::kStackGainOffset + 2;

}  // namespace

Status CalibrateStackVoltage(EngineContext& e, const CapVoltages& v, std::int16_t addr) {
  for (std::size_t k = 0; k < 5; ++k) {
    if (v.nVoltage[k] <= 1) return kErrVoltageTooSmall;
  }
  if (v.nVoltage[5] <= 2) return kErrVoltageTooSmall;

  BlockBuffer block{};
  std::int16_t length = 32;
  // A short block would be written back with garbage or cut off: refuse it untouched.
  Status s = ReadDataFlashBlock(e.adapter, addr, cmd::kSubclassCalibrationData, block, length,
                                kMinCalibrationBlock);
  if (s != 0) return s;

  if (BlockWord(block, cmd::kGainMarkerOffset) != cmd::kGainMarker) {
    PutBlockWord(block, cmd::kGainMarkerOffset, cmd::kGainMarker);
    s = SelectSubclass(e.adapter, addr, cmd::kSubclassCalibrationData);
    if (s != 0) return s;
    s = WriteDataFlashBlock(e.adapter, addr, block, length);
    if (s != 0) return s;
    DelayMs(e.platform, 2500);
  }

  std::array<std::int16_t, 6> gainOld{};
  for (std::size_t k = 0; k < 5; ++k)
    gainOld[k] = BlockWord(block, cmd::kCellGainOffset[k]);
  gainOld[5] = BlockWord(block, cmd::kStackGainOffset);

  std::array<std::int16_t, 6> meas{};
  for (std::size_t k = 0; k < 6; ++k) {
    s = e.adapter.ReadSMBusWord_(cmd::kVoltageReadings[k], meas[k], addr);
    if (s != 0) return s;
  }

  // Everything below is computed before the block is written: a zero gain or reading, a tap sum
  // beyond 16 bits or a gain that does not fit raises a run-time failure with nothing written.
  // The taps above the configured count are neither computed nor summed: what unfitted inputs
  // report cannot overflow a sum nobody uses.
  std::array<bool, 6> computed{true, true, v.nCapCount > 2, v.nCapCount > 3, v.nCapCount > 4, true};
  std::array<std::int16_t, 6> gainNew{};
  std::int16_t tap = 0;
  for (std::size_t k = 0; k < 6; ++k) {
    if (!computed[k]) continue;
    double measured = meas[5];
    if (k < 5) {
      tap = CheckedAdd16(tap, meas[k]);
      measured = tap;
    }
    double ratio = CheckedDivide(measured, gainOld[k]);
    gainNew[k] = ToInt16(CheckedDivide(v.nVoltage[k], ratio));
  }
  for (std::size_t k = 0; k < 5; ++k) {
    if (computed[k]) PutBlockWord(block, cmd::kCellGainOffset[k], gainNew[k]);
  }
  PutBlockWord(block, cmd::kStackGainOffset, gainNew[5]);

  s = SelectSubclass(e.adapter, addr, cmd::kSubclassCalibrationData);
  DelaySeconds(e.platform, 0.002f);
  if (s != 0) return s;
  s = WriteDataFlashBlock(e.adapter, addr, block, length);
  if (s != 0) return s;
  e.adapter.Delay(120);
  return 0;
}

}  // namespace vx
