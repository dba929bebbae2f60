// The meter's driver lives in a module of its own (libvx58420_meter.so), loaded the first time a
// meter is opened: libsigrok and the thirty libraries it brings cost every other command its
// start-up otherwise. The module is never unloaded: a meter left behind still runs in it.
#include <dlfcn.h>

#include <atomic>
#include <filesystem>

#include "instruments/meter.h"
#include "platform/outside_wait.h"
#include "platform/program_folder.h"

namespace vx::instruments {

namespace {

using OpenFn = Meter* (*)(const std::string&, long long, OutsideWait&, std::string&) noexcept;
using LeftBehindFn = int (*)() noexcept;

constexpr const char* kModule = "libvx58420_meter.so";

std::atomic<LeftBehindFn> g_left_behind{nullptr};

// Beside the program when it is installed, else where the build put it.
std::string ModulePath() {
  const auto folder = ProgramFolder();
  std::error_code ec;
  if (!folder.empty() && std::filesystem::exists(folder / kModule, ec)) {
    return (folder / kModule).string();
  }
  return VX_METER_MODULE;
}

struct Module {
  OpenFn open = nullptr;
  std::string error;
};

Module Load() {
  Module m;
  const std::string path = ModulePath();
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* why = dlerror();
    m.error = "the meter driver cannot be loaded: " + std::string(why ? why : path);
    return m;
  }
  m.open = reinterpret_cast<OpenFn>(dlsym(h, "vx_meter_open"));
  auto left = reinterpret_cast<LeftBehindFn>(dlsym(h, "vx_meters_left_behind"));
  if (!m.open || !left) {
    m.open = nullptr;
    m.error = "the meter driver " + path + " lacks its entry points";
    return m;
  }
  g_left_behind.store(left);
  return m;
}

}  // namespace

bool MeterLeftBehind() {
  const LeftBehindFn left = g_left_behind.load();
  return left && left() > 0;
}

Json Identity::ToJson() const {
  return {{"address", address}, {"driver", driver}, {"vendor", vendor},
          {"model", model},     {"serial", serial}, {"version", version}};
}

std::unique_ptr<Meter> Meter::Open(const std::string& address, std::chrono::milliseconds limit) {
  static const Module module = Load();
  if (!module.open) throw MeterError(module.error);
  std::string error;
  std::unique_ptr<Meter> meter(module.open(address, limit.count(), Outside(), error));
  if (!meter) throw MeterError(error);
  return meter;
}

}  // namespace vx::instruments
