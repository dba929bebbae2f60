// The command line's options: what every command shares (the device, files, records, the
// meter), parsed by CLI11 into typed values with the ranges they may take, and the exit codes.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "control/cal_api.h"
#include "hosts/station/connection.h"
#include "hosts/station/run_recorder.h"
#include "records/limits.h"

namespace vx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the run did not end with its done mark, or a device error
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFile = 3;           // a state, trace or script file
inline constexpr int kExitSetup = 4;          // device, bus lock or plug-in could not be had
inline constexpr int kExitOutOfLimits = 5;    // the run was done, the unit is outside its limits
inline constexpr int kExitFlagged = 5;        // the line statistics flag a group
inline constexpr int kExitInterrupted = 130;  // a signal stopped the run at a safe point

// How a bench meter gives references.
struct MeterOptions {
  std::string address;         // libsigrok driver and options; empty: no meter
  std::string fixture;         // a program run with each position's label before its reading
  int fixture_timeout_s = 60;  // how long the fixture may take to move the probes
  int timeout_s = 5;           // how long the meter may take to answer (opening, each reading)
  int window = 5;              // readings that must agree
  double tolerance = 0;        // in the page's unit; 0: the reference's default
};

struct Options {
  DeviceChoice device;
  std::string save_state;
  std::string trace;
  std::string config_dir;
  std::string target_info = "800.1.02";
  std::string plugin;
  bool json = false;
  bool yes = false;
  bool fast = false;  // virtual time (simulator only)
  int bus_wait_s = 10;
  int records_timeout_s = 10;  // the longest wait on the records database without progress
  StationInfo station;         // where records go, and who and what they name
  std::string limits_file;
  int max_correction_pct = 0;     // 0: Config.ini's [Host] MaxCorrectionPct, else 10
  bool trust_references = false;  // the guards' objections are said and recorded, not refused
  std::string records = "";       // as given: "none" keeps no records
  std::optional<Limits> limits;
  MeterOptions meter;
  // Creates the control instead of loading the plug-in (programs that link the control).
  std::function<ICal*()> make_cal;
  std::int16_t target_address() const { return static_cast<std::int16_t>(device.address7 << 1); }
};

// Registers the global options on the program's app.
void AddGlobalOptions(CLI::App& app, Options& o);
// After parsing: what CLI11 cannot check by itself (the limits file's content). Throws
// std::invalid_argument naming the option.
void FinishOptions(const CLI::App& app, Options& o);

// A whole number in [min, max] as users write it: decimal (leading zeros stay decimal: "010"
// is ten) or hexadecimal with 0x. The value reaches the option as plain decimal; anything else
// is refused with what fits ("--ticks: \"x\" is not a number").
CLI::Validator Whole(std::int64_t min, std::int64_t max);
// The same as a function, for words that are not options (a bus transfer's bytes).
std::int64_t ParseInteger(const std::string& text, std::int64_t min, std::int64_t max);

}  // namespace vx::cli
