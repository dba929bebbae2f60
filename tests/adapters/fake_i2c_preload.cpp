// The fake i2c-dev node as a preload library for whole-program tests of the command line:
// FAKE_I2C_NODE names the node (/dev/i2c-N), FAKE_I2C_STATE a simulator state to load, and
// FAKE_I2C_SAVE where the device's state is written when the program ends.
#include <cstdlib>
#include <memory>

#include "fake_i2c_bus.h"
#include "platform/console_platform.h"
#include "sim/sim_device.h"
#include "sim/sim_state.h"

namespace {

struct Preloaded {
  vx::ConsolePlatform platform;
  std::shared_ptr<vx::sim::SimDevice> device;
  vx::testing::FakeI2cNode node;
  std::string save;

  Preloaded() {
    const char* path = std::getenv("FAKE_I2C_NODE");
    if (!path) return;
    const char* state = std::getenv("FAKE_I2C_STATE");
    device = std::make_shared<vx::sim::SimDevice>(
        platform, state ? vx::sim::LoadStateFile(state) : vx::sim::DefaultState(5));
    node.device = device;
    if (const char* s = std::getenv("FAKE_I2C_SAVE")) save = s;
    vx::testing::InstallFakeI2c(path, &node);
  }
  ~Preloaded() {
    if (device && !save.empty()) vx::sim::SaveStateFile(device->state(), save);
  }
};

Preloaded g_preloaded;

}  // namespace
