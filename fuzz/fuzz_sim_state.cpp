// The simulator state loader on arbitrary JSON: a state either loads or fails with a message,
// and what loads saves and loads again to the same state.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "sim/sim_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  vx::sim::SimState s;
  try {
    s = vx::sim::FromJson(text);
  } catch (const std::runtime_error&) {
    return 0;
  }
  std::string once = vx::sim::ToJson(s);
  if (vx::sim::ToJson(vx::sim::FromJson(once)) != once) __builtin_trap();
  return 0;
}
