// A file written whole or not at all: into a temporary file beside it, renamed over it only once
// everything is written, so a failure never cuts or empties a file that is there.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace vx {

// Throws std::runtime_error (or what `write` throws) with the temporary file removed.
void WriteWholeFile(const std::string& file, const std::function<void(std::ostream&)>& write);

}  // namespace vx
