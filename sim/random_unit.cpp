#include "sim/random_unit.h"

#include <cmath>

#include "device/commands.h"
#include "device/dataflash.h"
#include "sim/random.h"

namespace vx::sim {

SimState RandomUnit(std::uint64_t seed, int capacitors) {
  Random rnd(seed, 0x5EED);
  SimState s = DefaultState(capacitors);
  double stack = 0;
  for (std::size_t k = 0; k < s.truth.cell_mV.size(); ++k) {
    if (static_cast<int>(k) >= capacitors) break;
    s.truth.cell_mV[k] = std::round((2050 + rnd.Normal(15)) * 10) / 10;
    stack += s.truth.cell_mV[k];
  }
  s.truth.system_mV = std::round(stack + 1800 + rnd.Normal(20));
  s.truth.temperature_C = std::round((25 + rnd.Normal(2)) * 10) / 10;
  s.truth.current_mA = std::round(-500 + rnd.Normal(10));
  // Gains a fresh unit leaves the factory with, about 1 % off, and its sensors' errors.
  DataFlashBlock& cal = s.dataflash[cmd::kSubclassCalibrationData];
  auto gain = [&](int nominal) {
    return static_cast<std::int16_t>(std::lround(nominal * (1 + rnd.Normal(0.01))));
  };
  for (int k = 0; k < 5; ++k)
    PutBlockWord(cal, cmd::kCellGainOffset[k], gain(s.nominal.cell));
  PutBlockWord(cal, cmd::kGainMarkerOffset, 0);
  PutBlockWord(cal, cmd::kSystemGainOffset, gain(s.nominal.system));
  PutBlockWord(cal, cmd::kStackGainOffset, gain(s.nominal.stack));
  for (double& e : s.cal.temp_error_dK)
    e = std::round(rnd.Normal(15));
  s.cal.current_sense_error = 1 + rnd.Normal(0.01);
  s.cal.cc_offset_raw_mA = std::round(rnd.Normal(2));
  s.cal.board_offset_raw_mA = std::round(rnd.Normal(2));
  s.cal.pack_sense_error = 1 + rnd.Normal(0.01);
  return s;
}

}  // namespace vx::sim
