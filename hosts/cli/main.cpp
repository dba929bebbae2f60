// vx58420cal: the calibration control without a window, for scripts and production lines.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>

#include "config/err_codes.h"
#include "device/numeric.h"
#include "hosts/cli/bus_commands.h"
#include "hosts/cli/page_commands.h"
#include "hosts/cli/session.h"
#include "sim/sim_state.h"

using namespace vx::cli;

int main(int argc, char** argv) {
  CLI::App app{"vx58420 supercapacitor calibration: the calibration page without a window"};
  app.require_subcommand(1);
  app.fallthrough();  // global options may also follow the command
  Options o;
  std::string sim_opt, address = "0x0B";
  app.add_option("--sim", sim_opt, "use the simulated device (the default), loaded from STATE.json")
      ->expected(0, 1);
  app.add_option("--bus", o.bus, "use a Linux SMBus: /dev/i2c-N or N");
  app.add_option("--address", address, "7-bit device address (default 0x0B)");
  app.add_flag("--pec", o.pec, "packet error checking on the bus");
  app.add_option("--save-state", o.save_state, "write the simulator's state here afterwards");
  app.add_option("--trace", o.trace, "write every transfer here as JSON lines");
  app.add_option("--config-dir", o.config_dir, "folder of Config.ini (default: the plug-in's)");
  app.add_option("--target-info", o.target_info, "device/version text (default 800.1.02)");
  app.add_option("--plugin", o.plugin, "the plug-in library to load");
  app.add_flag("--json", o.json, "JSON lines output");
  app.add_flag("--fast", o.fast, "simulator only: waits take no real time");

  auto* read = app.add_subcommand("read", "live readings: scan ticks");
  int ticks = 1;
  read->add_option("--ticks", ticks, "number of scans, 600 ms apart (default 1)")
      ->check(CLI::Range(1, 100000));

  auto* calibrate = app.add_subcommand("calibrate", "the page's calibrate-device run");
  CalibrateArgs ca;
  std::string voltages, sensors, sysv, temp, cur, fet;
  calibrate->add_option("--voltages", voltages, "cumulative actual voltages in mV: V1,V1+2,...");
  calibrate->add_option("--system-voltage", sysv, "actual system voltage in mV");
  calibrate->add_option("--temperature", temp, "actual temperature in degrees C");
  calibrate->add_option("--sensors", sensors, "sensors to calibrate: int,ext1,ext2");
  calibrate->add_option("--current", cur, "actual current in mA, discharge negative");
  calibrate->add_option("--charge-fet", fet, "charge FET during current calibration: on or off");
  calibrate->add_flag("--cc-offset", ca.cc_offset, "CC offset calibration");
  calibrate->add_flag("--yes", o.yes, "answer OK to confirmations");
  calibrate->add_flag("--verify", ca.verify, "read again and report residuals");

  auto* caps = app.add_subcommand("capacitors", "read the series capacitor count");
  auto* sysvolt = app.add_subcommand("system-voltage", "the host's CalSystemVoltage method");
  std::string actual;
  sysvolt->add_option("--actual", actual, "actual system voltage in mV");
  auto* pack = app.add_subcommand("pack-voltage", "the pack voltage run");
  pack->add_flag("--yes", o.yes, "answer OK to the confirmation");
  auto* board = app.add_subcommand("board-offset", "a board offset run");
  bool hardware = false, software = false;
  std::string seconds;
  board->add_flag("--hardware", hardware, "in the device's calibration mode");
  board->add_flag("--software", software, "sampled by the host");
  board->add_option("--seconds", seconds, "sampling time for --software (default: the page's 2)");
  board->add_flag("--yes", o.yes, "answer OK to the confirmation");
  auto* script = app.add_subcommand("script", "page actions from JSON lines (- for stdin)");
  std::string script_file;
  script->add_option("FILE", script_file)->required();

  auto* simstate = app.add_subcommand("sim-state", "print a simulator state as JSON");
  bool miscalibrated = false;
  int capacitors = 5;
  simstate->add_flag("--miscalibrated", miscalibrated, "wrong gains, offsets and sensors");
  simstate->add_option("--capacitors", capacitors, "configured series capacitors")
      ->check(CLI::Range(1, 8));

  auto* errtext = app.add_subcommand("errtext", "print the text of a status code");
  std::string code_text;
  errtext->add_option("CODE", code_text)->required();

  auto* bus = app.add_subcommand("bus", "one raw SMBus transfer");
  bus->require_subcommand(1);
  BusRequest req;
  std::string cmd_text, value_text;
  std::vector<std::string> byte_texts;
  auto* rw = bus->add_subcommand("read-word", "read a word");
  rw->add_option("CMD", cmd_text)->required();
  auto* ww = bus->add_subcommand("write-word", "write a word");
  ww->add_option("CMD", cmd_text)->required();
  ww->add_option("VALUE", value_text)->required();
  auto* rb = bus->add_subcommand("read-block", "read a block");
  rb->add_option("CMD", cmd_text)->required();
  auto* wb = bus->add_subcommand("write-block", "write a block");
  wb->add_option("CMD", cmd_text)->required();
  wb->add_option("BYTES", byte_texts)->required();
  auto* cm = bus->add_subcommand("command", "send a command without data");
  cm->add_option("CMD", cmd_text)->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  }

  try {
    if (*errtext) {
      auto code = static_cast<std::int32_t>(ParseInteger(code_text, INT32_MIN, INT32_MAX));
      std::cout << vx::GetErrorText(code) << "\n";
      return kExitOk;
    }
    if (*simstate) {
      std::cout << vx::sim::ToJson(miscalibrated ? vx::sim::MiscalibratedState(capacitors)
                                                 : vx::sim::DefaultState(capacitors));
      return kExitOk;
    }
    o.address7 = static_cast<int>(ParseInteger(address, 0x03, 0x77));
    if (!o.bus.empty()) {
      if (app.count("--sim") > 0) throw std::invalid_argument("--sim and --bus exclude each other");
      if (o.fast) throw std::invalid_argument("--fast is for the simulator only");
      o.use_sim = false;
    }
    o.sim_state = sim_opt;
    if (*board && hardware == software) {
      throw std::invalid_argument("board-offset needs exactly one of --hardware and --software");
    }
    if (*calibrate) {
      auto split = [](const std::string& text) {
        std::vector<std::string> out;
        std::stringstream ss(text);
        std::string item;
        while (std::getline(ss, item, ','))
          out.push_back(item);
        return out;
      };
      if (!voltages.empty()) ca.voltages = split(voltages);
      if (!sensors.empty()) ca.sensors = split(sensors);
      if (calibrate->count("--system-voltage")) ca.system_voltage = sysv;
      if (calibrate->count("--temperature")) ca.temperature = temp;
      if (calibrate->count("--current")) ca.current = cur;
      if (calibrate->count("--charge-fet")) ca.charge_fet = fet;
    }

    Session s(o);
    if (int opened = s.OpenDevice(); opened != kExitOk) return opened;
    int code = kExitOk;
    if (*bus) {
      req.cmd = static_cast<std::uint8_t>(ParseInteger(cmd_text, 0, 0xFF));
      if (*rw) req.op = BusOp::kReadWord;
      if (*ww) {
        req.op = BusOp::kWriteWord;
        req.value = vx::Wrap16(ParseInteger(value_text, -32768, 65535));
      }
      if (*rb) req.op = BusOp::kReadBlock;
      if (*wb) {
        req.op = BusOp::kWriteBlock;
        if (byte_texts.size() > 32) throw std::invalid_argument("a block holds at most 32 bytes");
        for (const auto& b : byte_texts) {
          req.bytes.push_back(static_cast<std::uint8_t>(ParseInteger(b, 0, 255)));
        }
      }
      if (*cm) req.op = BusOp::kCommand;
      code = RunBus(s.adapter(), s.target_address(), req, std::cout, o.json) == 0 ? kExitOk
                                                                                  : kExitFailed;
    } else {
      std::ifstream script_in;
      if (*script && script_file != "-") {
        script_in.open(script_file);
        if (!script_in) {
          std::cerr << "vx58420cal: cannot read " << script_file << "\n";
          return kExitFile;
        }
      }
      if (!s.ShowControl()) return kExitSetup;
      if (*read) code = ReadCommand(s, ticks, std::cout);
      if (*calibrate) code = CalibrateCommand(s, ca, std::cout);
      if (*caps) code = CapacitorsCommand(s, std::cout);
      if (*sysvolt) {
        code = SystemVoltageCommand(
            s, sysvolt->count("--actual") ? std::optional<std::string>(actual) : std::nullopt,
            std::cout);
      }
      if (*pack) code = PackVoltageCommand(s, std::cout);
      if (*board) {
        code = BoardOffsetCommand(
            s, hardware,
            board->count("--seconds") ? std::optional<std::string>(seconds) : std::nullopt,
            std::cout);
      }
      if (*script) {
        code = ScriptCommand(s, script_file == "-" ? std::cin : script_in, std::cout);
      }
    }
    if (!s.Finish()) return kExitFile;
    return code;
  } catch (const std::invalid_argument& e) {
    std::cerr << "vx58420cal: " << e.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "vx58420cal: " << e.what() << "\n";
    return kExitFailed;
  }
}
