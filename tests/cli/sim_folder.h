// A temporary folder holding a miscalibrated five-capacitor device's state file: where every
// process test of the command line starts.
#pragma once

#include <string>

#include "sim/sim_state.h"
#include "test_files.h"

namespace vx::testing {

struct SimFolder {
  SimFolder() {
    sim::SimState s = sim::MiscalibratedState(5);
    s.busy_ms = {200, 200, 200, 200, 200};
    state = Save("mis.json", s);
  }
  std::string Save(const std::string& name, const sim::SimState& s) const {
    sim::SaveStateFile(s, Path(name));
    return Path(name);
  }
  std::string Path(const std::string& name) const { return dir.path() + "/" + name; }
  TempDir dir;
  std::string state;
};

}  // namespace vx::testing
