// Calibrations the device measures itself in calibration mode: CC offset, temperature and
// current in one request, the pack voltage, and the hardware board offset.
#include <array>

#include "device/commands.h"
#include "device/numeric.h"
#include "device/utils.h"
#include "engine/mod_calibrate_k40.h"

namespace vx {

namespace {

// The temperature in 0.1 K with 273.2 K for 0 degrees C, in the device's single precision.
std::int16_t TemperatureWord(float celsius) {
  float t = celsius * 10.0f + 2732.0f;
  return ToInt16(static_cast<double>(t));
}

}  // namespace

void CheckCalRequest(const CalRequest& r) {
  if (r.bTemperature != 0 && r.sngTemperature > 0.0f) TemperatureWord(r.sngTemperature);
  if (r.bTemperature != 0 || r.bCurrent != 0) ToByte(r.nCapCount);
}

Status CalibrateDevice(EngineContext& e, const CalRequest& r, std::int16_t addr) {
  std::uint8_t calType = 0;
  std::uint8_t hi = 0;
  if (r.bCCOffset != 0) {
    calType = cmd::kReqCcOffset;
  } else if (r.bTemperature == 0 && r.bCurrent == 0) {
    return kErrNothingRequested;
  }
  std::array<std::uint8_t, 9> params{};
  if (r.bTemperature != 0) {
    if (!(r.sngTemperature > 0.0f)) return kErrTemperatureNotAboveZero;
    std::int16_t t = TemperatureWord(r.sngTemperature);
    params[4] = static_cast<std::uint8_t>(t & 0xFF);
    params[5] = static_cast<std::uint8_t>((t & 0xFF00) / 256);
    if (r.bExtSensor1 != 0) calType |= cmd::kReqTemperature | cmd::kReqExt1Sensor;
    if (r.bExtSensor2 != 0) calType |= cmd::kReqTemperature | cmd::kReqExt2Sensor;
    if (r.bIntSensor != 0) calType |= cmd::kReqTemperature | cmd::kReqIntSensor;
  }
  if (r.bCurrent != 0) {
    if (r.nCurrent == 0) return kErrCurrentZero;
    SplitWord(r.nCurrent, params[1], params[0]);
    calType |= cmd::kReqCurrent;
  }
  if (r.bTemperature != 0 || r.bCurrent != 0) {
    params[6] = ToByte(r.nCapCount);
    Status s = e.adapter.WriteSMBusBlock(cmd::kCalParams, params, 7, addr);
    if (s != 0) return s;
    DelaySeconds(e.platform, 1.0f);
  }
  if (r.bCurrent != 0) {
    if (r.bChargeFetOn != 0) {
      SetFetControl(e, true, addr);  // its status is not looked at
    } else {
      Status s = SetFetControl(e, false, addr);
      if (s != 0) return s;
    }
  }
  return RunCalibration(e, hi, calType, addr);
}

Status CalibratePackVoltage(EngineContext& e, std::int16_t addr) {
  SetFetControl(e, true, addr);  // its status is not looked at; the FETs stay on
  std::uint8_t hi = cmd::kReqPackVoltage >> 8;
  return RunCalibration(e, hi, 0x00, addr);
}

Status CalibrateBoardOffset(EngineContext& e, std::int16_t addr) {
  Status s = e.adapter.WriteSMBusWord_(cmd::kBrdOffParamB, 17000, addr);
  if (s != 0) return s;
  s = e.adapter.WriteSMBusWord_(cmd::kBrdOffParamA, 17000, addr);
  if (s != 0) return s;
  const std::array<std::uint8_t, 9> params{0, 0, 0, 0, 0, 0, 4, 0, 0};
  s = e.adapter.WriteSMBusBlock(cmd::kCalParams, params, 7, addr);
  if (s != 0) return s;
  std::uint8_t hi = 0x00;
  Status r = RunCalibration(e, hi, cmd::kReqBoardOffset, addr);
  if (r == 5024) r = 0;  // the device flags a finished board offset with result bit 7
  if (r != 0) return r;
  r = e.adapter.WriteSMBusCommand(cmd::kCalStore, addr);
  e.platform.Sleep(std::chrono::milliseconds(400));
  return r;
}

}  // namespace vx
