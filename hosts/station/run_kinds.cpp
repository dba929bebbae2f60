#include "hosts/station/run_kinds.h"

#include <array>

namespace vx {

namespace {

constexpr std::array<RunKind, 7> kRuns = {{
    {.id = "calibrate",
     .trigger = "btnCalibrate",
     .done_mark = "imgCalDoneBox",
     .title = "Calibrate device",
     .outcome = "Calibration",
     .from_ticked = true},
    {.id = "system-voltage",
     .trigger = "CalSystemVoltage",
     .done_mark = "imgCalDoneBox",
     .title = "System voltage",
     .outcome = "System voltage calibration",
     .box = "txtActualSystemVoltage",
     .method = &ICal::CalSystemVoltage},
    {.id = "pack-voltage",
     .trigger = "btnCalPackVolt",
     .done_mark = "imgPackDoneBox",
     .title = "Pack voltage",
     .outcome = "Pack voltage calibration",
     .separate = true},
    {.id = "board-offset-hardware",
     .trigger = "btnBoardOffsett",
     .done_mark = "imgBoardOffDone",
     .title = "Board offset (hardware)",
     .outcome = "Hardware board offset calibration",
     .separate = true,
     .hidden_button = true},
    {.id = "board-offset-software",
     .trigger = "cmdSWBrdOffsetCal",
     .done_mark = "imgBoardOffDone",
     .title = "Board offset (software)",
     .outcome = "Software board offset calibration",
     .box = "txtBrdOffTime",
     .separate = true},
    {.id = "bus", .title = "Bus transfers", .outcome = "Bus transfers"},
    {.id = "restore", .title = "Restore", .outcome = "Restore"},
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
