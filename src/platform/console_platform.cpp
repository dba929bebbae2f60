#include "platform/console_platform.h"

#include <thread>

namespace vx {

namespace {
using Steady = std::chrono::steady_clock;
}

TimePoint ConsolePlatform::Now() {
  if (virtual_) return now_;
  return std::chrono::duration_cast<TimePoint>(Steady::now().time_since_epoch());
}

void ConsolePlatform::ProcessEventsUntil(TimePoint deadline) {
  if (virtual_) {
    if (deadline > now_) now_ = deadline;
    return;
  }
  // No window, no events: sleep on the monotonic clock until the deadline.
  std::this_thread::sleep_until(
      Steady::time_point(std::chrono::duration_cast<Steady::duration>(deadline)));
}

void ConsolePlatform::Sleep(Duration d) {
  if (d <= Duration::zero()) return;
  if (virtual_) {
    now_ += d;
  } else {
    std::this_thread::sleep_for(d);
  }
}

Answer ConsolePlatform::MessageBox(const std::string& text, const std::string& caption,
                                   Buttons buttons) {
  Answer a = Answer::kOk;
  if (buttons == Buttons::kOkCancel) {
    if (!answers.empty()) {
      a = answers.front();
      answers.pop_front();
    } else {
      a = confirm ? confirm(text) : Answer::kCancel;
    }
  }
  if (shown) shown(text, caption, buttons, a);
  return a;
}

}  // namespace vx
