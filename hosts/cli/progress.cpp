#include "hosts/cli/progress.h"

#include <cstdio>
#include <iostream>

#include "hosts/cli/output.h"

namespace vx::cli {

void Progress::Start(const std::string& run) {
  run_ = run;
  running_ = true;
  percent_ = -1;
  shown_.clear();
  step_.clear();
  start_ = platform_.Now();
  drawn_at_ = -1;
  Draw(true);
}

double Progress::Elapsed() const {
  return std::chrono::duration<double>(platform_.Now() - start_).count();
}

void Progress::Percent(int value) {
  // The page's bar as it stands, but never full before the run has ended: a step that fills
  // it (the system voltage's) is followed by the next, which starts it again.
  if (value < 100) percent_ = value;
  Update();
}

void Progress::Update() {
  if (running_) Draw(false);
}

void Progress::Draw(bool force) {
  std::string activity = account_.activity();
  if (!terminal_) {
    // A log gets the steps, not every transfer: the reads around them keep the last step.
    static const char* const kPassing[] = {"selecting data flash", "reading data flash",
                                           "reading the measurements"};
    for (const char* p : kPassing) {
      if (activity == p) activity = step_;
    }
    step_ = activity;
  }
  std::string what = run_;
  if (percent_ >= 0) what += " " + std::to_string(percent_) + " %";
  if (!activity.empty()) what += ": " + activity;
  const double t = Elapsed();
  char time[32];
  std::snprintf(time, sizeof time, "%6.1f s", t);
  if (terminal_) {
    // Redrawn when something changed or once a second for the time.
    if (!force && what == shown_ && t - drawn_at_ < 1.0) return;
    std::cerr << "\r" << time << "  " << what << "\033[K" << std::flush;
    line_open_ = true;
  } else {
    if (!force && what == shown_) return;
    std::cerr << time << "  " << what << "\n" << std::flush;
  }
  if (!std::cerr) Out::Failed("standard error");
  shown_ = what;
  drawn_at_ = t;
}

void Progress::Pause() {
  if (line_open_) {
    std::cerr << "\r\033[K" << std::flush;
    line_open_ = false;
    shown_.clear();
  }
}

void Progress::Stop() {
  Pause();
  running_ = false;
}

}  // namespace vx::cli
