// References read from a bench meter instead of typed: for each one the command line names the
// probe position in the page's words, waits for the probes (Enter, a fixture program, or --yes),
// shows the live reading while it settles, then types the settled value into the page's box as
// a user would. Nothing reaches the device before every reference has been taken.
#pragma once

#include <string>
#include <vector>

#include "hosts/cli/session.h"

namespace vx::cli {

struct MeterOptions {
  std::string address;   // libsigrok driver and options; empty: no meter
  std::string fixture;   // a program run with each position's label before its reading
  int window = 5;        // readings that must agree
  double tolerance = 0;  // in the page's unit; 0: the reference's default
};

// The page keys to take from the meter, in the order a user moves the probes. Each settled
// value is typed into its box and its readings are kept for the run's record. An exit code:
// 0, or 4 with the reason printed when the meter could not give a reference.
int TakeFromMeter(Session& s, const MeterOptions& m, const std::vector<std::string>& keys);

}  // namespace vx::cli
