// The calibrate-device run: the handler of the page's main button.
#pragma once

#include "runs/page_host.h"

namespace vx {

void btnCalibrate_Click(PageHost& host);

}  // namespace vx
