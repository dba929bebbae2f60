// The command line's platform: real monotonic time (or virtual time for the simulator),
// message boxes printed and answered by policy.
#pragma once

#include <deque>
#include <functional>

#include "platform/platform.h"

namespace vx::cli {

class CliPlatform : public Platform {
 public:
  explicit CliPlatform(bool virtual_time) : virtual_(virtual_time) {}

  TimePoint Now() override;
  void ProcessEventsUntil(TimePoint deadline) override;
  void Yield() override {}
  void Sleep(Duration d) override;
  Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons) override;
  void SetBusyCursor(bool) override {}

  // Answers for the next OK/Cancel boxes (scripts); after them, `confirm` decides.
  std::deque<Answer> answers;
  std::function<Answer(const std::string& text)> confirm = [](const std::string&) {
    return Answer::kCancel;
  };
  std::function<void(const std::string& text, const std::string& caption, Buttons, Answer)> shown;
  bool virtual_time() const { return virtual_; }

 private:
  bool virtual_;
  TimePoint now_{0};
};

}  // namespace vx::cli
