// The command line's page commands: each sets the page's entries and clicks its buttons as a
// user would, so that every check, message and device step is the control's own. What the
// command line adds is around them: the references are checked to be given, numbers and of a
// length the page's box takes before anything is typed, and the outcome is said plainly.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "hosts/cli/meter_flow.h"
#include "hosts/cli/session.h"

namespace vx::cli {

// A reference value "meter" is taken from the bench meter instead.
inline constexpr const char kFromMeter[] = "meter";

struct CalibrateArgs {
  std::vector<std::string> voltages;  // cumulative mV, from capacitor 1 up
  std::optional<std::string> system_voltage;
  std::optional<std::string> temperature;
  std::vector<std::string> sensors;  // int, ext1, ext2; empty: as the page has them
  std::optional<std::string> current;
  std::optional<std::string> charge_fet;  // on, off
  bool cc_offset = false;
  bool verify = false;
  MeterOptions meter;
};

int ReadCommand(Session& s, int ticks);
int CalibrateCommand(Session& s, const CalibrateArgs& a);
int CapacitorsCommand(Session& s);
int SystemVoltageCommand(Session& s, const std::optional<std::string>& actual,
                         const MeterOptions& meter);
int PackVoltageCommand(Session& s);
int BoardOffsetCommand(Session& s, bool hardware, const std::optional<std::string>& seconds);
int ScriptCommand(Session& s, std::istream& in);

}  // namespace vx::cli
