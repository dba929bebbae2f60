#include "hosts/station/fixture.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <thread>

#include "platform/outside_wait.h"

extern char** environ;

namespace vx {

namespace {

// Asks the fixture's group to end, then makes it: SIGTERM, a second to go, SIGKILL; the
// fixture reaped either way.
void End(pid_t pid) {
  ::kill(-pid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) {
      ::kill(-pid, SIGKILL);  // what it started and left behind
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(-pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace

std::string RunFixture(const std::string& program, const std::string& label,
                       std::chrono::seconds limit) {
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&files, STDERR_FILENO, STDOUT_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&files, STDERR_FILENO + 1);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = -1;
  const char* argv[] = {program.c_str(), label.c_str(), nullptr};
  const int spawned =
      ::posix_spawnp(&pid, program.c_str(), &files, &attr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);
  if (spawned != 0) return "could not be started: " + std::string(std::strerror(spawned));
  int status = 0;
  pid_t done = 0;
  const int mark = Outside().Mark();
  Outside().Until(
      [&] {
        done = ::waitpid(pid, &status, WNOHANG);
        return done != 0;
      },
      std::chrono::steady_clock::now() + limit);
  if (done < 0) return "could not be waited for: " + std::string(std::strerror(errno));
  if (done == 0) {
    End(pid);
    return Outside().StoppedSince(mark)
               ? "was stopped with the run"
               : "did not end within " + std::to_string(limit.count()) + " s and was killed";
  }
  ::kill(-pid, SIGKILL);  // nothing it started outlives it
  if (WIFEXITED(status)) {
    const int code = WEXITSTATUS(status);
    if (code == 0) return "";
    return code == 127 ? "could not be started (exit status 127: not found)"
                       : "exited with status " + std::to_string(code);
  }
  return "was killed by signal " + std::to_string(WTERMSIG(status));
}

}  // namespace vx
