#include "json/json.h"

#include <string>

namespace vx {

JsonTooDeep::JsonTooDeep()
    : std::runtime_error("nested deeper than " + std::to_string(kMaxJsonDepth) + " levels") {}

void CheckJsonDepth(std::string_view text) {
  // One pass over the text, outside strings: the depth is known before the parser builds a
  // tree that nothing could copy.
  std::size_t depth = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) throw JsonTooDeep();
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
}

Json ParseJson(std::string_view text) {
  CheckJsonDepth(text);
  return Json::parse(text);
}

std::string DumpJson(const Json& j) {
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace vx
