#include "records/limits.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "records/readings.h"

namespace vx {

Limits LoadLimits(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw std::invalid_argument(
        "the limits file " + path +
        (std::filesystem::exists(path, ec) ? " is not a regular file" : " does not exist"));
  }
  std::ifstream in(path);
  if (!in) throw std::invalid_argument("cannot read the limits file " + path);
  records::Json j;
  try {
    j = ParseJson(std::string(std::istreambuf_iterator<char>(in), {}));
  } catch (const records::Json::parse_error& e) {
    throw std::invalid_argument("the limits file " + path + " is not JSON (at byte " +
                                std::to_string(e.byte) + ")");
  } catch (const records::Json::exception&) {
    throw std::invalid_argument("the limits file " + path + " holds a number out of range");
  } catch (const JsonTooDeep& e) {
    throw std::invalid_argument("the limits file " + path + " is " + e.what());
  }
  if (!j.is_object()) {
    throw std::invalid_argument("the limits file " + path +
                                " holds one object: reading names and their largest residual");
  }
  Limits l{path, {}};
  for (auto& [name, value] : j.items()) {
    bool known = false;
    for (const records::PageRow& r : records::kReadings)
      known = known || name == r.name;
    if (!known) {
      throw std::invalid_argument("the limits file " + path + " names \"" + name +
                                  "\", which is not a reading (Capacitor 1 ... Stack Voltage, "
                                  "System voltage, Temperature, Current)");
    }
    if (!value.is_number() || value.get<double>() < 0) {
      throw std::invalid_argument("the limits file " + path + ": \"" + name + "\" is " +
                                  DumpJson(value) +
                                  (value.is_number() ? ", below 0" : ", not a number") +
                                  " (it takes the largest residual, 0 or more)");
    }
    l.max_residual[name] = value.get<double>();
  }
  return l;
}

records::Json Judge(const Limits& limits, const records::Json& residuals) {
  records::Json checks = records::Json::array();
  bool passed = true;
  for (const auto& [name, limit] : limits.max_residual) {
    if (!residuals.is_object() || !residuals.contains(name)) continue;  // not calibrated
    const records::Json& r = residuals[name];
    bool ok = r.is_number() && std::fabs(r.get<double>()) <= limit;
    passed = passed && ok;
    checks.push_back({{"reading", name}, {"residual", r}, {"limit", limit}, {"passed", ok}});
  }
  return {{"file", limits.file}, {"passed", passed}, {"checks", checks}};
}

}  // namespace vx
