#include "hosts/station/hosted_control.h"
#include "config/ini_reader.h"
#include "device/numeric.h"
#include "hosts/station/guards.h"

#include <filesystem>

#include "config/mod_delays.h"
#include "config/plugin_folder.h"

namespace vx {

HostedControl::~HostedControl() {
  if (cal_) cal_->Release();
}

bool HostedControl::Load(const std::string& library, std::string& error) {
  plugin_ = Plugin::Find(library, error);
  if (!plugin_) return false;
  cal_ = plugin_->CreateCal(error);
  return cal_ != nullptr;
}

void HostedControl::Show(const HostProperties& p) {
  site_.SetAdapter(device_.bus());
  PlaceAndShow(*cal_, site_, p);
}

std::string ConfigFolder(const std::string& config_dir, const std::string& library) {
  if (!config_dir.empty()) return config_dir;
  std::string lib = library.empty() ? DefaultPluginPath() : library;
  return std::filesystem::path(lib).parent_path().string();
}

std::vector<SettingSource> ConfigSettings(const std::string& folder,
                                          const std::string& target_info) {
  const std::string path = ConfigPathIn(folder);
  Settings s;
  ReadConfigIni(s, target_info, path);
  std::vector<SettingSource> out = DescribeSettings(s, target_info, path);
  const auto pct = static_cast<std::int32_t>(ReadGuardSettings(path).max_correction_pct);
  out.push_back({"MaxCorrectionPct", pct,
                 ReadProfileInt("Host", "MaxCorrectionPct", -1, path) == pct ? "Host" : ""});
  return out;
}

std::vector<std::string> ConfigWarnings(const std::string& folder, const std::string& target_info) {
  Settings s;
  ReadConfigIni(s, target_info, ConfigPathIn(folder));
  std::vector<std::string> out;
  const std::string path = ConfigPathIn(folder);
  std::error_code ec;
  if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) {
    out.push_back(path + " is not a regular file and is not read: every setting is its default");
  }
  for (const auto& r : s.out_of_range) {
    out.push_back(r.key + " = " + std::to_string(r.value) + " does not fit 16 bits; its default " +
                  std::to_string(r.fallback) + " is used");
  }
  // The hosts' own setting.
  const std::int32_t pct = ReadProfileInt("Host", "MaxCorrectionPct", -1, path);
  if (pct != -1 && (pct < 1 || pct > 100)) {
    out.push_back("[Host] MaxCorrectionPct = " + std::to_string(pct) + " is outside 1 to 100; " +
                  FormatDouble(GuardSettings{}.max_correction_pct) + " is used");
  }
  return out;
}

}  // namespace vx
