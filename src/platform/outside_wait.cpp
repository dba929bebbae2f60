#include "platform/outside_wait.h"

#include <thread>

namespace vx {

OutsideWait& Outside() {
  static OutsideWait wait;
  return wait;
}

bool OutsideWait::Until(const std::function<bool()>& done,
                        std::chrono::steady_clock::time_point deadline) {
  constexpr Duration kSlice = std::chrono::milliseconds(100);
  const int mark = Mark();
  for (;;) {
    if (done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline || StoppedSince(mark)) return false;
    const Duration slice = std::min<Duration>(kSlice, deadline - now);
    if (pause) {
      pause(slice);
    } else {
      std::this_thread::sleep_for(slice);
    }
  }
}

}  // namespace vx
