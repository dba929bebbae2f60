// A platform in virtual time for tests: the clock moves only when the code waits or sleeps,
// message boxes are answered from a queue and recorded, and events can be scheduled at
// virtual instants (a timer tick during a wait, say).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vx {

struct ShownMessage {
  std::string text;
  std::string caption;
  Buttons buttons;
  TimePoint at;
};

struct WaitRecord {
  enum Kind { kYielding, kSleep } kind;
  TimePoint start;
  Duration length;
};

class VirtualPlatform : public Platform {
 public:
  TimePoint Now() override { return now_; }
  void ProcessEventsUntil(TimePoint deadline) override;
  void Yield() override;
  void Sleep(Duration d) override;
  Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons) override;
  void SetBusyCursor(bool busy) override;

  // Answers for the next message boxes, in order; when the queue is empty the answer is OK.
  void QueueAnswer(Answer a) { answers_.push_back(a); }
  // Runs fn when the virtual clock reaches `at` during a wait or a yield.
  void ScheduleAt(TimePoint at, std::function<void()> fn);
  // Called for every message box before it is answered (a test can look at the page).
  std::function<void(const ShownMessage&)> on_message;
  // Moves the clock forward without processing events (time passing outside the code).
  void Advance(Duration d) { now_ += d; }

  const std::vector<ShownMessage>& messages() const { return messages_; }
  std::vector<ShownMessage> TakeMessages();
  const std::vector<WaitRecord>& waits() const { return waits_; }
  void ClearWaits() { waits_.clear(); }
  int yields() const { return yields_; }
  const std::vector<bool>& cursor_changes() const { return cursor_changes_; }

 private:
  void RunDue();

  TimePoint now_{0};
  std::deque<Answer> answers_;
  std::multimap<TimePoint, std::function<void()>> scheduled_;
  std::vector<ShownMessage> messages_;
  std::vector<WaitRecord> waits_;
  std::vector<bool> cursor_changes_;
  int yields_ = 0;
};

}  // namespace vx
