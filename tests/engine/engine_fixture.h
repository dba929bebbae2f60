// A simulated device, a virtual-time platform and default settings around the engine, with a
// compact form of the transfer log for comparing traffic.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/mod_delays.h"
#include "device/numeric.h"
#include "engine/mod_calibrate_k40.h"
#include "platform/virtual_platform.h"
#include "sim/sim_device.h"

namespace vx::testing {

inline Settings DefaultSettings() {
  Settings s;
  ReadConfigIni(s, "800.1.02", "/nonexistent/Config.ini");
  return s;
}

// "rw 50", "ww 51 C0 01", "wb 58 [..]", "cmd 72", "delay 60", "chk", with "!772" on failure.
inline std::vector<std::string> Traffic(const std::vector<sim::Transfer>& log) {
  std::vector<std::string> out;
  for (const auto& t : log) {
    char buf[32];
    std::string line;
    if (t.method == "Delay") {
      line = "delay " + std::to_string(t.ms);
    } else if (t.method == "CheckForError") {
      line = "chk";
    } else {
      static const std::pair<const char*, const char*> kNames[] = {
          {"ReadSMBusWord", "rw"},     {"ReadSMBusWord_", "rw_"}, {"WriteSMBusWord", "ww"},
          {"WriteSMBusWord_", "ww_"},  {"ReadSMBusBlock_", "rb"}, {"WriteSMBusBlock", "wb"},
          {"WriteSMBusCommand", "cmd"}};
      for (auto& [m, n] : kNames) {
        if (t.method == m) line = n;
      }
      std::snprintf(buf, sizeof buf, " %02X", t.cmd);
      line += buf;
      if (line.rfind("ww", 0) == 0) {
        for (auto b : t.bytes) {
          std::snprintf(buf, sizeof buf, " %02X", b);
          line += buf;
        }
      }
      if (t.method == "WriteSMBusBlock") line += " len" + std::to_string(t.bytes.size());
      if (t.addr == 0x17) line += " @17";
    }
    if (t.status != 0) line += " !" + std::to_string(t.status);
    out.push_back(line);
  }
  return out;
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
