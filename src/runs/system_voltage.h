// The system voltage calibration: scales the system voltage gain in CalibrationData by
// actual / measured.
#pragma once

#include "device/smbus_adapter.h"
#include "runs/page_host.h"

namespace vx {

// The public method: 0 when no adapter transfer failed (including the cases where it stopped
// with its own message), else the failing transfer's status. Has its own failure trap.
Status CalSystemVoltage(PageHost& host);
// The same; *written tells whether the new gain reached data flash.
Status CalSystemVoltage(PageHost& host, bool& written);

}  // namespace vx
