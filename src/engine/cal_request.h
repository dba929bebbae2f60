// The two records a calibrate-device run hands the engine. Booleans are 16-bit, true = -1.
#pragma once

#include <array>
#include <cstdint>

namespace vx {

using VBool = std::int16_t;
inline constexpr VBool kVTrue = -1;
inline constexpr VBool kVFalse = 0;
inline constexpr VBool ToVBool(bool b) {
  return b ? kVTrue : kVFalse;
}

struct CalRequest {
  VBool bCCOffset = 0;
  VBool bStackVoltage = 0;
  VBool bTemperature = 0;
  VBool bCurrent = 0;
  VBool bVFetOn = 0;
  std::int16_t nCapCount = 0;
  float sngTemperature = 0;  // degrees C
  VBool bIntSensor = 0;
  VBool bExtSensor1 = 0;
  VBool bExtSensor2 = 0;
  std::int16_t nCurrent = 0;  // mA, discharge negative
  VBool bChargeFetOn = 0;
  VBool bSystemVoltage = 0;
};

struct CapVoltages {
  // Cumulative actual voltages in mV: top of capacitor 1..5, then the stack.
  std::array<std::int16_t, 6> nVoltage{};
  std::int16_t nCapCount = 0;
};

}  // namespace vx
