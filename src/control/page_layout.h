// The calibration page as designed: every control with its place, text and look.
#pragma once

#include "form/form_model.h"

namespace vx {

// Fills an empty model with the page in its design state.
void BuildCalibrationPage(FormModel& form);

}  // namespace vx
