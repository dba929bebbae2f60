// A server on loopback that takes connections and never says a word: a database or a meter
// that hangs.
#pragma once

#include <unistd.h>

#include "sim/sim_meter.h"

namespace vx::testing {

class Silent {
 public:
  Silent() : fd_(sim::ListenOnLoopback(16, port_)) {}
  ~Silent() { close(fd_); }  // the backlog holds the connections: nobody accepts, nobody answers
  Silent(const Silent&) = delete;
  Silent& operator=(const Silent&) = delete;
  int port() const { return port_; }

 private:
  int port_ = 0;
  int fd_ = -1;
};

}  // namespace vx::testing
