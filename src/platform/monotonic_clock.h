// The monotonic clock that real platforms share: real time, or for a simulated device a
// virtual clock that moves only when the code sleeps.
#pragma once

#include "platform/platform.h"

namespace vx {

class MonotonicClock {
 public:
  explicit MonotonicClock(bool virtual_time) : virtual_(virtual_time) {}

  TimePoint Now() const;
  // Blocks for d (real), or moves the clock on by d (virtual).
  void SleepFor(Duration d);
  // Blocks until t (real), or moves the clock to t when t is later (virtual).
  void SleepUntil(TimePoint t);
  bool is_virtual() const { return virtual_; }

 private:
  bool virtual_;
  TimePoint now_{0};
};

}  // namespace vx
