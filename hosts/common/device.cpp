#include "hosts/common/device.h"

#include <algorithm>

#include "adapters/linux_i2c_adapter.h"
#include "sim/sim_device.h"
#include "sim/sim_state.h"

namespace vx {

OpenedDevice OpenDevice(const DeviceChoice& c, Platform& platform, std::string& error) {
  OpenedDevice d;
  if (!c.use_sim) {
    d.adapter = LinuxI2cAdapter::Open(c.bus, c.address7, c.pec, platform, error);
    return d;
  }
  sim::SimState state = sim::DefaultState(5);
  if (!c.sim_state.empty()) {
    try {
      state = sim::LoadStateFile(c.sim_state);
    } catch (const std::exception& e) {
      error = e.what();
      return d;
    }
  }
  d.sim = std::make_shared<sim::SimDevice>(platform, std::move(state));
  d.adapter = d.sim;
  return d;
}

std::string LockPath(const DeviceChoice& c) {
  if (c.use_sim) return c.sim_state;
  bool number = !c.bus.empty() && std::all_of(c.bus.begin(), c.bus.end(),
                                              [](char ch) { return ch >= '0' && ch <= '9'; });
  return number ? "/dev/i2c-" + c.bus : c.bus;
}

}  // namespace vx
