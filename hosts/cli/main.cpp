// vx58420cal: the calibration plug-in's functions without a window, for scripts and
// production lines.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <optional>

#include "config/err_codes.h"
#include "device/numeric.h"
#include "hosts/cli/bus_commands.h"
#include "platform/console_platform.h"
#include "sim/sim_device.h"
#include "sim/sim_state.h"

namespace {

// Exit codes (docs/cli.md).
constexpr int kExitOk = 0;
constexpr int kExitDevice = 1;   // the device or a run reported a failure
constexpr int kExitUsage = 2;    // bad command line
constexpr int kExitFile = 3;     // a state or trace file could not be read or written

struct Globals {
  std::optional<std::string> sim_state;
  std::string save_state;
  std::string address = "0x16";
  bool json = false;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vx58420 supercapacitor calibration, command line"};
  app.require_subcommand(1);
  Globals g;
  std::string sim_opt;
  app.add_option("--sim", sim_opt, "use the simulated device, loaded from a state file")
      ->expected(0, 1);
  app.add_option("--save-state", g.save_state, "write the simulator's state here afterwards");
  app.add_option("--address", g.address, "SMBus target address (default 0x16)");
  app.add_flag("--json", g.json, "machine-readable output");

  auto* errtext = app.add_subcommand("errtext", "print the text of a status code");
  std::string code_text;
  errtext->add_option("CODE", code_text)->required();

  auto* bus = app.add_subcommand("bus", "one raw SMBus transfer");
  bus->require_subcommand(1);
  vx::cli::BusRequest req;
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
  if (app.count("--sim") > 0 && !sim_opt.empty()) g.sim_state = sim_opt;

  try {
    if (*errtext) {
      auto code = static_cast<std::int32_t>(vx::cli::ParseInteger(code_text, INT32_MIN, INT32_MAX));
      std::cout << vx::GetErrorText(code) << "\n";
      return kExitOk;
    }
    auto addr = static_cast<std::int16_t>(vx::cli::ParseInteger(g.address, 0, 0xFF));
    req.cmd = static_cast<std::uint8_t>(vx::cli::ParseInteger(cmd_text, 0, 0xFF));
    if (*rw) req.op = vx::cli::BusOp::kReadWord;
    if (*ww) {
      req.op = vx::cli::BusOp::kWriteWord;
      req.value = vx::Wrap16(vx::cli::ParseInteger(value_text, -32768, 65535));
    }
    if (*rb) req.op = vx::cli::BusOp::kReadBlock;
    if (*wb) {
      req.op = vx::cli::BusOp::kWriteBlock;
      if (byte_texts.size() > 32) throw std::invalid_argument("a block holds at most 32 bytes");
      for (const auto& b : byte_texts) {
        req.bytes.push_back(static_cast<std::uint8_t>(vx::cli::ParseInteger(b, 0, 255)));
      }
    }
    if (*cm) req.op = vx::cli::BusOp::kCommand;

    vx::sim::SimState state = vx::sim::DefaultState();
    try {
      if (g.sim_state) state = vx::sim::LoadStateFile(*g.sim_state);
    } catch (const std::exception& e) {
      std::cerr << "vx58420cal: " << e.what() << "\n";
      return kExitFile;
    }
    vx::ConsolePlatform platform(&std::cout);
    vx::sim::SimDevice device(platform, state);
    vx::Status s = vx::cli::RunBus(device, addr, req, std::cout, g.json);
    if (!g.save_state.empty()) {
      try {
        vx::sim::SaveStateFile(device.state(), g.save_state);
      } catch (const std::exception& e) {
        std::cerr << "vx58420cal: " << e.what() << "\n";
        return kExitFile;
      }
    }
    return s == 0 ? kExitOk : kExitDevice;
  } catch (const std::invalid_argument& e) {
    std::cerr << "vx58420cal: " << e.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "vx58420cal: " << e.what() << "\n";
    return kExitDevice;
  }
}
