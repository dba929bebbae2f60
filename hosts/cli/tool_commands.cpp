// The commands around the page: the settings Config.ini gives, the plug-in's registration, the
// text of a status code, and a simulator state to start from.
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "config/err_codes.h"
#include "config/ini_reader.h"
#include "config/mod_delays.h"
#include "config/plugin_folder.h"
#include "control/registration.h"
#include "engine/status_codes.h"
#include "hosts/cli/commands.h"
#include "hosts/station/guards.h"
#include "hosts/station/hosted_control.h"
#include "sim/random_unit.h"
#include "sim/sim_state.h"

namespace vx::cli {

namespace {

int ConfigCommand(const Options& o) {
  const std::string path = ConfigPathIn(ConfigFolder(o.config_dir, o.plugin));
  Settings s;
  ReadConfigIni(s, o.target_info, path);
  Out out(o.json);
  const bool found = std::filesystem::exists(path);
  Json settings = Json::array();
  Json refused = Json::array();
  out.Text("Config.ini: " + path + (found ? "" : " (not found: every setting is its default)"));
  out.Text("Target info: " + o.target_info);
  for (const SettingSource& src :
       ConfigSettings(ConfigFolder(o.config_dir, o.plugin), o.target_info)) {
    settings.push_back(Json{{"key", src.key},
                            {"value", src.value},
                            {"section", src.section.empty() ? Json(nullptr) : Json(src.section)}});
    std::ostringstream line;
    line << "  " << std::left << std::setw(16) << src.key << std::right << std::setw(8) << src.value
         << "  " << (src.section.empty() ? "default" : "[" + src.section + "]");
    out.Text(line.str());
  }
  for (const auto& r : s.out_of_range)
    refused.push_back(Json{{"key", r.key}, {"value", r.value}, {"default", r.fallback}});
  for (const std::string& w : ConfigWarnings(ConfigFolder(o.config_dir, o.plugin), o.target_info))
    out.Text("  out of range: " + w);
  out.Object(Json{{"config", path},
                  {"found", found},
                  {"target_info", o.target_info},
                  {"settings", settings},
                  {"out_of_range", refused}});
  return kExitOk;
}

// The plug-in's own registration, through its exports.
int Registration(const Options& o, bool add) {
  std::string error;
  auto plugin = Plugin::Open(o.plugin.empty() ? DefaultPluginPath() : o.plugin, error);
  if (!plugin) {
    Out::Error(error);
    return kExitSetup;
  }
  HResult hr = add ? plugin->Register() : plugin->Unregister();
  const std::string where = RegistrationPath(kProgID);
  Out(o.json).Print(std::string(add ? "DllRegisterServer" : "DllUnregisterServer") +
                        (hr == kS_OK ? " succeeded: " : " failed: ") + where +
                        (add ? " names " + plugin->path() : ""),
                    Json{{add ? "register" : "unregister", hr == kS_OK},
                         {"hresult", hr},
                         {"registration", where},
                         {"library", plugin->path()}});
  return hr == kS_OK ? kExitOk : kExitFailed;
}

int SimStateCommand(const Options& o, bool miscalibrated, int capacitors,
                    std::optional<std::uint64_t> random_unit) {
  sim::SimState state = random_unit     ? sim::RandomUnit(*random_unit, capacitors)
                        : miscalibrated ? sim::MiscalibratedState(capacitors)
                                        : sim::DefaultState(capacitors);
  if (!o.device.sim_state.empty()) {
    try {
      state = sim::LoadStateFile(o.device.sim_state);
    } catch (const std::exception& e) {
      Out::Error(e.what());
      return kExitFile;
    }
  }
  std::cout << sim::ToJson(state);
  return kExitOk;
}

}  // namespace

void AddToolCommands(CLI::App& app, Options&, std::vector<Command>& out) {
  auto* config = app.add_subcommand("config", "the settings read from Config.ini");
  out.emplace_back(config, ConfigCommand);
  auto* reg = app.add_subcommand("register", "register the plug-in (DllRegisterServer)");
  out.emplace_back(reg, [](Options& o) { return Registration(o, true); });
  auto* unreg = app.add_subcommand("unregister", "unregister the plug-in (DllUnregisterServer)");
  out.emplace_back(unreg, [](Options& o) { return Registration(o, false); });

  auto* errtext = app.add_subcommand("errtext", "print the text of a status code");
  auto code = std::make_shared<std::int32_t>(0);
  errtext->add_option("CODE", *code)->required()->transform(Whole(INT32_MIN, INT32_MAX));
  out.emplace_back(errtext, [code](Options& o) {
    // An engine status (5001 and up) is explained as a run explains it.
    const std::string note = StatusNote(*code);
    Json j{{"code", *code}, {"text", GetErrorText(*code)}};
    if (!note.empty()) j["note"] = note;
    Out(o.json).Print(GetErrorText(*code) + (note.empty() ? "" : "\n  (" + note + ")"), j);
    return kExitOk;
  });

  auto* simstate = app.add_subcommand("sim-state", "print a simulator state as JSON");
  auto miscalibrated = std::make_shared<bool>(false);
  auto capacitors = std::make_shared<int>(5);
  simstate->add_flag("--miscalibrated", *miscalibrated, "wrong gains, offsets and sensors");
  simstate->add_option("--capacitors", *capacitors, "configured series capacitors, 1 to 8")
      ->transform(Whole(1, 8));
  auto random_unit = std::make_shared<std::optional<std::uint64_t>>();
  simstate
      ->add_option("--random-unit", *random_unit,
                   "a unit of its own from a seed: true values, gains about 1 % off nominal, "
                   "sensor errors (a simulated line's units)")
      ->excludes("--miscalibrated");
  out.emplace_back(simstate, [miscalibrated, capacitors, random_unit](Options& o) {
    return SimStateCommand(o, *miscalibrated, *capacitors, *random_unit);
  });
}

}  // namespace vx::cli
