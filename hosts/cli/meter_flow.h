// References read from a bench meter instead of typed: for each one the command line names the
// probe position in the page's words, waits for the probes (Enter, a fixture program, or --yes),
// shows the live reading while it settles, then types the settled value into the page's box as
// a user would. Nothing reaches the device before every reference has been taken.
#pragma once

#include <string>
#include <vector>

#include "hosts/cli/session.h"

namespace vx::cli {

// The page keys to take from the meter, in the order a user moves the probes. Each settled
// value is typed into its box and its readings are kept for the run's record. An exit code:
// 0, or 4 with the reason printed when the meter could not give a reference.
int TakeFromMeter(Session& s, const std::vector<std::string>& keys);

}  // namespace vx::cli
