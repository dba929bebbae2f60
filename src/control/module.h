// Module-level state, once per user-interface thread.
#pragma once

#include "runs/module_state.h"

namespace vx {

ModuleState& ThisThreadModule();
// A fresh state for this thread (tests).
void ResetThisThreadModule();

}  // namespace vx
