// Enabling and disabling the page around a run.
#pragma once

#include "form/form_model.h"

namespace vx {

void DisableButtons(FormModel& f);
void EnableButtons(FormModel& f);
void DisableCalSelections(FormModel& f);
void EnableCalSelections(FormModel& f);

}  // namespace vx
