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

// With FAKE_I2C_VIRTUAL_TIME set, the monotonic clock is virtual and sleeping advances it at
// once, so that a whole calibration through the fake bus takes no real time.
#include <dlfcn.h>
#include <time.h>

#include <atomic>

namespace {

std::atomic<long long> g_virtual_ns{1'000'000'000};

bool VirtualTime() {
  static const bool on = std::getenv("FAKE_I2C_VIRTUAL_TIME") != nullptr;
  return on;
}

long long ToNs(const timespec& t) {
  return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
}

void Advance(const timespec* req) {
  if (req && ToNs(*req) > 0) g_virtual_ns += ToNs(*req);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int clock_gettime(clockid_t id, timespec* tp) {
  if (VirtualTime() && id == CLOCK_MONOTONIC) {
    long long ns = g_virtual_ns;
    tp->tv_sec = ns / 1'000'000'000LL;
    tp->tv_nsec = ns % 1'000'000'000LL;
    return 0;
  }
  using Fn = int (*)(clockid_t, timespec*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "clock_gettime"));
  return real(id, tp);
}

extern "C" __attribute__((visibility("default"))) int nanosleep(const timespec* req,
                                                                timespec* rem) {
  if (VirtualTime()) {
    Advance(req);
    if (rem) *rem = {0, 0};
    return 0;
  }
  using Fn = int (*)(const timespec*, timespec*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "nanosleep"));
  return real(req, rem);
}

extern "C" __attribute__((visibility("default"))) int clock_nanosleep(clockid_t id, int flags,
                                                                      const timespec* req,
                                                                      timespec* rem) {
  if (VirtualTime() && id == CLOCK_MONOTONIC) {
    if (flags & TIMER_ABSTIME) {
      if (req && ToNs(*req) > g_virtual_ns) g_virtual_ns = ToNs(*req);
    } else {
      Advance(req);
    }
    return 0;
  }
  using Fn = int (*)(clockid_t, int, const timespec*, timespec*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "clock_nanosleep"));
  return real(id, flags, req, rem);
}
