// What a long run is doing, on standard error: on a terminal one line redrawn in place (the
// run, the page's progress, the device's activity in words, the time so far), so that a 30 s
// device-busy phase does not look hung; elsewhere (a log) one line per step.
#pragma once

#include <string>

#include "hosts/station/recording_adapter.h"
#include "platform/platform.h"

namespace vx::cli {

class Progress {
 public:
  Progress(Platform& platform, const DeviceAccount& account, bool terminal)
      : platform_(platform), account_(account), terminal_(terminal) {}

  void Start(const std::string& run);
  void Percent(int value);
  // After a transfer and while a wait lasts.
  void Update();
  // Before anything else is printed, and at the end of the run.
  void Pause();
  void Stop();

 private:
  void Draw(bool force);
  double Elapsed() const;

  Platform& platform_;
  const DeviceAccount& account_;
  bool terminal_;
  bool running_ = false;
  bool line_open_ = false;
  std::string run_;
  int percent_ = -1;
  TimePoint start_{0};
  std::string shown_;  // what the last line said (without the time)
  std::string step_;   // the last step a log was told of
  double drawn_at_ = -1;
};

}  // namespace vx::cli
