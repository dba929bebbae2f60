// modErrCodes: the text of an adapter or engine status code.
#pragma once

#include <cstdint>
#include <string>

namespace vx {

std::string GetErrorText(std::int32_t code);

}  // namespace vx
