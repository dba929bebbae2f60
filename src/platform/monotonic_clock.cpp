#include "platform/monotonic_clock.h"

#include <thread>

namespace vx {

namespace {
using Steady = std::chrono::steady_clock;
}

TimePoint MonotonicClock::Now() const {
  if (virtual_) return now_;
  return std::chrono::duration_cast<TimePoint>(Steady::now().time_since_epoch());
}

void MonotonicClock::SleepFor(Duration d) {
  if (d <= Duration::zero()) return;
  if (virtual_) {
    now_ += d;
  } else {
    std::this_thread::sleep_for(d);
  }
}

void MonotonicClock::SleepUntil(TimePoint t) {
  if (virtual_) {
    if (t > now_) now_ = t;
    return;
  }
  std::this_thread::sleep_until(
      Steady::time_point(std::chrono::duration_cast<Steady::duration>(t)));
}

}  // namespace vx
