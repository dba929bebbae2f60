#include "hosts/cli/output.h"

#include <iostream>

namespace vx::cli {

void Out::Print(const std::string& text, const Json& j) const {
  if (json_) {
    Object(j);
  } else {
    Text(text);
  }
}

void Out::Text(const std::string& text) const {
  if (!json_) std::cout << text << "\n" << std::flush;
}

void Out::Object(const Json& j) const {
  if (json_) std::cout << Dump(j) << "\n" << std::flush;
}

void Out::Error(const std::string& text) {
  if (errors_as_json_) {
    std::cerr << Dump(Json{{"error", text}}) << "\n" << std::flush;
  } else {
    std::cerr << "vx58420cal: " << text << "\n" << std::flush;
  }
}

std::string Dump(const Json& j) {
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace vx::cli
