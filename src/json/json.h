// The JSON the system reads and writes outside the plug-in: records, simulator states, limits,
// scripts, meter readings. Text from outside is parsed with a bound on its nesting: copying,
// comparing or printing a tree recurses once per level, so a file or a database row nested
// thousands deep would end the program on its stack instead of being refused.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string_view>

namespace vx {

using Json = nlohmann::ordered_json;

// No record, state, limits file or script line the system writes nests deeper than a few
// levels; this leaves room for what a host adds and refuses what only an attack holds.
inline constexpr std::size_t kMaxJsonDepth = 32;

class JsonTooDeep : public std::runtime_error {
 public:
  JsonTooDeep();
};

// Throws JsonTooDeep when the text's arrays and objects nest deeper than kMaxJsonDepth.
void CheckJsonDepth(std::string_view text);

// The text as JSON. Throws JsonTooDeep when arrays and objects nest deeper than kMaxJsonDepth
// (found before any tree is built), else Json::parse_error as Json::parse does.
Json ParseJson(std::string_view text);

// A JSON line whose texts came from users, devices or files: bytes that are not UTF-8 are
// replaced rather than thrown about.
std::string DumpJson(const Json& j);

}  // namespace vx
