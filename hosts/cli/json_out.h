// JSON output of texts that come from users, devices or files: bytes that are not UTF-8 are
// replaced rather than thrown about.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace vx::cli {

template <typename Json>
std::string Dump(const Json& j) {
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace vx::cli
