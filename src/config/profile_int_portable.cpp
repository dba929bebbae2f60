#include "config/ini_reader.h"

namespace vx {

std::int32_t ReadProfileInt(const std::string& section, const std::string& key,
                            std::int32_t fallback, const std::string& path) {
  return GetPrivateProfileInt(section, key, fallback, path);
}

}  // namespace vx
