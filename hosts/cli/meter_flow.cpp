#include "hosts/cli/meter_flow.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "device/numeric.h"
#include "hosts/station/meter_steps.h"
#include "hosts/station/references.h"

namespace vx::cli {

namespace {

using instruments::MeterError;

// Waits for the user to press Enter, or for a signal (which ends the step).
bool WaitForEnter(Session& s) {
  pollfd in{0, POLLIN, 0};
  while (!s.interrupted()) {
    if (::poll(&in, 1, 200) > 0) {
      std::string line;
      std::getline(std::cin, line);
      return true;
    }
  }
  return false;
}

}  // namespace

int TakeFromMeter(Session& s, const std::vector<std::string>& keys) {
  if (keys.empty()) return kExitOk;
  const Options& m = s.options();
  // The probes move between references: a person at a terminal says when, a fixture moves them,
  // or --yes says they are where each reference needs them. Nobody else can.
  if (m.meter.fixture.empty() && !s.options().yes && !isatty(0)) {
    Out::Error(
        "the meter's probes move between references, and there is no terminal to ask: "
        "--fixture PROGRAM moves them, or --yes says each is in place when it is read; nothing "
        "was read or written");
    return kExitUsage;
  }
  const bool terminal = isatty(2) != 0;
  const std::chrono::milliseconds limit = m.meter.timeout;
  try {
    MeterSteps steps(s.station(), m.meter, keys);
    const auto& id = steps.identity();
    s.out().Print("Meter: " + id.vendor + " " + id.model + " (serial " + id.serial + ")",
                  Json{{"meter", id.ToJson()}});
    while (!steps.finished()) {
      const PageRow& row = steps.row();
      const std::string label(row.label);
      if (!m.meter.fixture.empty()) {
        steps.Place();
      } else if (!s.options().yes && isatty(0)) {
        std::cerr << steps.Position() << ", then press Enter " << std::flush;
        if (!WaitForEnter(s)) return kExitInterrupted;
      } else {
        s.out().Text(steps.Position() + ".");
      }
      steps.Take();
      std::optional<instruments::Settled> got;
      double to_page_ms = 0;
      while (!got) {
        if (s.interrupted()) return kExitInterrupted;
        MeterSteps::Heard h = steps.Listen(limit);
        got = std::move(h.taken);
        to_page_ms = h.to_page_ms;
        if (terminal && h.reading && !got) {
          std::fprintf(stderr, "\r  %s: %s, settling (%zu readings)\033[K", label.c_str(),
                       h.reading->Text().c_str(), h.settling);
        }
      }
      if (terminal) std::fprintf(stderr, "\r\033[K");
      s.out().Print(label + " = " + got->text + " from the meter (" +
                        std::to_string(got->readings.size()) + " readings, spread " +
                        FormatDouble(RoundHalfEven(got->spread * 100) / 100) + " " + PageUnit(row) +
                        ")",
                    Json{{"reference", label},
                         {"value", got->text},
                         {"readings", got->readings.size()},
                         {"spread", got->spread},
                         {"to_page_ms", to_page_ms}});
    }
  } catch (const MeterError& e) {
    if (terminal) std::fprintf(stderr, "\r\033[K");
    if (s.interrupted()) return kExitInterrupted;
    Out::Error(std::string(e.what()) + "; nothing was written to the device");
    return kExitSetup;
  }
  return kExitOk;
}

}  // namespace vx::cli
