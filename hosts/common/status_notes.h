// Plain words for the statuses the calibration engine raises itself (5001 and up), which the
// page shows only as "Error Code (decimal) N". The hosts print them beside the page's message;
// the page's own texts stay as they are.
#pragma once

#include <string>

#include "device/smbus_adapter.h"

namespace vx {

// "" for a status without a note.
std::string StatusNote(Status s);
// The note for the engine status a page message names ("... Error code = Error Code (decimal)
// 5003"), or "".
std::string NoteForMessage(const std::string& message);

}  // namespace vx
