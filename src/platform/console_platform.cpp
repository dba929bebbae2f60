#include "platform/console_platform.h"

#include <ostream>
#include <thread>

namespace vx {

namespace {
using Steady = std::chrono::steady_clock;
}

ConsolePlatform::ConsolePlatform(std::ostream* out, AskFn ask) : out_(out), ask_(std::move(ask)) {}

TimePoint ConsolePlatform::Now() {
  return std::chrono::duration_cast<TimePoint>(Steady::now().time_since_epoch());
}

void ConsolePlatform::ProcessEventsUntil(TimePoint deadline) {
  // No events to wait for: sleep until the deadline on the same monotonic clock.
  std::this_thread::sleep_until(
      Steady::time_point(std::chrono::duration_cast<Steady::duration>(deadline)));
}

void ConsolePlatform::Sleep(Duration d) {
  if (d > Duration::zero()) std::this_thread::sleep_for(d);
}

Answer ConsolePlatform::MessageBox(const std::string& text, const std::string& caption,
                                   Buttons buttons) {
  Answer a = Answer::kOk;
  if (buttons == Buttons::kOkCancel && ask_) a = ask_(text, caption);
  if (out_) {
    *out_ << "[" << (caption.empty() ? std::string("vx58420Cal") : caption) << "] " << text;
    if (buttons == Buttons::kOkCancel) *out_ << " -> " << (a == Answer::kOk ? "OK" : "Cancel");
    *out_ << "\n";
    out_->flush();
  }
  if (on_message) on_message(text, caption, buttons, a);
  return a;
}

}  // namespace vx
