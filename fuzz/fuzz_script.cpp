// The command line's script input on arbitrary lines, against the control on the simulator in
// virtual time.
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "control/cal.h"
#include "control/module.h"
#include "hosts/cli/commands.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool quiet = [] {
    std::cout.setstate(std::ios::badbit);  // message boxes are printed; nobody reads them
    return true;
  }();
  (void)quiet;
  vx::ResetThisThreadModule();
  vx::cli::Options o;
  o.fast = true;
  o.config_dir = "/nonexistent";
  o.make_cal = [] { return static_cast<vx::ICal*>(new vx::Cal()); };
  vx::cli::Session s(o);
  if (s.OpenDevice() != 0 || !s.ShowControl()) __builtin_trap();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  vx::cli::ScriptCommand(s, in);
  return 0;
}
