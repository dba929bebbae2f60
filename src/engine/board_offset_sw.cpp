// The software board offset: the host samples the device's offset register in two phases and
// writes the difference into CalibrationData.
#include <cstdint>

#include "device/commands.h"
#include "device/dataflash.h"
#include "device/numeric.h"
#include "device/utils.h"
#include "engine/mod_calibrate_k40.h"

namespace vx {

namespace {

constexpr std::int16_t kBlockWriteLength = 27;

std::chrono::milliseconds Ms(double ms) {
  return std::chrono::milliseconds(static_cast<std::int64_t>(RoundHalfEven(ms)));
}

// Sums count samples of register 0x8042; a non-zero Delay status ends the phase.
Status SamplePhase(EngineContext& e, std::int16_t count, std::int16_t period, std::int32_t& sum) {
  for (int i = 0; i < count; ++i) {
    Status s = e.adapter.Delay(period);
    if (s != 0) return s;
    e.platform.Sleep(std::chrono::milliseconds(period));
    std::int16_t sample = 0;
    s = WriteWordReadWord(e.adapter, cmd::kRegisterAddress, cmd::kRegAddress, cmd::kRegSample,
                          cmd::kRegRead, sample);
    if (s != 0) return s;
    sum += sample;
  }
  return 0;
}

Status SetControlRegister(EngineContext& e, std::int16_t value) {
  return WriteWordPair(e.adapter, cmd::kRegisterAddress, cmd::kRegAddress, cmd::kRegControl,
                       cmd::kRegWrite, value);
}

// After the control register may have been set to 3, a failure puts it back to 2 (best effort)
// and returns the first failure's status.
Status Restore(EngineContext& e, Status failure) {
  SetControlRegister(e, 2);
  return failure;
}

}  // namespace

Status CalibrateBoardOffsetSW(EngineContext& e, std::int16_t count, std::int16_t period,
                              std::int16_t word71, std::int16_t addr) {
  if (count <= 0) return kErrNoSamples;  // nothing to average: no traffic, nothing written

  Status s = e.adapter.WriteSMBusWord(cmd::kFetControl, 0, 0, addr);
  if (s != 0) return s;
  e.adapter.Delay(period);
  e.platform.Sleep(std::chrono::milliseconds(period));
  e.adapter.Delay(5 * static_cast<std::int32_t>(period));
  e.platform.Sleep(Ms(period * 7.5));

  std::int32_t sum1 = 0, sum2 = 0;
  s = SamplePhase(e, count, period, sum1);
  if (s != 0) return s;
  s = SetControlRegister(e, 3);
  if (s != 0) return Restore(e, s);
  try {
    e.adapter.Delay(period);
    e.platform.Sleep(Ms(period * 1.5));
    s = SamplePhase(e, count, period, sum2);
  } catch (...) {  // the host interrupted the run: the register goes back all the same
    Restore(e, 0);
    throw;
  }
  if (s != 0) return Restore(e, s);
  s = SetControlRegister(e, 2);
  if (s != 0) return s;

  // 64-bit so that no count of 16-bit samples can overflow; a value beyond 16 bits is a
  // run-time failure raised before anything is written.
  std::int64_t offset = (static_cast<std::int64_t>(sum1) - sum2) * 64 / count;
  std::int16_t value = ToInt16(static_cast<double>(offset) + word71 * 38.4 / 9419);

  BlockBuffer block{};
  std::int16_t length = 0;
  Status r = ReadDataFlashBlock(e.adapter, addr, cmd::kSubclassCalibrationData, block, length,
                                kBlockWriteLength);
  PutBlockWord(block, cmd::kStackGainOffset, value);
  if (r == 0) r = e.adapter.WriteSMBusBlock(cmd::kDFBlock, block, kBlockWriteLength, addr);
  e.adapter.Delay(200);
  return r;
}

}  // namespace vx
