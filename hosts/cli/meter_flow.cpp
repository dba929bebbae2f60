#include "hosts/cli/meter_flow.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "device/numeric.h"
#include "hosts/cli/fixture.h"
#include "hosts/station/references.h"
#include "instruments/meter.h"

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

int TakeFromMeter(Session& s, const MeterOptions& m, const std::vector<std::string>& keys) {
  if (keys.empty()) return kExitOk;
  // The probes move between references: a person at a terminal says when, a fixture moves them,
  // or --yes says they are where each reference needs them. Nobody else can.
  if (m.fixture.empty() && !s.options().yes && !isatty(0)) {
    Out::Error(
        "the meter's probes move between references, and there is no terminal to ask: "
        "--fixture PROGRAM moves them, or --yes says each is in place when it is read; nothing "
        "was read or written");
    return kExitUsage;
  }
  const bool terminal = isatty(2) != 0;
  std::string label;
  try {
    const std::chrono::seconds limit(m.timeout_s);
    auto meter = instruments::Meter::Open(m.address, limit);
    const auto& id = meter->identity();
    s.out().Print("Meter: " + id.vendor + " " + id.model + " (serial " + id.serial + ")",
                  Json{{"meter", id.ToJson()}});
    for (const std::string& key : keys) {
      const PageRow& box = *records::RowOfBox(key);
      label = std::string(box.label);
      auto expect = MeterExpectation(box);
      if (!expect) throw MeterError("is not a reference a meter gives");
      if (m.tolerance > 0) expect->abs_tol = m.tolerance;
      const std::string where(box.probe);
      if (!m.fixture.empty()) {
        const std::string why = RunFixture(
            m.fixture, label, std::chrono::seconds(m.fixture_timeout_s), s.platform().interrupt);
        if (s.interrupted()) return kExitInterrupted;
        if (!why.empty()) {
          throw MeterError("the fixture " + m.fixture + " " + why +
                           " (it was to put the probes at " + label + ")");
        }
      } else if (!s.options().yes && isatty(0)) {
        std::cerr << where << ", then press Enter " << std::flush;
        if (!WaitForEnter(s)) return kExitInterrupted;
      } else {
        s.out().Text(where + ".");
      }
      meter->Discard();
      instruments::Settler settler(*expect, m.window);
      std::optional<instruments::Settled> got;
      while (!got) {
        if (s.interrupted()) return kExitInterrupted;
        instruments::Reading r = meter->Next(limit);
        got = settler.Add(r);
        if (terminal) {
          std::fprintf(stderr, "\r  %s: %.6g %s, settling (%zu readings)\033[K", label.c_str(),
                       r.value, r.unit.c_str(), settler.readings().size());
        }
      }
      const auto settled_at = std::chrono::steady_clock::now();
      if (terminal) std::fprintf(stderr, "\r\033[K");
      FormModel& f = s.form();
      Control* typed = f.Find(key);
      if (static_cast<int>(got->text.size()) > typed->max_length || !f.Type(key, got->text)) {
        throw MeterError("the reading " + got->text + " does not fit the page's box");
      }
      s.station().NoteGiven(key, got->text);
      const double to_page_ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - settled_at)
              .count();
      Json source{{"meter", id.ToJson()},
                  {"readings", got->readings},
                  {"median", got->value},
                  {"spread", got->spread},
                  {"unit", PageUnit(box)}};
      s.station().SetReferenceSource(label, got->text, source);
      s.out().Print(label + " = " + got->text + " from the meter (" +
                        std::to_string(got->readings.size()) + " readings, spread " +
                        FormatDouble(RoundHalfEven(got->spread * 100) / 100) + " " +
                        source["unit"].get<std::string>() + ")",
                    Json{{"reference", label},
                         {"value", got->text},
                         {"readings", got->readings.size()},
                         {"spread", got->spread},
                         {"to_page_ms", to_page_ms}});
    }
  } catch (const MeterError& e) {
    if (terminal) std::fprintf(stderr, "\r\033[K");
    if (s.interrupted()) return kExitInterrupted;
    Out::Error((label.empty() ? std::string() : label + ": ") + e.what() +
               "; nothing was written to the device");
    return kExitSetup;
  }
  return kExitOk;
}

}  // namespace vx::cli
