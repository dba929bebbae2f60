// The command line's page commands: each sets the page's entries and clicks its buttons as a
// user would, so that every check, message and device step is the control's own.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "hosts/cli/session.h"

namespace vx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the run did not end with its done mark, or a device error
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFile = 3;   // a state, trace or script file
inline constexpr int kExitSetup = 4;  // device or plug-in could not be opened

struct CalibrateArgs {
  std::vector<std::string> voltages;  // cumulative mV, from capacitor 1 up
  std::optional<std::string> system_voltage;
  std::optional<std::string> temperature;
  std::vector<std::string> sensors;  // int, ext1, ext2; empty: as the page has them
  std::optional<std::string> current;
  std::optional<std::string> charge_fet;  // on, off
  bool cc_offset = false;
  bool verify = false;
};

int ReadCommand(Session& s, int ticks, std::ostream& out);
int CalibrateCommand(Session& s, const CalibrateArgs& a, std::ostream& out);
int CapacitorsCommand(Session& s, std::ostream& out);
int SystemVoltageCommand(Session& s, const std::optional<std::string>& actual, std::ostream& out);
int PackVoltageCommand(Session& s, std::ostream& out);
int BoardOffsetCommand(Session& s, bool hardware, const std::optional<std::string>& seconds,
                       std::ostream& out);
int ScriptCommand(Session& s, std::istream& in, std::ostream& out);

// The measured boxes of the page as JSON (numbers, or null for "Err_Rd" and empty boxes).
std::string ReadingsJson(FormModel& f);

}  // namespace vx::cli
