// The platform of a program without a window: real monotonic time, no event loop of its own
// (waits sleep until their deadline), message boxes written to a stream and answered by a
// policy the program chooses.
#pragma once

#include <functional>
#include <iosfwd>

#include "platform/platform.h"

namespace vx {

class ConsolePlatform : public Platform {
 public:
  // ask returns the answer for an OK/Cancel box; OK-only boxes are always answered OK.
  using AskFn = std::function<Answer(const std::string& text, const std::string& caption)>;

  explicit ConsolePlatform(std::ostream* out = nullptr, AskFn ask = {});

  TimePoint Now() override;
  void ProcessEventsUntil(TimePoint deadline) override;
  void Yield() override {}
  void Sleep(Duration d) override;
  Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons) override;
  void SetBusyCursor(bool) override {}

  // Called for every message box after it was answered (JSON output, logs).
  std::function<void(const std::string& text, const std::string& caption, Buttons, Answer)>
      on_message;

 private:
  std::ostream* out_;
  AskFn ask_;
};

}  // namespace vx
