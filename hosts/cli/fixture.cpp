#include "hosts/cli/fixture.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <thread>

extern char** environ;

namespace vx::cli {

namespace {

// Asks the program to end, then makes it: SIGTERM, a second to go, SIGKILL; reaped either way.
void End(pid_t pid) {
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace

std::string RunFixture(const std::string& program, const std::string& label,
                       std::chrono::seconds limit, const InterruptRequest& stop) {
  pid_t pid = -1;
  const char* argv[] = {program.c_str(), label.c_str(), nullptr};
  const int spawned = ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr,
                                     const_cast<char* const*>(argv), environ);
  if (spawned != 0) return "could not be started: " + std::string(std::strerror(spawned));
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0) return "could not be waited for: " + std::string(std::strerror(errno));
    if (stop.requested()) {
      End(pid);
      return "was stopped with the run";
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      End(pid);
      return "did not end within " + std::to_string(limit.count()) + " s and was killed";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFEXITED(status)) {
    const int code = WEXITSTATUS(status);
    if (code == 0) return "";
    return code == 127 ? "could not be started (exit status 127: not found)"
                       : "exited with status " + std::to_string(code);
  }
  return "was killed by signal " + std::to_string(WTERMSIG(status));
}

}  // namespace vx::cli
