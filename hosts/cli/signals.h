// Ctrl-C, SIGTERM, SIGHUP and every other signal that would end the program, during a run: the
// request to stop is noted and answered by the platform at the end of the wait in progress; the
// run's trap then leaves the device safe. Later signals are counted and do not cut that clean-up
// short.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vx::cli {

void CatchStopSignals(InterruptRequest& request);

// The reason a stop has when an output could not be written (not a signal number).
inline constexpr int kOutputFailed = -1;
// "SIGINT", "SIGUSR1", "a failed output".
std::string SignalName(int sig);

}  // namespace vx::cli
