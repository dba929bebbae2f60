// A simulated bench multimeter on the loopback interface that answers as an SCPI meter of the
// kind libsigrok's scpi-dmm driver knows (*IDN?, *OPC?, CONF?, READ?), so that the guided flow
// can be tried and tested without a meter: the function it is set to, the value of each
// reading and a dropped connection are the caller's.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "sim/sim_state.h"

namespace vx::sim {

// A listening TCP socket on 127.0.0.1 at a port the system picks; the port is returned in
// `port`. Nobody accepts on it until the caller does: the backlog holds what connects.
int ListenOnLoopback(int backlog, int& port);

class SimMeter {
 public:
  SimMeter();
  ~SimMeter();
  SimMeter(const SimMeter&) = delete;
  SimMeter& operator=(const SimMeter&) = delete;

  int port() const { return port_; }
  // libsigrok's way to it.
  std::string Address() const { return "scpi-dmm:conn=tcp-raw/127.0.0.1/" + std::to_string(port_); }

  // What CONF? says the meter measures: "VOLT" (DC volts), "VOLT:AC", "CURR", "TEMP", "RES".
  void SetFunction(const std::string& f);
  // The value of the next reading, in the meter's unit (called for every READ?).
  void SetReadings(std::function<double()> next);
  // Closes the connection at the next query, as an unplugged meter would.
  void Drop() { drop_ = true; }
  // Answers nothing more once it has given this many readings (0: not even *IDN?), the
  // connection left open: a meter that hangs.
  void FallSilentAfter(int readings) { silent_after_ = readings; }
  int reads() const { return reads_; }

 private:
  void Serve();
  void Talk(int fd);

  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> drop_{false};
  std::atomic<int> reads_{0};
  std::atomic<int> silent_after_{-1};
  std::mutex m_;
  std::string function_ = "VOLT";
  std::function<double()> next_ = [] { return 0.0; };
  std::thread thread_;
};

// Readings that follow a test fixture: in volts, the true voltage of a device with this truth
// at the position whose label the fixture wrote as the first line of position_file (0 V at
// one the meter cannot measure), swinging by a few mV for `swing` readings after each move as
// probes do while they settle. A meter that reads off by `error` (0.01: 1 % high) reads
// that much more. With a state file, the truth is that file's, read again at each move (the
// unit on the fixture may have changed).
std::function<double()> FixtureReadings(std::string position_file, const Truth& truth,
                                        int swing = 0, double error = 0,
                                        std::string state_file = "");

}  // namespace vx::sim
