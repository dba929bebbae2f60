// modCalibrateK40: the device's calibration mode protocol and the calibration routines.
// Every routine takes the adapter, the target address, the settings and the platform through
// an EngineContext and returns a status; it never touches the page.
#pragma once

#include <cstdint>

#include "config/mod_delays.h"
#include "device/smbus_adapter.h"
#include "engine/cal_request.h"
#include "platform/platform.h"

namespace vx {

// The engine's own status codes.
inline constexpr Status kErrNothingRequested = 5001;
inline constexpr Status kErrVoltageTooSmall = 5002;
inline constexpr Status kErrTemperatureNotAboveZero = 5003;
inline constexpr Status kErrCurrentZero = 5004;
inline constexpr Status kErrNoSignature = 5010;
// The device still reported busy after kMaxBusyPolls polls.
inline constexpr Status kErrDeviceStaysBusy = 5011;
// The software board offset was asked for with no samples (count 0 or less).
inline constexpr Status kErrNoSamples = 5012;
inline constexpr Status kErrResultUnknownBits = 5039;

// 480 polls of 250 ms: two minutes, well above the longest calibration the device runs (the
// hardware board offset, which the page announces as "at least 35 seconds").
inline constexpr int kMaxBusyPolls = 480;

struct EngineContext {
  SMBusAdapter& adapter;
  Platform& platform;
  const Settings& settings;
  // The module state: the manufacturer-access code EnterCalibrationMode last received.
  std::uint8_t& last_mac_code;
};

Status EnterCalibrationMode(EngineContext& e, std::int16_t macCode, std::int16_t addr);
// left: set once the device has been left (the exit command sent, or no signature found), so
// that a stop in the wait after it does not send the exit again.
Status ExitCalibrationMode(EngineContext& e, std::int16_t addr, bool* left = nullptr);
// hi is the request word's high byte; it is updated in place (OR 0xC0).
Status RunCalibration(EngineContext& e, std::uint8_t& hi, std::uint8_t lo, std::int16_t addr);
Status SetFetControl(EngineContext& e, bool on, std::int16_t addr);

Status CalibrateDevice(EngineContext& e, const CalRequest& request, std::int16_t addr);
Status CalibratePackVoltage(EngineContext& e, std::int16_t addr);
Status CalibrateBoardOffset(EngineContext& e, std::int16_t addr);
Status CalibrateStackVoltage(EngineContext& e, const CapVoltages& voltages, std::int16_t addr);
Status CalibrateBoardOffsetSW(EngineContext& e, std::int16_t count, std::int16_t period,
                              std::int16_t word71, std::int16_t addr);

// The run-time failures CalibrateDevice would raise for this request (a temperature or a
// capacitor count that does not fit the parameter block), raised without touching the device,
// so that a caller can check before it enters calibration mode.
void CheckCalRequest(const CalRequest& request);

}  // namespace vx
