// A fixture program that puts the meter's probes at a position: run with the position's label,
// waited for with a limit, ended on a stop.
#pragma once

#include <chrono>
#include <string>

#include "platform/platform.h"

namespace vx::cli {

// Runs `program LABEL` and waits for it: "" when it exited with 0, else what happened ("exited
// with status 3", "could not be started: No such file or directory", "did not end within 60 s
// and was killed"). A stop asked for ends the wait within a second (the program is killed).
std::string RunFixture(const std::string& program, const std::string& label,
                       std::chrono::seconds limit, const InterruptRequest& stop);

}  // namespace vx::cli
