// The folder the running program was started from: where an installed program finds the
// libraries it loads on demand beside it.
#pragma once

#include <filesystem>

namespace vx {

// Empty when the program's own path cannot be read.
std::filesystem::path ProgramFolder();

}  // namespace vx
