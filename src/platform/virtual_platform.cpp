#include "platform/virtual_platform.h"

#include <utility>

namespace vx {

void VirtualPlatform::RunDue() {
  while (!scheduled_.empty() && scheduled_.begin()->first <= now_) {
    auto fn = std::move(scheduled_.begin()->second);
    scheduled_.erase(scheduled_.begin());
    fn();
  }
}

void VirtualPlatform::ProcessEventsUntil(TimePoint deadline) {
  RunDue();
  if (deadline <= now_) return;
  // Jump to the next scheduled event or to the deadline, whichever comes first, like a real
  // event loop that sleeps until something happens.
  TimePoint next = deadline;
  if (!scheduled_.empty() && scheduled_.begin()->first < next) next = scheduled_.begin()->first;
  waits_.push_back({WaitRecord::kYielding, now_, next - now_});
  now_ = next;
  RunDue();
}

void VirtualPlatform::Yield() {
  ++yields_;
  RunDue();
}

void VirtualPlatform::Sleep(Duration d) {
  if (d < Duration::zero()) d = Duration::zero();
  waits_.push_back({WaitRecord::kSleep, now_, d});
  now_ += d;
}

Answer VirtualPlatform::MessageBox(const std::string& text, const std::string& caption,
                                   Buttons buttons) {
  ShownMessage m{text, caption, buttons, now_};
  messages_.push_back(m);
  if (on_message) on_message(m);
  Answer a = Answer::kOk;
  if (!answers_.empty()) {
    a = answers_.front();
    answers_.pop_front();
  }
  if (buttons == Buttons::kOk) a = Answer::kOk;
  return a;
}

void VirtualPlatform::SetBusyCursor(bool busy) {
  cursor_changes_.push_back(busy);
}

void VirtualPlatform::ScheduleAt(TimePoint at, std::function<void()> fn) {
  scheduled_.emplace(at, std::move(fn));
}

std::vector<ShownMessage> VirtualPlatform::TakeMessages() {
  auto out = std::move(messages_);
  messages_.clear();
  return out;
}

}  // namespace vx
