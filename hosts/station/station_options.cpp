#include "hosts/station/station_options.h"

#include <array>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "config/plugin_folder.h"
#include "device/numeric.h"
#include "records/store.h"

namespace vx {

namespace {

// A whole number into `out`: "" or what fits.
template <typename T>
std::string Whole(const std::string& text, std::int64_t min, std::int64_t max, T& out) {
  try {
    out = static_cast<T>(ParseInteger(text, min, max));
    return "";
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
}

// A label a person or a scanner gave: cleaned (outer blanks, a trailing CR/LF), or refused.
std::string Label(const std::string& text, std::string& out) {
  std::string label = text;
  const std::string why = records::CleanLabel(label);
  if (!why.empty()) {
    return "\"" + records::Printable(label) + "\" " + why + " (a label: at most " +
           std::to_string(records::kMaxLabel) + " characters, no control characters)";
  }
  out = label;
  return "";
}

std::string Folder(const std::string& path, std::string& out) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    out = path;
    return "";
  }
  if (std::filesystem::exists(path, ec)) return path + " is a file, not a folder";
  return "the folder " + path + " does not exist";
}

using S = StationSettings;
using Text = const std::string&;

constexpr std::array<StationOption, 21> kOptions = {{
    {"--sim", "STATE.json", "use the simulated device (the default), loaded from STATE.json",
     [](S& s, Text t) {
       s.device.use_sim = true;
       s.device.sim_state = t;
       return std::string();
     },
     true},
    {"--bus", "DEV", "use a Linux SMBus: /dev/i2c-N or N",
     [](S& s, Text t) {
       s.device.use_sim = false;
       s.device.bus = t;
       return std::string();
     }},
    {"--address", "A", "7-bit device address, 0x03 to 0x77 (default 0x0B)",
     [](S& s, Text t) { return Whole(t, 0x03, 0x77, s.device.address7); }},
    {"--pec", nullptr, "packet error checking on the bus",
     [](S& s, Text) {
       s.device.pec = true;
       return std::string();
     }},
    {"--config-dir", "DIR", "folder of Config.ini (default: the plug-in's)",
     [](S& s, Text t) { return Folder(t, s.config_dir); }},
    {"--target-info", "TEXT", "device/version text (default 800.1.02)",
     [](S& s, Text t) {
       s.target_info = t;
       return std::string();
     }},
    {"--plugin", "PATH", "the plug-in library to load",
     [](S& s, Text t) {
       s.plugin = t;
       return std::string();
     }},
    {"--wait-bus", "S",
     "seconds to wait for another program using the device, 0 to 3600 (default 10; the "
     "window's: 1)",
     [](S& s, Text t) { return Whole(t, 0, 3600, s.bus_wait_s); }},
    {"--records", "WHERE",
     "where run records go: an SQLite file, postgresql://..., or none (default: "
     "$XDG_DATA_HOME/vx58420/records.sqlite)",
     [](S& s, Text t) {
       s.station.records = t == "none" ? std::nullopt : std::optional<std::string>(t);
       return std::string();
     }},
    {"--records-timeout", "S",
     "seconds the records database may take to answer, 1 to 600, else the record goes to a "
     "file (default 10)",
     [](S& s, Text t) { return Whole(t, 1, 600, s.records_timeout_s); }},
    {"--station", "NAME", "the station's name (default: the host name)",
     [](S& s, Text t) { return Label(t, s.station.station); }},
    {"--operator", "NAME", "who runs it (default: the login name)",
     [](S& s, Text t) { return Label(t, s.station.operator_name); }},
    {"--unit", "LABEL", "the unit's serial number or label",
     [](S& s, Text t) { return Label(t, s.station.unit); }},
    {"--limits", "FILE",
     "JSON file of the largest residual each reading may keep after a calibration",
     [](S& s, Text t) {
       try {
         s.limits = LoadLimits(t);
         return std::string();
       } catch (const std::invalid_argument& e) {
         return std::string(e.what());
       }
     }},
    {"--max-correction", "PCT",
     "how far a reference may be from the reading it corrects, 1 to 100 percent (default: "
     "Config.ini's [Host] MaxCorrectionPct, else 10)",
     [](S& s, Text t) { return Whole(t, 1, 100, s.max_correction_pct); }},
    {"--meter", "METER",
     "a bench meter through libsigrok, DRIVER:KEY=VALUE...: a reference given as \"meter\" is "
     "read from it",
     [](S& s, Text t) {
       s.meter.address = t;
       return std::string();
     }},
    {"--meter-timeout", "S",
     "seconds the meter may take to answer, when opened and for each reading, 1 to 600 "
     "(default 5)",
     [](S& s, Text t) {
       int seconds = 5;
       std::string why = Whole(t, 1, 600, seconds);
       s.meter.timeout = std::chrono::seconds(seconds);
       return why;
     }},
    {"--meter-readings", "N",
     "readings that must agree before a reference is taken, 2 to 100 "
     "(default 5)",
     [](S& s, Text t) { return Whole(t, 2, 100, s.meter.window); }},
    {"--meter-tolerance", "X",
     "how far they may lie apart, in the page's unit, 0 to 100 (default: 0.5 mV or 0.05 %)",
     [](S& s, Text t) {
       try {
         const double v = TextToDouble(t);
         if (!std::isfinite(v) || v < 0 || v > 100) throw std::invalid_argument("");
         s.meter.tolerance = v;
         return std::string();
       } catch (const std::exception&) {
         return "\"" + t + "\" is not a number from 0 to 100";
       }
     }},
    {"--fixture", "PROGRAM",
     "a program that puts the probes at the position it is given, before each reading",
     [](S& s, Text t) {
       s.meter.fixture = t;
       return std::string();
     }},
    {"--fixture-timeout", "S",
     "seconds the fixture may take to move the probes, 1 to 3600, else it is killed (default "
     "60)",
     [](S& s, Text t) {
       int seconds = 60;
       std::string why = Whole(t, 1, 3600, seconds);
       s.meter.fixture_timeout = std::chrono::seconds(seconds);
       return why;
     }},
}};

}  // namespace

std::span<const StationOption> StationOptions() {
  return kOptions;
}

void Configure(Station& s, const StationSettings& o, const std::string& program) {
  s.info = o.station;
  s.info.program = program;
  s.limits = o.limits;
  s.bus_wait = std::chrono::seconds(o.bus_wait_s);
  records::SetWaitLimit(std::chrono::seconds(o.records_timeout_s));
}

void ReadGuard(Station& s, const StationSettings& o, const std::string& library) {
  s.guard = ReadGuardSettings(
      ConfigPathIn(ConfigFolder(o.config_dir, library.empty() ? o.plugin : library)));
  if (o.max_correction_pct > 0) s.guard.max_correction_pct = o.max_correction_pct;
}

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

}  // namespace vx
