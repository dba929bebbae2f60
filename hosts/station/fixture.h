// A fixture program that puts the meter's probes at a position: run with the position's label,
// waited for with a limit, ended on a stop. It runs in a process group of its own with nothing
// of the program's but its standard streams (its input from /dev/null, its output to standard
// error), so that ending it ends what it started, and nothing it leaves behind holds the
// meter's connection or the program's output.
#pragma once

#include <chrono>
#include <string>

namespace vx {

// Runs `program LABEL` and waits for it: "" when it exited with 0, else what happened ("exited
// with status 3", "could not be started: No such file or directory", "did not end within 60 s
// and was killed"). A stop asked for (Outside()) ends the wait within a second and the
// fixture's process group with it.
std::string RunFixture(const std::string& program, const std::string& label,
                       std::chrono::seconds limit);

}  // namespace vx
