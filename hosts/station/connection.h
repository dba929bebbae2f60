// The device a station works on, opened, locked and named in one place: the simulator (built
// in, or from a state file) or a Linux SMBus, behind a recording adapter that every listener
// (trace, progress, the account of a run) hears. Switching devices is atomic: the device that
// was open stays open and named until the new one is open, so the page, the window, the record
// and the bus always mean the same device.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/smbus_adapter.h"
#include "hosts/station/bus_lock.h"
#include "hosts/station/recording_adapter.h"
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

class Connection {
 public:
  // stop: the program's request to stop, honoured before every write and while waiting for
  // another program's hold.
  Connection(Platform& platform, InterruptRequest& stop) : platform_(platform), stop_(stop) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the device chosen and makes it the station's. When that fails (or a run holds the
  // device now), error says why and the device open before (if any) stays, unchanged.
  bool Open(const DeviceChoice& choice, std::string& error);
  bool is_open() const { return bus_ != nullptr; }
  const DeviceChoice& choice() const { return choice_; }
  // As records and windows name it: "simulator", "simulator mis.json", "/dev/i2c-1".
  std::string Name() const;
  // What a run locks so that no other program interleaves with it: the bus node, or the lock
  // file beside the state file the simulator came from; empty when nothing is shared (the
  // built-in simulator).
  std::string LockPath() const;

  // The adapter the control is given as its "Parent": every call is heard by the listeners.
  std::shared_ptr<RecordingAdapter> bus() const { return bus_; }
  // The device itself, past the listeners (the host's own reads around a run).
  SMBusAdapter& direct() { return bus_->inner(); }
  sim::SimDevice* simulator() const { return sim_.get(); }
  DeviceAccount& account() { return account_; }
  // Hears every call on the device, whichever device is open now or later.
  void Listen(RecordingAdapter::Listener l) { listeners_.push_back(std::move(l)); }

  // Holds the device for this program, waiting up to `wait` for another program to let go;
  // a simulator's state file is read again then if another program wrote it meanwhile. Nested
  // holds of this program share the first one. nullptr (error names the holder) when the
  // device stayed held elsewhere.
  class Hold;
  std::unique_ptr<Hold> Lock(std::chrono::milliseconds wait, std::string& error);
  bool held() const { return holds_ > 0; }

  // A simulator from a state file: its state read again when another program has written the
  // file since, and written back (the file whole or not at all). Both do nothing for other
  // devices. Save throws std::runtime_error naming the file.
  void ReloadIfChanged();
  void SaveState(const std::string& path);

 private:
  Platform& platform_;
  InterruptRequest& stop_;
  DeviceChoice choice_;
  std::shared_ptr<sim::SimDevice> sim_;
  std::shared_ptr<RecordingAdapter> bus_;
  DeviceAccount account_;
  std::vector<RecordingAdapter::Listener> listeners_;
  std::unique_ptr<BusLock> lock_;
  int holds_ = 0;
  struct stat seen_ {};  // the state file as last read or written
};

class Connection::Hold {
 public:
  explicit Hold(Connection& c) : c_(c) { ++c_.holds_; }
  ~Hold() {
    if (--c_.holds_ == 0) c_.lock_.reset();
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  Connection& c_;
};

}  // namespace vx
