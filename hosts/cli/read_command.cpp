// `read [--ticks N]`: the page's scan, N ticks apart by its timer's interval.
#include <iomanip>
#include <sstream>

#include "hosts/cli/commands.h"
#include "hosts/station/page_state.h"
#include "hosts/station/references.h"
#include "records/record.h"

namespace vx::cli {

namespace {

constexpr int kWatchColumn = 9;  // "Err_Rd" and "-12345" with room between

struct ReadArgs {
  int ticks = 1;
  bool watch = false;   // until a signal, one timestamped line a scan
  double interval = 0;  // seconds between scans; 0: the page's timer's
};

void PrintReadings(Session& s, bool watch) {
  FormModel& f = s.form();
  if (s.out().json()) {
    Json j = ReadingsJson(f);
    if (watch) j["time_utc"] = records::NowUtc();
    s.out().Object(j);
    return;
  }
  if (watch) {  // one line a scan, for a log: a column a reading, as numbered in the header
    std::ostringstream line;
    line << records::NowUtc();
    for (const PageRow& r : records::kReadings)
      line << std::setw(kWatchColumn) << f.At(std::string(r.measured)).text();
    s.out().Text(line.str());
    return;
  }
  for (const PageRow& r : records::kReadings)
    s.out().Text((std::ostringstream()
                  << std::left << std::setw(24) << r.name << std::right << std::setw(8)
                  << f.At(std::string(r.measured)).text() << " " << r.unit())
                     .str());
}

int ReadCommand(Session& s, const ReadArgs& a) {
  FormModel& f = s.form();
  const auto interval =
      a.interval > 0 ? std::chrono::milliseconds(static_cast<std::int64_t>(a.interval * 1000))
                     : std::chrono::milliseconds(f.At("tmrScan").interval_ms);
  if (a.watch && !s.out().json()) {
    // The readings' names are long: numbered once, so that the columns fit a terminal.
    std::ostringstream legend, head;
    head << std::left << std::setw(24) << "time (UTC)" << std::right;
    int n = 0;
    for (const PageRow& r : records::kReadings) {
      legend << (n == 0 ? "columns: " : n % 3 == 0 ? ",\n         " : ", ");
      legend << ++n << " " << r.name << " (" << r.unit() << ")";
      head << std::setw(kWatchColumn) << n;
    }
    s.out().Text(legend.str());
    s.out().Text(head.str());
  }
  int code = kExitOk;
  for (int i = 0; a.watch || i < a.ticks; ++i) {
    if (i > 0) {
      try {
        s.platform().Sleep(interval);
      } catch (const Interrupted&) {
        if (a.watch) return code;  // the way a watch ends
        s.ReportInterruption();
        return kExitInterrupted;
      }
      if (!a.watch) s.out().Text("");
    }
    f.Tick("tmrScan");
    PrintReadings(s, a.watch);
    if (NothingAnswers(f)) {
      code = kExitSetup;
    } else if (SomethingFailed(f) && code == kExitOk) {
      code = kExitFailed;
    }
  }
  if (code == kExitSetup) {
    Out::Error(NoAnswerAt(s.options().device.address7) + "; --address takes the 7-bit address");
  }
  return code;
}

}  // namespace

void AddReadCommand(CLI::App& app, Options&, std::vector<Command>& out) {
  auto* read = app.add_subcommand("read", "live readings: scan ticks");
  auto a = std::make_shared<ReadArgs>();
  auto* ticks = read->add_option("--ticks", a->ticks, "number of scans, 600 ms apart (default 1)")
                    ->transform(Whole(1, 100000));
  read->add_flag("--watch", a->watch, "one timestamped line a scan until Ctrl-C")->excludes(ticks);
  read->add_option("--interval", a->interval, "seconds between scans (default: the page's 0.6)")
      ->check(CLI::Range(0.1, 3600.0));
  out.emplace_back(read, Command::Needs::kControl, [a](Session& s) { return ReadCommand(s, *a); });
}

}  // namespace vx::cli
