// The command line's options: the station's (the device, records, the meter), registered from
// the station's table, and what every command adds (files, output, answers); the exit codes.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "control/cal_api.h"
#include "hosts/station/station_options.h"

namespace vx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the run did not end with its done mark, or a device error
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFile = 3;           // a state, trace or script file
inline constexpr int kExitSetup = 4;          // device, bus lock or plug-in could not be had
inline constexpr int kExitOutOfLimits = 5;    // the run was done, the unit is outside its limits
inline constexpr int kExitFlagged = 5;        // the line statistics flag a group
inline constexpr int kExitInterrupted = 130;  // a signal stopped the run at a safe point

// What the command line adds to a station's settings.
struct Options : StationSettings {
  std::string save_state;
  std::string trace;
  bool json = false;
  bool yes = false;
  bool fast = false;              // virtual time (simulator only)
  bool trust_references = false;  // the guards' objections are said and recorded, not refused
  // Creates the control instead of loading the plug-in (programs that link the control).
  std::function<ICal*()> make_cal;
};

// Registers the global options on the program's app.
void AddGlobalOptions(CLI::App& app, Options& o);

// A whole number in [min, max] as users write it (ParseInteger): the value reaches the option
// as plain decimal; anything else is refused with what fits ("--ticks: \"x\" is not a number").
CLI::Validator Whole(std::int64_t min, std::int64_t max);

}  // namespace vx::cli
