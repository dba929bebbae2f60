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

void Out::Failed(const std::string& stream) {
  if (failed_) return;
  failed_ = true;
  if (on_failure_) on_failure_(stream);
}

void Out::Check(std::ostream& s, const char* name) {
  if (!s) Failed(name);
}

void Out::Text(const std::string& text) const {
  if (!json_) std::cout << text << "\n" << std::flush;
  Check(std::cout, "standard output");
}

void Out::Object(const Json& j) const {
  if (json_) std::cout << DumpJson(j) << "\n" << std::flush;
  Check(std::cout, "standard output");
}

void Out::Error(const std::string& text) {
  if (errors_as_json_) {
    std::cerr << DumpJson(Json{{"error", text}}) << "\n" << std::flush;
  } else {
    std::cerr << "vx58420cal: " << text << "\n" << std::flush;
  }
  Check(std::cerr, "standard error");
}

}  // namespace vx::cli
