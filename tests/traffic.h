// A compact form of the simulator's transfer log, for comparing traffic.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "sim/sim_device.h"

namespace vx::testing {

// Whether the device was written to, apart from the subclass selects that reads need.
inline bool Writes(const sim::SimDevice& d) {
  for (const auto& t : d.log()) {
    if (IsWrite(t.method) && t.cmd != 0x77) return true;
  }
  return false;
}

// "rw 50", "ww 51 C0 01", "wb 58 [..]", "cmd 72", "delay 60", "chk", with "!772" on failure.
inline std::vector<std::string> Traffic(const std::vector<sim::Transfer>& log) {
  std::vector<std::string> out;
  for (const auto& t : log) {
    char buf[32];
    std::string line;
    if (t.method == AdapterMethod::kDelay) {
      line = "delay " + std::to_string(t.ms);
    } else if (t.method == AdapterMethod::kCheckForError) {
      line = "chk";
    } else {
      // By AdapterMethod, in its order.
      static const char* const kNames[] = {"rw", "rw_", "ww", "ww_", "rb", "wb", "cmd"};
      line = kNames[static_cast<int>(t.method)];
      std::snprintf(buf, sizeof buf, " %02X", t.cmd);
      line += buf;
      if (line.rfind("ww", 0) == 0) {
        for (auto b : t.bytes) {
          std::snprintf(buf, sizeof buf, " %02X", b);
          line += buf;
        }
      }
      if (t.method == AdapterMethod::kWriteSMBusBlock)
        line += " len" + std::to_string(t.bytes.size());
      if (t.addr == 0x17) line += " @17";
    }
    if (t.status != 0) line += " !" + std::to_string(t.status);
    out.push_back(line);
  }
  return out;
}

}  // namespace vx::testing
