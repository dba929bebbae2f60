#include "platform/console_platform.h"

namespace vx {

void ConsolePlatform::SleepUntil(TimePoint deadline) {
  // In slices, so that a progress display stays live during long device waits.
  constexpr Duration kSlice = std::chrono::milliseconds(500);
  for (TimePoint now = Now(); now < deadline; now = Now()) {
    clock_.SleepUntil(deadline - now > kSlice ? now + kSlice : deadline);
    if (idle) idle();
  }
  interrupt.RaiseOnce();
}

void ConsolePlatform::ProcessEventsUntil(TimePoint deadline) {
  SleepUntil(deadline);
}

void ConsolePlatform::Sleep(Duration d) {
  SleepUntil(Now() + (d > Duration::zero() ? d : Duration::zero()));
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
