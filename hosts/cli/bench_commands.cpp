// What a bench user reaches for before a run, as i2c-tools and sigrok-cli offer it: `probe`
// (does anything answer at the address, and at the register address 0x17, as i2cdetect would
// tell for one address) and `meter read` (the bench meter's readings, without a run).

#include "config/err_codes.h"
#include "device/commands.h"
#include "device/numeric.h"
#include "hosts/cli/commands.h"
#include "hosts/station/page_state.h"
#include "instruments/meter.h"

namespace vx::cli {

namespace {

int ProbeCommand(Session& s) {
  const int address = s.options().device.address7;
  struct Where {
    std::int16_t page_address;
    std::uint8_t command;
    const char* what;
  };
  const Where where[] = {{s.options().target_address(), cmd::kStackVoltage, "the device"},
                         {cmd::kRegisterAddress, cmd::kRegRead, "its register access"}};
  bool answers = false, registers = false;
  for (const Where& w : where) {
    std::int16_t value = 0;
    const Status st = s.adapter().ReadSMBusWord_(w.command, value, w.page_address);
    const bool ok = st == 0;
    (w.command == cmd::kStackVoltage ? answers : registers) = ok;
    s.out().Print(std::string(w.what) + " at " + Hex2(static_cast<unsigned>(w.page_address >> 1)) +
                      " (page address " + Hex2(static_cast<unsigned>(w.page_address)) +
                      "): " + (ok ? "answers" : "does not answer (" + GetErrorText(st) + ")"),
                  Json{{"address7", w.page_address >> 1},
                       {"page_address", w.page_address},
                       {"answers", ok},
                       {"status", st}});
  }
  if (!answers) {
    // The register access sits at a fixed address: a device that answers there is at the
    // default address, and --address most likely took the page's 8-bit one.
    Out::Error(registers
                   ? "nothing answers at 7-bit address " + Hex2(static_cast<unsigned>(address)) +
                         ", but a device's register access answers: it is most likely at "
                         "the default address, --address 0x0B (the page's 0x16 shifted "
                         "right by one)"
                   : NoAnswerAt(address) + "; --address takes the 7-bit address");
  }
  return answers ? kExitOk : kExitSetup;
}

int MeterReadCommand(const Options& o, int samples) {
  Out out(o.json);
  if (o.meter.address.empty()) {
    Out::Error("meter read needs --meter DRIVER:OPTIONS (scpi-dmm:conn=tcp-raw/HOST/PORT)");
    return kExitUsage;
  }
  try {
    const std::chrono::milliseconds limit = o.meter.timeout;
    auto meter = instruments::Meter::Open(o.meter.address, limit);
    const auto& id = meter->identity();
    out.Print("Meter: " + id.vendor + " " + id.model + " (serial " + id.serial + ")",
              Json{{"meter", id.ToJson()}});
    for (int i = 0; i < samples; ++i) {
      instruments::Reading r = meter->Next(limit);
      out.Print(r.Text(), Json{{"value", r.value},
                               {"unit", r.unit},
                               {"quantity", r.quantity},
                               {"flags", r.flags},
                               {"overload", r.overload}});
    }
  } catch (const instruments::MeterError& e) {
    Out::Error(e.what());
    return kExitSetup;
  }
  return kExitOk;
}

}  // namespace

void AddBenchCommands(CLI::App& app, Options&, std::vector<Command>& out) {
  auto* probe = app.add_subcommand("probe", "whether the device answers at its address");
  out.emplace_back(probe, Command::Needs::kDevice, ProbeCommand);

  auto* meter = app.add_subcommand("meter", "the bench meter (--meter) without a run");
  meter->require_subcommand(1);
  auto* read = meter->add_subcommand("read", "the meter's readings as they come");
  auto samples = std::make_shared<int>(5);
  read->add_option("--samples", *samples, "how many readings (default 5)")
      ->transform(Whole(1, 100000));
  out.emplace_back(read, [samples](Options& o) { return MeterReadCommand(o, *samples); });
}

}  // namespace vx::cli
