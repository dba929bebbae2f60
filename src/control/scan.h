// One measurement scan: nine word reads, written as text into the page's measured boxes.
#pragma once

#include <cstdint>

#include "device/smbus_adapter.h"
#include "form/form_model.h"

namespace vx {

inline constexpr const char kErrRd[] = "Err_Rd";

// Ends silently at the first run-time failure (no adapter, a sum beyond 16 bits); boxes
// written before it keep their new text. Never throws.
void ScanTick(FormModel& form, SMBusAdapter* adapter, std::int16_t addr) noexcept;

}  // namespace vx
