#include "hosts/station/run_kinds.h"

#include <array>

namespace vx {

namespace {

// id, trigger, done mark, title, outcome, box; separate, hidden button, method.
constexpr std::array<RunKind, 7> kRuns = {{
    {"calibrate", "btnCalibrate", "imgCalDoneBox", "Calibrate device", "Calibration", "", false,
     false, false},
    {"system-voltage", "CalSystemVoltage", "imgCalDoneBox", "System voltage",
     "System voltage calibration", "txtActualSystemVoltage", false, false, true},
    {"pack-voltage", "btnCalPackVolt", "imgPackDoneBox", "Pack voltage", "Pack voltage calibration",
     "", true, false, false},
    {"board-offset-hardware", "btnBoardOffsett", "imgBoardOffDone", "Board offset (hardware)",
     "Hardware board offset calibration", "", true, true, false},
    {"board-offset-software", "cmdSWBrdOffsetCal", "imgBoardOffDone", "Board offset (software)",
     "Software board offset calibration", "txtBrdOffTime", true, false, false},
    {"bus", "", "", "Bus transfers", "Bus transfers", "", false, false, false},
    {"restore", "", "", "Restore", "Restore", "", false, false, false},
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
