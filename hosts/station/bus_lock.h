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
  // Locks path, waiting up to `wait` for another holder to let go (ended early by a stop the
  // program is asked for: Outside()). nullptr when that did not happen, with error naming the
  // holder ("/dev/i2c-1 is in use by vx58420-host (pid 812)") or the stop.
  // create: a lock file, made when missing (a bus node is never made); shown: what the error
  // calls it (the state file a lock file stands for), else path.
  static std::unique_ptr<BusLock> Acquire(const std::string& path, std::chrono::milliseconds wait,
                                          std::string& error, bool create = false,
                                          const std::string& shown = "");
  ~BusLock();
  BusLock(const BusLock&) = delete;
  BusLock& operator=(const BusLock&) = delete;

  // The other processes that have path open: who holds or waits for its lock.
  static std::string Holders(const std::string& path);
  // What a simulator's state file is locked through: a lock file beside the file a link leads
  // to, which a save (a new file renamed over the old) leaves in place.
  static std::string LockFileFor(const std::string& state_file);

 private:
  explicit BusLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace vx
