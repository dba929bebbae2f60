// What the command line prints: text for people, or with --json one JSON object a line and
// nothing else on standard output. Errors go to standard error with the program's name.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "json/json.h"

namespace vx::cli {

using vx::Json;

class Out {
 public:
  explicit Out(bool json) : json_(json) {}
  bool json() const { return json_; }
  // The text line, or with --json the object.
  void Print(const std::string& text, const Json& j) const;
  void Text(const std::string& text) const;  // text mode only
  void Object(const Json& j) const;          // JSON mode only
  // On standard error: "vx58420cal: text", or with --json a JSON object {"error": text}.
  static void Error(const std::string& text);
  static void ErrorsAsJson(bool on) { errors_as_json_ = on; }
  // Told once, with the stream's name, when a write to standard output or standard error (or
  // another of the program's outputs, Failed()) did not go through: a full disk, a file size
  // limit, a reader that went away.
  static void OnFailure(std::function<void(const std::string& stream)> told) {
    on_failure_ = std::move(told);
    failed_ = false;
  }
  static void Failed(const std::string& stream);
  static bool failed() { return failed_; }

 private:
  static void Check(std::ostream& s, const char* name);
  static inline bool errors_as_json_ = false;
  static inline bool failed_ = false;
  static inline std::function<void(const std::string& stream)> on_failure_;
  bool json_;
};

}  // namespace vx::cli
