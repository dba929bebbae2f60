// A small INI reader with the integer semantics of the private-profile functions: section and
// key names compare case-insensitively, the first match wins, the value is the integer that
// its text begins with, and a missing file, section or key gives the fallback. The file is
// read afresh on every call; nothing is cached.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

std::int32_t GetPrivateProfileInt(std::string_view section, std::string_view key,
                                  std::int32_t fallback, const std::string& path);

// The platform's own private-profile integer reading, which the configuration reader uses: on
// Windows the system's GetPrivateProfileIntA, elsewhere GetPrivateProfileInt above.
std::int32_t ReadProfileInt(const std::string& section, const std::string& key,
                            std::int32_t fallback, const std::string& path);

// The raw text of a key, or nullopt when file, section or key is missing.
std::optional<std::string> GetPrivateProfileText(std::string_view section, std::string_view key,
                                                 const std::string& path);

// The integer a value text begins with: blanks, an optional sign, then decimal digits or a
// 0x hex number. Digits beyond 32 bits wrap, as the platform's integer reading does. A text
// without digits gives 0.
std::int32_t ParseProfileInt(std::string_view text);

}  // namespace vx
