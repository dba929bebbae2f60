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
  void Sleep(Duration d) override;
  Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons) override;
  void SetBusyCursor(bool busy) override;

  // Title of boxes that have no caption of their own.
  static constexpr const char* kDefaultTitle = "vx58420Cal";

  // Called with each message box's text as it is shown (a run's record keeps them).
  std::function<void(const std::string& text)> on_message;
  // A stop the host asks for (the window closes): raised as Interrupted at the end of the wait
  // in progress.
  InterruptRequest interrupt;
  // Runs the window's events for up to d (waiting for them, not spinning), without a stop
  // raised: how waits on a meter or a database keep the window live.
  void Pause(Duration d);
  // Platforms without windows of their own (offscreen, for screenshots and tests) report every
  // change of a window's size limits as unsupported; nothing needs to act on it. Once a program.
  static void QuietenSizeHints();
  // Whether the control's code is running below the host's own event loop: inside one of this
  // platform's waits, yields or message boxes. A run is in progress then.
  bool InControlCode() const { return depth_ > 0; }

 private:
  struct Depth {
    explicit Depth(int& d) : d_(d) { ++d_; }
    ~Depth() { --d_; }
    int& d_;
  };

  MonotonicClock clock_;
  bool busy_ = false;
  int depth_ = 0;
};

}  // namespace vx
