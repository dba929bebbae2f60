// A simulated device, a virtual-time platform and default settings around the engine, with a
// compact form of the transfer log for comparing traffic.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/mod_delays.h"
#include "device/numeric.h"
#include "engine/mod_calibrate_k40.h"
#include "platform/virtual_platform.h"
#include "sim/sim_device.h"
#include "traffic.h"

namespace vx::testing {

inline Settings DefaultSettings() {
  Settings s;
  ReadConfigIni(s, "800.1.02", "/nonexistent/Config.ini");
  return s;
}

// The engine on a device of type Device (the simulator, or one that overrides some answers).
template <typename Device = sim::SimDevice>
class EngineTestOn : public ::testing::Test {
 protected:
  static constexpr std::int16_t kAddr = 0x16;
  explicit EngineTestOn(sim::SimState state = sim::DefaultState(5))
      : dev(platform, std::move(state)) {}

  std::vector<std::string> Traffic() const { return testing::Traffic(dev.log()); }
  void EnterMode() {
    std::uint8_t hi = 0, lo = 0x40;
    ASSERT_EQ(dev.WriteSMBusWord(0x00, hi, lo, kAddr), 0);
    dev.ClearLog();
  }

  VirtualPlatform platform;
  Device dev;
  Settings settings = DefaultSettings();
  std::uint8_t last_mac = 0;
  EngineContext ctx{dev, platform, settings, last_mac};
};

using EngineTest = EngineTestOn<>;

}  // namespace vx::testing
