// The transfer trace: every call on the device as one JSON line, written as it happens, so
// that a crash or a kill leaves every transfer up to it. A line goes in whole or not at all: a
// full disk or a size limit leaves the lines before it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

#include "hosts/station/connection.h"

namespace vx {

class TraceFile {
 public:
  ~TraceFile();
  // Opens `path` (a file made new, a device or FIFO written through) and listens on the
  // device; false with why in error. on_failure: told once when a line cannot be written.
  bool Open(const std::string& path, Connection& device, Platform& platform, std::string& error,
            std::function<void()> on_failure);

 private:
  void Write(const std::string& line);

  int fd_ = -1;
  bool failed_ = false;
  bool regular_ = false;
  off_t size_ = 0;  // what the file holds in whole lines
  std::uint64_t seq_ = 0;
  std::function<void()> on_failure_;
};

}  // namespace vx
