// The platform seam: everything the plug-in needs from the machine and the host's user
// interface. Hosts implement it (Qt, the command line), tests implement it in virtual time.
#pragma once

#include <chrono>
#include <string>

namespace vx {

using Duration = std::chrono::nanoseconds;
// Monotonic time since an arbitrary, fixed origin. Never goes backwards.
using TimePoint = std::chrono::nanoseconds;

enum class Buttons { kOk, kOkCancel };
enum class Answer { kOk, kCancel };

class Platform {
 public:
  virtual ~Platform() = default;

  virtual TimePoint Now() = 0;
  // Runs the host's pending events and then waits (without spinning) until either another
  // event arrives or the deadline passes. May return before the deadline; callers loop.
  virtual void ProcessEventsUntil(TimePoint deadline) = 0;
  // Runs the host's pending events once and returns.
  virtual void Yield() = 0;
  // Blocks the calling thread; no events are processed.
  virtual void Sleep(Duration d) = 0;
  // Modal message box without icon. An empty caption means the application's default title.
  virtual Answer MessageBox(const std::string& text, const std::string& caption,
                            Buttons buttons) = 0;
  virtual void SetBusyCursor(bool busy) = 0;
};

}  // namespace vx
