// The page at rest: the selections and the visible buttons usable, the scan running.
#pragma once

#include "form/form_model.h"

namespace vx::testing {

inline bool PageAtRest(const FormModel& f) {
  for (const char* c : {"btnCalibrate", "btnCalPackVolt", "cmdSWBrdOffsetCal", "chkCCOffset",
                        "chkVoltageCal", "chkTempCal", "chkSystemVoltage", "tmrScan"}) {
    if (!f.At(c).enabled()) return false;
  }
  return f.At("Frame1", 0).enabled() && f.At("Frame1", 1).enabled() && f.At("Frame1", 3).enabled();
}

}  // namespace vx::testing
