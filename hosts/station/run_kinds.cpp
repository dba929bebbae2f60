#include "hosts/station/run_kinds.h"

#include <array>

namespace vx {

namespace {

// id, trigger, done mark, title, outcome, box; separate, hidden button, method, data flash,
// device-side.
constexpr std::array<RunKind, 7> kRuns = {{
    {"calibrate", "btnCalibrate", "imgCalDoneBox", "Calibrate device", "Calibration", "", false,
     false, false, true, true},
    {"system-voltage", "CalSystemVoltage", "imgCalDoneBox", "System voltage",
     "System voltage calibration", "txtActualSystemVoltage", false, false, true, true, false},
    {"pack-voltage", "btnCalPackVolt", "imgPackDoneBox", "Pack voltage", "Pack voltage calibration",
     "", true, false, false, false, true},
    {"board-offset-hardware", "btnBoardOffsett", "imgBoardOffDone", "Board offset (hardware)",
     "Hardware board offset calibration", "", true, true, false, false, true},
    {"board-offset-software", "cmdSWBrdOffsetCal", "imgBoardOffDone", "Board offset (software)",
     "Software board offset calibration", "txtBrdOffTime", true, false, false, true, false},
    {"bus", "", "", "Bus transfers", "Bus transfers", "", false, false, false, true, true},
    {"restore", "", "", "Restore", "Restore", "", false, false, false, true, false},
}};

}  // namespace

std::span<const RunKind> RunKinds() {
  return kRuns;
}

const RunKind* RunNamed(std::string_view id) {
  for (const RunKind& r : kRuns) {
    if (r.id == id) return &r;
  }
  return nullptr;
}

const RunKind* RunStartedBy(std::string_view trigger) {
  for (const RunKind& r : kRuns) {
    if (!trigger.empty() && r.trigger == trigger) return &r;
  }
  return nullptr;
}

}  // namespace vx
