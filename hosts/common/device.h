// The device a host works on: the simulator (built in, or from a state file) or a Linux SMBus,
// and what the hosts lock while they use it.
#pragma once

#include <memory>
#include <string>

#include "device/smbus_adapter.h"
#include "platform/platform.h"

namespace vx {

namespace sim {
class SimDevice;
}

struct DeviceChoice {
  bool use_sim = true;
  std::string sim_state;  // empty: the built-in device
  std::string bus;        // /dev/i2c-N or N
  int address7 = 0x0B;
  bool pec = false;
};

struct OpenedDevice {
  std::shared_ptr<SMBusAdapter> adapter;
  std::shared_ptr<sim::SimDevice> sim;  // when it is the simulator
};

// Opens the device; on failure adapter is null and error says why.
OpenedDevice OpenDevice(const DeviceChoice& c, Platform& platform, std::string& error);

// What a run locks so that no other program interleaves with it: the bus node, or the state
// file the simulator came from; empty when nothing is shared (the built-in simulator).
std::string LockPath(const DeviceChoice& c);

}  // namespace vx
