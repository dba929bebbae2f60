// What a station is set up with from its program's command line, and the one table of those
// options that both hosts register from: the device, the plug-in and its properties, the
// records, the limits, the guards, the meter. Each option checks its own value and says what
// fits when it does not.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "hosts/station/connection.h"
#include "hosts/station/meter_steps.h"
#include "hosts/station/run_recorder.h"
#include "records/limits.h"

namespace vx {

struct StationSettings {
  DeviceChoice device;
  std::string config_dir;  // "": the plug-in's own folder
  std::string target_info = "800.1.02";
  std::string plugin;  // "": beside the program, else the registered one
  int bus_wait_s = 10;
  int records_timeout_s = 10;  // the longest wait on the records database without progress
  StationInfo station;         // where records go, and who and what they name
  std::optional<Limits> limits;
  int max_correction_pct = 0;  // 0: Config.ini's [Host] MaxCorrectionPct, else 10
  MeterSettings meter;
  std::int16_t target_address() const { return static_cast<std::int16_t>(device.address7 << 1); }
};

struct StationOption {
  const char* name;   // "--records"
  const char* value;  // what its value is called ("WHERE"); nullptr for a flag
  const char* help;
  // Takes the value as given (a flag: "1"); "" when it fits, else why not, with what fits.
  std::string (*set)(StationSettings& s, const std::string& text);
  bool value_optional = false;  // --sim alone: the built-in device
};

std::span<const StationOption> StationOptions();

// Sets the station up as the settings say: who and where its records name, its limits, how
// long a run waits for the device and a store for its database. `program` is what records name
// the host by ("vx58420cal 0.0.2").
void Configure(Station& s, const StationSettings& o, const std::string& program);
// The guards' settings: Config.ini's [Host] of the plug-in's folder (`library`, "" for the one
// the settings name) unless --max-correction says otherwise.
void ReadGuard(Station& s, const StationSettings& o, const std::string& library);

// A whole number in [min, max] as users write it: decimal (leading zeros stay decimal: "010"
// is ten) or hexadecimal with 0x. Throws std::invalid_argument saying what fits.
std::int64_t ParseInteger(const std::string& text, std::int64_t min, std::int64_t max);

}  // namespace vx
