// What the runs need of the control that shows them: the page, the control's fields, the
// module state, the platform, the scan and the panel's enable/disable operations.
#pragma once

#include <cstdint>
#include <string>

#include "engine/cal_request.h"
#include "form/form_model.h"
#include "platform/platform.h"
#include "runs/module_state.h"

namespace vx {

// Per-instance state of the control.
struct CalFields {
  std::int16_t nTargetAddr = 0;
  std::string sDevVer;
  std::int16_t nDVMAC = 0;
  VBool bChargeFetOn = 0;
  VBool bVFetOn = 0;
  std::int16_t nCapCount = 0;
};

class PageHost {
 public:
  virtual ~PageHost() = default;
  virtual FormModel& Form() = 0;
  virtual CalFields& Fields() = 0;
  virtual ModuleState& Module() = 0;
  virtual Platform& GetPlatform() = 0;

  virtual void tmrScan_Timer() = 0;
  virtual void DisableButtons() = 0;
  virtual void EnableButtons() = 0;
  virtual void DisableCalSelections() = 0;
  virtual void EnableCalSelections() = 0;
  virtual void DisableAllControls() = 0;
  virtual void EnableAllControls() = 0;
};

}  // namespace vx
