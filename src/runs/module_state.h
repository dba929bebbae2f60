// The plug-in's module-level state: once per user-interface thread, shared by every control on
// it. The control writes it; the runs and the engine read it through the page host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/mod_delays.h"
#include "device/smbus_adapter.h"

namespace vx {

struct ModuleState {
  // The adapter object taken from the container's "Parent" at the most recent show.
  std::shared_ptr<SMBusAdapter> adapter;
  Settings settings;
  std::uint8_t last_mac_code = 0;  // the engine's one byte of state
  // Where Config.ini is read from; empty means the folder of the plug-in's own module.
  std::string config_folder;
};

}  // namespace vx
