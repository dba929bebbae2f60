// One program at a time on a device: an advisory lock on the bus node (/dev/i2c-N) or on the
// simulator's state file, held for a run, so that a second command line or desktop host waits
// instead of interleaving its transfers with a calibration.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace vx {

class BusLock {
 public:
  // Locks path, waiting up to `wait` for another holder to let go. nullptr when that did not
  // happen, with error naming the holder ("/dev/i2c-1 is in use by vx58420-host (pid 812)").
  static std::unique_ptr<BusLock> Acquire(const std::string& path, std::chrono::milliseconds wait,
                                          std::string& error);
  ~BusLock();
  BusLock(const BusLock&) = delete;
  BusLock& operator=(const BusLock&) = delete;

  // The other processes that have path open: who holds or waits for its lock.
  static std::string Holders(const std::string& path);

 private:
  explicit BusLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace vx
