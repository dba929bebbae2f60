// Before windows.h, whose GetPrivateProfileInt macro would rename the portable reader.
#include "config/ini_reader.h"
//
#include <windows.h>

namespace vx {

std::int32_t ReadProfileInt(const std::string& section, const std::string& key,
                            std::int32_t fallback, const std::string& path) {
  // The system returns the value as UINT; its bits are the signed integer of the text.
  const UINT v = GetPrivateProfileIntA(section.c_str(), key.c_str(), fallback, path.c_str());
  return static_cast<std::int32_t>(v);
}

}  // namespace vx
