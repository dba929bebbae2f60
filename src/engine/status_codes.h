// The engine's own statuses in one place: how a device's result word becomes a status, and what
// each status means in plain words (the page shows only "Error Code (decimal) N"; hosts print
// the meaning beside it).
#pragma once

#include <cstdint>
#include <string>

#include "device/smbus_adapter.h"

namespace vx {

// The status for a result word: the lowest set bit of the table decides; bits 9 to 12 are not
// looked at (kErrResultUnknownBits when only they are set).
Status CalStatusToError(std::uint8_t hi, std::uint8_t lo);

// What an engine status (5001 and up) means; "" for a status without a note.
std::string StatusNote(Status s);
// The note for the engine status a page message names ("... Error code = Error Code (decimal)
// 5003"), or "".
std::string NoteForMessage(const std::string& message);

}  // namespace vx
