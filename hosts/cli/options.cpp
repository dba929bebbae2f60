#include "hosts/cli/options.h"

#include <filesystem>
#include <stdexcept>

#include "records/record.h"

namespace vx::cli {

std::int64_t ParseInteger(const std::string& text, std::int64_t min, std::int64_t max) {
  std::size_t used = 0;
  long long v = 0;
  try {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    v = hex ? std::stoll(text.substr(2), &used, 16) : std::stoll(text, &used, 10);
    if (hex) used += 2;
  } catch (const std::exception&) {
    throw std::invalid_argument("\"" + text + "\" is not a number");
  }
  if (used != text.size() || text.find_first_of(" \t\n") != std::string::npos) {
    throw std::invalid_argument("\"" + text + "\" is not a number");
  }
  if (v < min || v > max) {
    throw std::invalid_argument("\"" + text + "\" is outside " + std::to_string(min) + " to " +
                                std::to_string(max));
  }
  return v;
}

CLI::Validator Whole(std::int64_t min, std::int64_t max) {
  return CLI::Validator(
      [min, max](std::string& text) -> std::string {
        try {
          text = std::to_string(ParseInteger(text, min, max));
          return "";
        } catch (const std::invalid_argument& e) {
          return e.what();
        }
      },
      std::to_string(min) + " to " + std::to_string(max));
}

namespace {

// An existing folder, said in the user's words.
CLI::Validator Folder() {
  return CLI::Validator(
      [](std::string& path) -> std::string {
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) return "";
        if (std::filesystem::exists(path, ec)) return path + " is a file, not a folder";
        return "the folder " + path + " does not exist";
      },
      "FOLDER");
}

// A label a person or a scanner gave: cleaned (outer blanks, a trailing CR/LF), or refused.
CLI::Validator Label() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        std::string why = records::CleanLabel(text);
        return why.empty()
                   ? ""
                   : "\"" + records::Printable(text) + "\" " + why + " (a label: at most " +
                         std::to_string(records::kMaxLabel) + " characters, no control characters)";
      },
      "LABEL");
}

}  // namespace

void AddGlobalOptions(CLI::App& app, Options& o) {
  auto* sim = app.add_option("--sim", o.device.sim_state,
                             "use the simulated device (the default), loaded from STATE.json")
                  ->expected(0, 1);
  auto* bus = app.add_option("--bus", o.device.bus, "use a Linux SMBus: /dev/i2c-N or N");
  bus->excludes(sim);
  app.add_option("--address", o.device.address7, "7-bit device address (default 0x0B)")
      ->transform(Whole(0x03, 0x77));
  app.add_flag("--pec", o.device.pec, "packet error checking on the bus");
  app.add_option("--save-state", o.save_state, "write the simulator's state here afterwards")
      ->excludes(bus);
  app.add_option("--trace", o.trace, "write every transfer here as JSON lines");
  app.add_option("--config-dir", o.config_dir, "folder of Config.ini (default: the plug-in's)")
      ->check(Folder());
  app.add_option("--target-info", o.target_info, "device/version text (default 800.1.02)");
  app.add_option("--plugin", o.plugin, "the plug-in library to load");
  app.add_option("--wait-bus", o.bus_wait_s,
                 "seconds to wait for another program using the device (default 10)")
      ->transform(Whole(0, 3600));
  app.add_option("--records", o.records,
                 "where run records go: an SQLite file, postgresql://..., or none "
                 "(default: $XDG_DATA_HOME/vx58420/records.sqlite)");
  app.add_option("--records-timeout", o.records_timeout_s,
                 "seconds the records database may take to answer, else the record goes to a "
                 "file (default 10)")
      ->transform(Whole(1, 600));
  app.add_option("--station", o.station.station, "the station's name (default: the host name)")
      ->transform(Label());
  app.add_option("--operator", o.station.operator_name, "who runs it (default: the login name)")
      ->transform(Label());
  app.add_option("--unit", o.station.unit, "the unit's serial number or label")->transform(Label());
  app.add_option("--limits", o.limits_file,
                 "JSON file of the largest residual each reading may keep after a calibration");
  app.add_option("--max-correction", o.max_correction_pct,
                 "how far a reference may be from the reading it corrects, in percent (default: "
                 "Config.ini's [Host] MaxCorrectionPct, else 10)")
      ->transform(Whole(1, 100));
  app.add_flag("--trust-references", o.trust_references,
               "go on when a reference is far from its reading or nobody gave it: the objections "
               "are printed and recorded, the page's own checks still run");
  app.add_flag("--json", o.json, "JSON lines output");
  app.add_flag("--fast", o.fast, "simulator only: waits take no real time")->excludes(bus);
  app.add_option("--meter", o.meter.address,
                 "a bench meter through libsigrok, DRIVER:KEY=VALUE...: a reference given as "
                 "\"meter\" is read from it");
  app.add_option("--fixture", o.meter.fixture,
                 "a program that puts the probes at the position it is given, before each reading");
  app.add_option("--fixture-timeout", o.meter.fixture_timeout_s,
                 "seconds the fixture may take to move the probes, else it is killed (default 60)")
      ->transform(Whole(1, 3600));
  app.add_option("--meter-timeout", o.meter.timeout_s,
                 "seconds the meter may take to answer, when opened and for each reading "
                 "(default 5)")
      ->transform(Whole(1, 600));
  app.add_option("--meter-readings", o.meter.window,
                 "readings that must agree before a reference is taken (default 5)")
      ->transform(Whole(2, 100));
  app.add_option("--meter-tolerance", o.meter.tolerance,
                 "how far they may lie apart, in the page's unit (default: 0.5 mV or 0.05 %)")
      ->check(CLI::Range(0.0, 100.0));
}

void FinishOptions(const CLI::App& app, Options& o) {
  o.device.use_sim = app.count("--bus") == 0;
  o.station.records = o.records == "none" ? std::nullopt : std::optional<std::string>(o.records);
  if (!o.limits_file.empty()) o.limits = LoadLimits(o.limits_file);
}

}  // namespace vx::cli
