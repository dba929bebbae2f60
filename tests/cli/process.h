// The command line as a process: started with arguments and environment, its exit code and
// output collected; or started in the background for a test that signals it.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vx::testing {

struct Result {
  int code = -1;
  std::string out, err;
  std::vector<nlohmann::json> Json() const {  // the JSON lines of standard output
    std::vector<nlohmann::json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line[0] == '{') lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
  }
  bool Says(const std::string& text) const {
    return out.find(text) != std::string::npos || err.find(text) != std::string::npos;
  }
};

// The process ended with `code` and said `says`; otherwise all it did say.
inline ::testing::AssertionResult Ended(const Result& r, int code, const std::string& says) {
  if (r.code == code && r.Says(says)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "exit " << r.code << ", not " << code << " with \"" << says << "\":\n"
         << r.out << r.err;
}

inline std::string ReadFile(const std::string& path) {
  std::stringstream ss;
  ss << std::ifstream(path).rdbuf();
  return ss.str();
}

inline std::vector<nlohmann::json> JsonLines(const std::string& path) {
  Result r;
  r.out = ReadFile(path);
  return r.Json();
}

// Nothing in the trace that writes the device: reads, and the subclass selects that reads need.
inline bool WritesNothing(const std::string& trace) {
  for (const auto& t : JsonLines(trace)) {
    if (t["method"].get<std::string>().rfind("Read", 0) != 0 && t["cmd"] != 0x77) return false;
  }
  return true;
}

// A process of the command line; its output goes to files in `dir`.
class Process {
 public:
  Process(const std::string& dir, const std::string& args, const std::string& env = "",
          const std::string& input = "")
      : out_(dir + "/out." + std::to_string(counter_)),
        err_(dir + "/err." + std::to_string(counter_++)) {
    // Records go to the test's own folder unless the test says otherwise.
    std::string cmd = "XDG_DATA_HOME=" + dir + " " + env + " exec " + VX_CLI_PATH + " " + args +
                      " >" + out_ + " 2>" + err_;
    if (!input.empty()) cmd += " <" + input;
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      // A test that dies (a timeout, a crash) takes its programs with it.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      execl("/bin/sh", "/bin/sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  pid_t pid() const { return pid_; }
  const std::string& err_file() const { return err_; }
  // Whether the process ends within `limit`; Wait() then collects it.
  bool EndsWithin(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!reaped_ && std::chrono::steady_clock::now() < end) {
      reaped_ = waitpid(pid_, &status_, WNOHANG) == pid_;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return reaped_;
  }
  Result Wait() {
    if (!reaped_) waitpid(pid_, &status_, 0);
    reaped_ = true;
    Result r;
    r.code = WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    r.out = ReadFile(out_);
    r.err = ReadFile(err_);
    return r;
  }

 private:
  static inline int counter_ = 0;
  pid_t pid_ = -1;
  int status_ = 0;
  bool reaped_ = false;
  std::string out_, err_;
};

// Waits (up to 20 s) until the file holds a line containing `text`.
inline bool WaitForLine(const std::string& path, const std::string& text) {
  for (int i = 0; i < 2000; ++i) {
    if (ReadFile(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace vx::testing
