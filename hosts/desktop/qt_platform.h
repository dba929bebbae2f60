// The platform seam on Qt: waits run a nested event loop that sleeps until an event or the
// deadline, message boxes are QMessageBox without icon, the busy cursor is the override cursor.
#pragma once

#include <functional>

#include "platform/monotonic_clock.h"
#include "platform/platform.h"

namespace vx {

class QtPlatform : public Platform {
 public:
  // virtual_time: the clock jumps to each deadline after the pending events ran (tests).
  explicit QtPlatform(bool virtual_time = false) : clock_(virtual_time) {}

  TimePoint Now() override { return clock_.Now(); }
  void ProcessEventsUntil(TimePoint deadline) override;
  void Yield() override;
  void Sleep(Duration d) override { clock_.SleepFor(d); }
  Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons) override;
  void SetBusyCursor(bool busy) override;

  // Title of boxes that have no caption of their own.
  static constexpr const char* kDefaultTitle = "vx58420Cal";

 private:
  MonotonicClock clock_;
  bool busy_ = false;
};

}  // namespace vx
