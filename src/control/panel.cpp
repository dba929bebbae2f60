#include "control/panel.h"

namespace vx {

namespace {

constexpr const char* kButtons[] = {"btnCalibrate", "btnCalPackVolt", "btnBoardOffsett",
                                    "cmdSWBrdOffsetCal"};

void SetSelections(FormModel& f, bool enabled) {
  for (const char* name : {"chkCCOffset", "chkVoltageCal", "chkTempCal", "chkSystemVoltage"}) {
    f.At(name).SetEnabled(enabled);
  }
  for (int i : {0, 1, 3})
    f.At("Frame1", i).SetEnabled(enabled);
}

}  // namespace

void DisableButtons(FormModel& f) {
  for (const char* name : kButtons)
    f.At(name).SetEnabled(false);
}

void EnableButtons(FormModel& f) {
  f.At("btnCalibrate").SetEnabled(true);
  f.At("btnCalPackVolt").SetEnabled(true);
  // The board offset buttons come back only if they are visible (their own flag).
  for (const char* name : {"btnBoardOffsett", "cmdSWBrdOffsetCal"}) {
    Control& b = f.At(name);
    if (b.visible()) b.SetEnabled(true);
  }
}

void DisableCalSelections(FormModel& f) {
  SetSelections(f, false);
}
void EnableCalSelections(FormModel& f) {
  SetSelections(f, true);
}

}  // namespace vx
