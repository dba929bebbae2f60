#include "hosts/station/connection.h"

#include "adapters/linux_i2c_adapter.h"
#include "sim/sim_device.h"
#include "sim/sim_state.h"

namespace vx {

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

struct stat StatOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) st = {};
  return st;
}

}  // namespace

Connection::~Connection() = default;

bool Connection::Open(const DeviceChoice& c, std::string& error) {
  if (holds_ > 0) {
    error = "a run holds " + Name() + "; the device is switched once it has ended";
    return false;
  }
  std::shared_ptr<SMBusAdapter> adapter;
  std::shared_ptr<sim::SimDevice> sim;
  struct stat seen {};
  if (c.use_sim) {
    sim::SimState state = sim::DefaultState(5);
    if (!c.sim_state.empty()) {
      try {
        seen = StatOf(c.sim_state);
        state = sim::LoadStateFile(c.sim_state);
      } catch (const std::exception& e) {
        error = e.what();
        return false;
      }
    }
    sim = std::make_shared<sim::SimDevice>(platform_, std::move(state));
    adapter = sim;
  } else {
    adapter = LinuxI2cAdapter::Open(c.bus, c.address7, c.pec, platform_, error);
    if (!adapter) return false;
  }
  auto bus = std::make_shared<RecordingAdapter>(adapter, platform_, &stop_);
  bus->Listen([this](const BusEvent& e) {
    account_.Note(e);
    for (const auto& l : listeners_)
      l(e);
  });
  // Only now, with the new device open, does it become the station's.
  choice_ = c;
  sim_ = std::move(sim);
  bus_ = std::move(bus);
  seen_ = seen;
  account_ = DeviceAccount{};
  return true;
}

std::string Connection::Name() const {
  if (!choice_.use_sim) return NodePath(choice_.bus);
  return choice_.sim_state.empty() ? "simulator" : "simulator " + choice_.sim_state;
}

std::string Connection::LockPath() const {
  if (!choice_.use_sim) return NodePath(choice_.bus);
  return choice_.sim_state.empty() ? "" : BusLock::LockFileFor(choice_.sim_state);
}

std::unique_ptr<Connection::Hold> Connection::Lock(std::chrono::milliseconds wait,
                                                   std::string& error) {
  const std::string path = LockPath();
  if (holds_ == 0 && !path.empty()) {
    lock_ = BusLock::Acquire(path, wait, error, choice_.use_sim,
                             choice_.use_sim ? choice_.sim_state : path);
    if (!lock_) return nullptr;
    ReloadIfChanged();  // another program may have written the state while we waited
  }
  return std::make_unique<Hold>(*this);
}

void Connection::ReloadIfChanged() {
  if (!sim_ || choice_.sim_state.empty()) return;
  struct stat now = StatOf(choice_.sim_state);
  if (SameFile(now, seen_)) return;
  try {
    sim_->state() = sim::LoadStateFile(choice_.sim_state);
    seen_ = now;
  } catch (const std::exception&) {
    // A file another program is about to replace: the device stays as it was.
  }
}

void Connection::SaveState(const std::string& path) {
  if (!sim_) return;
  sim::SaveStateFile(sim_->state(), path);
  if (path == choice_.sim_state) seen_ = StatOf(path);
}

}  // namespace vx
