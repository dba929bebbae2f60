// The series capacitor count from Operation Cfg in data flash.
#pragma once

#include <cstdint>
#include <memory>

#include "runs/page_host.h"

namespace vx {

// 0: the count is usable, or its read failed and 5 was taken (the message was shown); 1: the
// count is not from 2 to 5 (the message was shown). Raises RunTimeError without an adapter.
std::int32_t ReadNumberofConfiguredCapacitors(PageHost& host);

// The adapter of the most recent show, held for the caller's whole run (a show during one of
// its waits may replace the module's reference); a run-time failure when there is none.
std::shared_ptr<SMBusAdapter> RequireAdapter(PageHost& host);

}  // namespace vx
