// vx58420cal: the calibration control without a window, for scripts and production lines.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "config/err_codes.h"
#include "device/numeric.h"
#include "hosts/cli/bus_commands.h"
#include "hosts/cli/config_command.h"
#include "hosts/cli/page_commands.h"
#include "hosts/cli/records_commands.h"
#include "hosts/cli/session.h"
#include "hosts/cli/signals.h"
#include "sim/sim_state.h"
#include "version.h"

using namespace vx::cli;

namespace {

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  std::string item;
  while (std::getline(ss, item, ','))
    out.push_back(item);
  return out;
}

// An option's whole number, or std::invalid_argument naming the option.
std::int64_t Int(const char* option, const std::string& text, std::int64_t min, std::int64_t max) {
  try {
    return ParseInteger(text, min, max);
  } catch (const std::invalid_argument& e) {
    throw std::invalid_argument(std::string(option) + ": " + e.what());
  }
}

std::optional<std::string> Given(CLI::App* cmd, const char* option, const std::string& value) {
  return cmd->count(option) ? std::optional<std::string>(value) : std::nullopt;
}

// The plug-in's own registration, through its exports.
int Registration(const Options& o, bool add) {
  std::string error;
  auto plugin = vx::Plugin::Open(o.plugin.empty() ? vx::DefaultPluginPath() : o.plugin, error);
  if (!plugin) {
    Out::Error(error);
    return kExitSetup;
  }
  vx::HResult hr = add ? plugin->Register() : plugin->Unregister();
  Out(o.json).Print(std::string(add ? "DllRegisterServer" : "DllUnregisterServer") +
                        (hr == vx::kS_OK ? " succeeded." : " failed."),
                    Json{{add ? "register" : "unregister", hr == vx::kS_OK}, {"hresult", hr}});
  return hr == vx::kS_OK ? kExitOk : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vx58420 supercapacitor calibration: the calibration page without a window",
               "vx58420cal"};
  app.set_version_flag("--version", std::string("vx58420cal ") + VX_VERSION);
  app.require_subcommand(1);
  app.fallthrough();  // global options may also follow the command
  Options o;
  std::string sim_opt, address = "0x0B", wait_bus = "10";
  app.add_option("--sim", sim_opt, "use the simulated device (the default), loaded from STATE.json")
      ->expected(0, 1);
  app.add_option("--bus", o.device.bus, "use a Linux SMBus: /dev/i2c-N or N");
  app.add_option("--address", address, "7-bit device address (default 0x0B)");
  app.add_flag("--pec", o.device.pec, "packet error checking on the bus");
  app.add_option("--save-state", o.save_state, "write the simulator's state here afterwards");
  app.add_option("--trace", o.trace, "write every transfer here as JSON lines");
  app.add_option("--config-dir", o.config_dir, "folder of Config.ini (default: the plug-in's)");
  app.add_option("--target-info", o.target_info, "device/version text (default 800.1.02)");
  app.add_option("--plugin", o.plugin, "the plug-in library to load");
  app.add_option("--wait-bus", wait_bus,
                 "seconds to wait for another program using the device (default 10)");
  app.add_option("--records", o.station.records,
                 "where run records go: an SQLite file, postgresql://..., or none "
                 "(default: $XDG_DATA_HOME/vx58420/records.sqlite)");
  app.add_option("--station", o.station.station, "the station's name (default: the host name)");
  app.add_option("--operator", o.station.operator_name, "who runs it (default: the login name)");
  app.add_option("--unit", o.station.unit, "the unit's serial number or label");
  std::string limits_file;
  app.add_option("--limits", limits_file,
                 "JSON file of the largest residual each reading may keep after a calibration");
  app.add_flag("--json", o.json, "JSON lines output");
  app.add_flag("--fast", o.fast, "simulator only: waits take no real time");

  auto* read = app.add_subcommand("read", "live readings: scan ticks");
  std::string ticks = "1";
  read->add_option("--ticks", ticks, "number of scans, 600 ms apart (default 1)");

  auto* calibrate = app.add_subcommand("calibrate", "the page's calibrate-device run");
  CalibrateArgs ca;
  std::string voltages, sensors, sysv, temp, cur, fet;
  calibrate->add_option("--voltages", voltages,
                        "cumulative actual voltages in mV, one per configured capacitor");
  calibrate->add_option("--system-voltage", sysv, "actual system voltage in mV");
  calibrate->add_option("--temperature", temp, "actual temperature in degrees C");
  calibrate->add_option("--sensors", sensors, "sensors to calibrate: int,ext1,ext2");
  calibrate->add_option("--current", cur, "actual current in mA, discharge negative");
  calibrate->add_option("--charge-fet", fet, "charge FET during current calibration: on or off");
  calibrate->add_flag("--cc-offset", ca.cc_offset, "CC offset calibration");
  calibrate->add_flag("--yes", o.yes, "answer OK to confirmations");
  calibrate->add_flag("--verify", ca.verify, "after a done run, read again and print residuals");
  std::string meter_window = "5", meter_tolerance;
  app.add_option("--meter", ca.meter.address,
                 "a bench meter through libsigrok, DRIVER:KEY=VALUE...: a reference given as "
                 "\"meter\" is read from it");
  app.add_option("--fixture", ca.meter.fixture,
                 "a program that puts the probes at the position it is given, before each reading");
  app.add_option("--meter-readings", meter_window,
                 "readings that must agree before a reference is taken (default 5)");
  app.add_option("--meter-tolerance", meter_tolerance,
                 "how far they may lie apart, in the page's unit (default: 0.5 mV or 0.05 %)");

  auto* caps = app.add_subcommand("capacitors", "read the series capacitor count");
  auto* sysvolt = app.add_subcommand("system-voltage", "the host's CalSystemVoltage method");
  std::string actual;
  sysvolt->add_option("--actual", actual, "actual system voltage in mV (required)");
  auto* pack = app.add_subcommand("pack-voltage", "the pack voltage run");
  pack->add_flag("--yes", o.yes, "answer OK to the confirmation");
  auto* board = app.add_subcommand("board-offset", "a board offset run");
  bool hardware = false, software = false;
  std::string seconds;
  board->add_flag("--hardware", hardware, "in the device's calibration mode");
  board->add_flag("--software", software, "sampled by the host");
  board->add_option("--seconds", seconds, "sampling time for --software, 1 to 99 (default 2)");
  board->add_flag("--yes", o.yes, "answer OK to the confirmation");
  auto* script = app.add_subcommand("script", "page actions from JSON lines (- for stdin)");
  std::string script_file;
  script->add_option("FILE", script_file)->required();

  auto* simstate = app.add_subcommand("sim-state", "print a simulator state as JSON");
  bool miscalibrated = false;
  std::string capacitors = "5";
  simstate->add_flag("--miscalibrated", miscalibrated, "wrong gains, offsets and sensors");
  simstate->add_option("--capacitors", capacitors, "configured series capacitors, 1 to 8");

  auto* errtext = app.add_subcommand("errtext", "print the text of a status code");
  std::string code_text;
  errtext->add_option("CODE", code_text)->required();

  auto* config = app.add_subcommand("config", "the settings read from Config.ini");
  auto* reg = app.add_subcommand("register", "register the plug-in (DllRegisterServer)");
  auto* unreg = app.add_subcommand("unregister", "unregister the plug-in (DllUnregisterServer)");

  auto* recs = app.add_subcommand("records", "the records of the runs");
  recs->require_subcommand(1);
  vx::records::Query query;
  auto* list = recs->add_subcommand("list", "the runs, oldest first");
  list->add_option("--unit", query.unit, "only this unit's");
  list->add_option("--since", query.since, "only from this date or time on (2026-12-06)");
  list->add_option("--outcome", query.outcome,
                   "only runs that ended so: done, refused, failed, interrupted, out of limits");
  std::string record_id;
  auto* show = recs->add_subcommand("show", "one record whole, with the gains before and after");
  show->add_option("ID", record_id)->required();
  std::string csv_file;
  auto* exp = recs->add_subcommand("export",
                                   "one row per run: unit, time, station, run, "
                                   "outcome and each reading's residual");
  exp->add_option("--csv", csv_file, "the CSV file to write")->required();
  auto* restore = app.add_subcommand("restore",
                                     "write a record's data flash from before its "
                                     "run back to the device");
  restore->add_option("RECORD", record_id)->required();
  restore->add_flag("--yes", o.yes, "answer OK to the confirmation");

  auto* bus = app.add_subcommand("bus",
                                 "raw SMBus transfers in order: read-word CMD, "
                                 "write-word CMD VALUE, read-block CMD, "
                                 "write-block CMD BYTES..., command CMD");
  std::vector<std::string> transfers;
  bus->add_option("TRANSFER", transfers)->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // The first word that is neither an option nor an option's value names the command.
    auto known = [&](const std::string& w) {
      for (const auto* sub : app.get_subcommands([](CLI::App*) { return true; })) {
        if (sub->get_name() == w) return true;
      }
      return false;
    };
    for (int i = 1; i < argc; ++i) {
      std::string w = argv[i];
      if (w.rfind("--", 0) == 0) {
        const CLI::Option* opt = app.get_option_no_throw(w.substr(0, w.find('=')));
        bool takes_value =
            opt && opt->get_items_expected_max() > 0 && w.find('=') == std::string::npos;
        if (takes_value && i + 1 < argc &&
            (opt->get_items_expected_min() > 0 || !known(argv[i + 1]))) {
          ++i;
        }
        continue;
      }
      if (!known(w)) {
        Out::Error("unknown command '" + w + "' (vx58420cal --help lists them)");
        return kExitUsage;
      }
      break;
    }
    Out::Error(e.what());
    return kExitUsage;
  }

  try {
    if (*errtext) {
      auto code = static_cast<std::int32_t>(Int("CODE", code_text, INT32_MIN, INT32_MAX));
      Out(o.json).Print(vx::GetErrorText(code),
                        Json{{"code", code}, {"text", vx::GetErrorText(code)}});
      return kExitOk;
    }
    if (!o.config_dir.empty() && !std::filesystem::is_directory(o.config_dir)) {
      throw std::invalid_argument("--config-dir: the folder " + o.config_dir + " does not exist");
    }
    if (*config) return ConfigCommand(o);
    if (!limits_file.empty()) o.limits = vx::LoadLimits(limits_file);
    o.station.program = std::string("vx58420cal ") + VX_VERSION;
    if (*recs) {
      try {
        if (*list) return RecordsList(o, query);
        if (*show) return RecordsShow(o, Int("ID", record_id, 1, INT64_MAX));
        return RecordsExport(o, csv_file);
      } catch (const vx::records::StoreError& e) {
        Out::Error(e.what());
        return kExitFile;
      }
    }
    if (*reg || *unreg) return Registration(o, reg->parsed());
    o.device.address7 = static_cast<int>(Int("--address", address, 0x03, 0x77));
    o.bus_wait_s = static_cast<double>(Int("--wait-bus", wait_bus, 0, 3600));
    if (!o.device.bus.empty()) {
      if (app.count("--sim") > 0) throw std::invalid_argument("--sim and --bus exclude each other");
      if (o.fast) throw std::invalid_argument("--fast is for the simulator only");
      o.device.use_sim = false;
    }
    o.device.sim_state = sim_opt;
    if (*simstate) {
      int n = static_cast<int>(Int("--capacitors", capacitors, 1, 8));
      vx::sim::SimState state =
          miscalibrated ? vx::sim::MiscalibratedState(n) : vx::sim::DefaultState(n);
      if (!sim_opt.empty()) {
        try {
          state = vx::sim::LoadStateFile(sim_opt);
        } catch (const std::exception& e) {
          Out::Error(e.what());
          return kExitFile;
        }
      }
      std::cout << vx::sim::ToJson(state);
      return kExitOk;
    }
    if (*board && hardware == software) {
      throw std::invalid_argument("board-offset needs exactly one of --hardware and --software");
    }
    std::vector<BusRequest> sequence;
    if (*bus) sequence = ParseBusSequence(transfers);
    int tick_count = *read ? static_cast<int>(Int("--ticks", ticks, 1, 100000)) : 1;
    ca.meter.window = static_cast<int>(Int("--meter-readings", meter_window, 2, 1000));
    if (!meter_tolerance.empty()) {
      try {
        ca.meter.tolerance = vx::TextToDouble(meter_tolerance);
      } catch (const std::exception&) {
        throw std::invalid_argument("--meter-tolerance: \"" + meter_tolerance +
                                    "\" is not a number");
      }
    }
    if (*calibrate) {
      if (!voltages.empty()) ca.voltages = Split(voltages);
      if (!sensors.empty()) ca.sensors = Split(sensors);
      ca.system_voltage = Given(calibrate, "--system-voltage", sysv);
      ca.temperature = Given(calibrate, "--temperature", temp);
      ca.current = Given(calibrate, "--current", cur);
      ca.charge_fet = Given(calibrate, "--charge-fet", fet);
    }
    std::ifstream script_in;
    if (*script) {
      o.json = true;  // a script's output is JSON lines, message boxes included
      if (script_file != "-") {
        script_in.open(script_file);
        if (!script_in) {
          Out::Error("cannot read the script " + script_file);
          return kExitFile;
        }
      }
    }

    Session s(o);
    CatchStopSignals(s.platform().interrupt);
    if (int opened = s.OpenDevice(); opened != kExitOk) return opened;
    int code = kExitOk;
    if (*bus) {
      bool ok = true;
      auto transfers_of = [&] {
        for (const BusRequest& r : sequence) {
          if (s.interrupted()) break;  // no new transfer once a stop is asked for
          if (RunBus(s.adapter(), s.target_address(), r, s.out()) != 0) {
            ok = false;
            break;
          }
        }
      };
      // Raw writes change the device like a run: they are recorded with its data flash.
      bool writes = std::any_of(sequence.begin(), sequence.end(), [](const BusRequest& r) {
        return r.op != BusOp::kReadWord && r.op != BusOp::kReadBlock;
      });
      if (writes) {
        auto r = s.Run(
            "bus", "Bus transfers", transfers_of, [&] { return ok; },
            [&] {
              return Json{{"transfers", transfers}};
            });
        code = r.interrupted ? kExitInterrupted : ok ? kExitOk : kExitFailed;
      } else {
        transfers_of();
        if (s.interrupted()) s.ReportInterruption();
        code = s.interrupted() ? kExitInterrupted : ok ? kExitOk : kExitFailed;
      }
    } else {
      if (!s.ShowControl()) return kExitSetup;
      if (*read) code = ReadCommand(s, tick_count);
      if (*calibrate) code = CalibrateCommand(s, ca);
      if (*caps) code = CapacitorsCommand(s);
      if (*sysvolt) code = SystemVoltageCommand(s, Given(sysvolt, "--actual", actual), ca.meter);
      if (*pack) code = PackVoltageCommand(s);
      if (*board) code = BoardOffsetCommand(s, hardware, Given(board, "--seconds", seconds));
      if (*script) code = ScriptCommand(s, script_file == "-" ? std::cin : script_in);
      if (*restore) {
        try {
          code = RestoreCommand(s, Int("RECORD", record_id, 1, INT64_MAX));
        } catch (const vx::records::StoreError& e) {
          Out::Error(e.what());
          code = kExitFile;
        }
      }
    }
    if (!s.Finish()) return kExitFile;
    return s.interrupted() ? kExitInterrupted : code;
  } catch (const vx::Interrupted&) {
    return kExitInterrupted;  // a wait of the command line's own (between scans)
  } catch (const std::invalid_argument& e) {
    Out::Error(e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    Out::Error(e.what());
    return kExitFailed;
  }
}
