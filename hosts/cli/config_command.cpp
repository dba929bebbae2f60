#include "hosts/cli/config_command.h"

#include <filesystem>
#include <iomanip>
#include <sstream>

#include "config/mod_delays.h"
#include "config/plugin_folder.h"

namespace vx::cli {

namespace {

std::string PathOf(const Options& o) {
  return ConfigPathIn(ConfigFolder(o));
}

std::string OutOfRangeText(const Settings::OutOfRange& r) {
  return r.key + " = " + std::to_string(r.value) + " does not fit 16 bits; its default " +
         std::to_string(r.fallback) + " is used";
}

}  // namespace

int ConfigCommand(const Options& o) {
  const std::string path = PathOf(o);
  Settings s;
  ReadConfigIni(s, o.target_info, path);
  Out out(o.json);
  const bool found = std::filesystem::exists(path);
  Json settings = Json::array();
  Json refused = Json::array();
  out.Text("Config.ini: " + path + (found ? "" : " (not found: every setting is its default)"));
  out.Text("Target info: " + o.target_info);
  for (const SettingSource& src : DescribeSettings(s, o.target_info, path)) {
    settings.push_back(Json{{"key", src.key},
                            {"value", src.value},
                            {"section", src.section.empty() ? Json(nullptr) : Json(src.section)}});
    std::ostringstream line;
    line << "  " << std::left << std::setw(16) << src.key << std::right << std::setw(8) << src.value
         << "  " << (src.section.empty() ? "default" : "[" + src.section + "]");
    out.Text(line.str());
  }
  for (const auto& r : s.out_of_range) {
    refused.push_back(Json{{"key", r.key}, {"value", r.value}, {"default", r.fallback}});
    out.Text("  out of range: " + OutOfRangeText(r));
  }
  out.Object(Json{{"config", path},
                  {"found", found},
                  {"target_info", o.target_info},
                  {"settings", settings},
                  {"out_of_range", refused}});
  return kExitOk;
}

void WarnOutOfRange(Session& s) {
  Settings settings;
  ReadConfigIni(settings, s.options().target_info, PathOf(s.options()));
  for (const auto& r : settings.out_of_range)
    Out::Error("warning: Config.ini: " + OutOfRangeText(r));
}

}  // namespace vx::cli
