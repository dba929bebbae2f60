// The platform seam: everything the plug-in needs from the machine and the host's user
// interface. Hosts implement it (Qt, the command line), tests implement it in virtual time.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <string>

namespace vx {

using Duration = std::chrono::nanoseconds;
// Monotonic time since an arbitrary, fixed origin. Never goes backwards.
using TimePoint = std::chrono::nanoseconds;

enum class Buttons { kOk, kOkCancel };

// Raised by a platform at the end of a wait once the host has asked the run in progress to stop
// (a signal, a closed window): the wait has completed, the next step has not started. A run's
// trap leaves the device safe (out of calibration mode, FETs off after a current calibration)
// and shows no message; the host says what happened. Default visibility: hosts raise it and the
// plug-in catches it.
class __attribute__((visibility("default"))) Interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "the run was interrupted"; }
};

// The host's request to stop, set from a signal handler or an event and answered at the end of
// the next wait: once, so that the waits of the clean-up after it complete undisturbed.
class InterruptRequest {
 public:
  void Request(int reason = 1) noexcept {  // async-signal-safe
    if (reason_.load() == 0) reason_.store(reason);
    requests_.fetch_add(1);
  }
  bool requested() const noexcept { return reason_.load() != 0; }
  int reason() const noexcept { return reason_.load(); }  // the first request's (a signal number)
  int requests() const noexcept { return requests_.load(); }
  bool raised() const noexcept { return raised_; }
  // Throws Interrupted the first time it is called after a request.
  void RaiseOnce() {
    if (requested() && !raised_) {
      raised_ = true;
      throw Interrupted();
    }
  }

 private:
  std::atomic<int> reason_{0};
  std::atomic<int> requests_{0};
  bool raised_ = false;
};
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
