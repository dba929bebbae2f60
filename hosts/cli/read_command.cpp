// `read [--ticks N]`: the page's scan, N ticks apart by its timer's interval.
#include <iomanip>
#include <sstream>

#include "hosts/cli/commands.h"
#include "hosts/station/page_state.h"
#include "hosts/station/references.h"

namespace vx::cli {

namespace {

constexpr const char* kErrRd = "Err_Rd";

std::string Row(std::string_view name, const std::string& value, std::string_view unit) {
  std::ostringstream line;
  line << std::left << std::setw(24) << name << std::right << std::setw(8) << value << " " << unit;
  return line.str();
}

void PrintReadings(Session& s) {
  FormModel& f = s.form();
  if (s.out().json()) {
    s.out().Object(ReadingsJson(f));
    return;
  }
  for (const PageReading& r : PageReadings())
    s.out().Text(Row(r.name, f.At(std::string(r.measured)).text(), r.unit));
}

int ReadCommand(Session& s, int ticks) {
  FormModel& f = s.form();
  int code = kExitOk;
  for (int i = 0; i < ticks; ++i) {
    if (i > 0) {
      try {
        s.platform().Sleep(std::chrono::milliseconds(f.At("tmrScan").interval_ms));
      } catch (const Interrupted&) {
        s.ReportInterruption();
        return kExitInterrupted;
      }
      s.out().Text("");
    }
    f.Tick("tmrScan");
    PrintReadings(s);
    // Every box "Err_Rd": the device does not answer at all; some: a read failed.
    int failed = 0;
    for (int r : {0, 6, 7, 8})
      failed +=
          f.At(std::string(PageReadings()[static_cast<std::size_t>(r)].measured)).text() == kErrRd;
    if (failed == 4) {
      code = kExitSetup;
    } else if (failed > 0 && code == kExitOk) {
      code = kExitFailed;
    }
  }
  if (code == kExitSetup) Out::Error("the device does not answer");
  return code;
}

}  // namespace

void AddReadCommand(CLI::App& app, Options&, std::vector<Command>& out) {
  auto* read = app.add_subcommand("read", "live readings: scan ticks");
  auto ticks = std::make_shared<int>(1);
  read->add_option("--ticks", *ticks, "number of scans, 600 ms apart (default 1)")
      ->transform(Whole(1, 100000));
  out.emplace_back(read, Command::Needs::kControl,
                   [ticks](Session& s) { return ReadCommand(s, *ticks); });
}

}  // namespace vx::cli
