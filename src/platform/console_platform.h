// The platform of a program without a window: monotonic time (real, or virtual for a simulated
// device), no event loop of its own (waits sleep until their deadline), message boxes handed to
// the program and OK/Cancel answered by its policy.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "platform/monotonic_clock.h"
#include "platform/platform.h"

namespace vx {

class ConsolePlatform : public Platform {
 public:
  // virtual_time: waits and sleeps move a virtual clock instead of taking real time.
  explicit ConsolePlatform(bool virtual_time = false) : clock_(virtual_time) {}

  TimePoint Now() override { return clock_.Now(); }
  // No window, no events: the wait sleeps until its deadline.
  void ProcessEventsUntil(TimePoint deadline) override;
  void Yield() override {}
  void Sleep(Duration d) override;
  Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons) override;
  void SetBusyCursor(bool) override {}

  // Answers for the next OK/Cancel boxes; when none is queued, `confirm` decides (Cancel, the
  // safe answer, when it is not set). OK-only boxes are answered OK.
  std::deque<Answer> answers;
  std::function<Answer(const std::string& text)> confirm;
  // Called for every message box once it is answered.
  std::function<void(const std::string& text, const std::string& caption, Buttons, Answer)> shown;
  // Called at least once a second while a wait or sleep lasts (a progress display).
  std::function<void()> idle;
  // A stop the program asks for: raised as Interrupted when the wait in progress has completed.
  InterruptRequest interrupt;

 private:
  void SleepUntil(TimePoint deadline);

  MonotonicClock clock_;
};

}  // namespace vx
