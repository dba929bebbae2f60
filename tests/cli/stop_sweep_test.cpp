// The runs of the page as the command line runs them (the station's operation, the console in
// front), stopped at every transfer by every signal that would end the program, and with
// standard output or standard error failing at every line the run prints: each time the device
// is left out of calibration mode with its FETs off, nothing is written after the stop but the
// way out and the record's reads, the record says how the run ended and holds what took
// effect, and the exit code is the documented one.
#include <gtest/gtest.h>

#include <csignal>
#include <iostream>

#include "control/cal.h"
#include "control/module.h"
#include "device/commands.h"
#include "hosts/cli/commands.h"
#include "hosts/cli/signals.h"
#include "records/store.h"
#include "sim/sim_device.h"
#include "test_files.h"

namespace vx::testing {

namespace {

// A stream whose writes fail from its nth line on (0: never).
struct FailingBuf : std::streambuf {
  int lines = 0, fail_at = 0;
  bool failed = false;
  int overflow(int c) override {
    if (fail_at > 0 && lines >= fail_at - 1) {
      failed = true;
      return traits_type::eof();
    }
    if (c == '\n') ++lines;
    return c;
  }
};

struct Case {
  const char* run;
  std::vector<std::pair<const char*, const char*>> typed;  // box, text
  std::vector<const char*> ticked;
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"calibrate",
       {{"txtVoltage(0)", "2050"},
        {"txtVoltage(1)", "4160"},
        {"txtVoltage(2)", "6240"},
        {"txtVoltage(3)", "8360"},
        {"txtVoltage(4)", "10455"},
        {"txtActualSystemVoltage", "12255"},
        {"txtTemperature", "25"},
        {"txtCurrent", "-500"}},
       {"chkVoltageCal", "chkSystemVoltage", "chkTempCal", "chkCurrentCal", "chkCCOffset"}},
      {"system-voltage", {{"txtActualSystemVoltage", "12255"}}, {}},
      {"pack-voltage", {}, {}},
      {"board-offset-hardware", {}, {}},
      {"board-offset-software", {}, {}},
  };
  return cases;
}

struct Outcome {
  int code = 0;
  bool in_mode = false, fets_on = false, wrote_after = false;
  std::string outcome;
  bool record_holds_device = false, output_failed = false, changed = false;
  std::int64_t transfers = 0;
};

// One run: stopped by `sig` at transfer `stop_at` (0: not), standard output or error failing
// at line `out_line` / `err_line` (0: not).
Outcome RunOnce(const Case& c, const TempDir& dir, std::int64_t stop_at, int sig, int out_line,
                int err_line) {
  ResetThisThreadModule();
  const std::string db = dir.path() + "/records.sqlite";
  std::remove(db.c_str());
  cli::Options o;
  o.fast = true;
  o.yes = true;
  o.config_dir = dir.path();
  o.station.records = db;
  o.make_cal = [] { return static_cast<ICal*>(new Cal()); };
  FailingBuf out, err;
  out.fail_at = out_line;
  err.fail_at = err_line;
  std::streambuf* const cout_was = std::cout.rdbuf(&out);
  std::streambuf* const cerr_was = std::cerr.rdbuf(&err);
  Outcome r;
  {
    cli::Session s(o);
    cli::CatchStopSignals(s.platform().interrupt);
    EXPECT_EQ(s.OpenDevice(), 0);
    EXPECT_TRUE(s.ShowControl());
    FormModel& f = s.form();
    f.At("Frame1", 4).SetVisible(true);
    f.At("btnBoardOffsett").SetVisible(true);
    for (const auto& [box, text] : c.typed) {
      f.Type(box, text);
      s.station().NoteGiven(box, text);
    }
    for (const char* t : c.ticked)
      f.At(t).SetValue(1);
    sim::SimDevice& dev = *s.station().device().simulator();
    const auto before = dev.state().dataflash;
    std::int64_t n = 0, stopped_at = 0;
    dev.on_transfer = [&](const sim::Transfer& t) {
      if (!IsBusTransfer(t.method) && t.method != AdapterMethod::kDelay) return;
      ++n;
      // The way out: the exit command, FETs off, the board offset's control register put back,
      // and the subclass selections of the record's reads.
      const bool way_out = t.cmd == 0x73 || t.cmd == 0x77 || t.addr == cmd::kRegisterAddress ||
                           (t.cmd == 0x46 && t.bytes == std::vector<std::uint8_t>{0, 0});
      if (stopped_at > 0 && IsWrite(t.method) && !way_out) r.wrote_after = true;
      if (n == stop_at) {
        stopped_at = n;
        std::raise(sig);
      }
    };
    r.code = s.Ended(s.PageRun(*RunNamed(c.run)));
    dev.on_transfer = nullptr;
    r.transfers = n;
    r.in_mode = dev.InCalibrationMode();
    r.fets_on = dev.state().fets_on;
    r.changed = dev.state().dataflash != before;
    const auto stored = records::OpenStore(db)->List({});
    if (!stored.empty()) {
      r.outcome = stored.back().outcome;
      for (const auto& img : stored.back().after) {
        if (img.subclass == 104) {
          r.record_holds_device =
              std::equal(img.bytes.begin(), img.bytes.end(), dev.state().dataflash.at(104).begin());
        }
      }
    }
  }
  r.output_failed = out.failed || err.failed;
  std::cout.rdbuf(cout_was);
  std::cerr.rdbuf(cerr_was);
  std::cout.clear();
  std::cerr.clear();
  return r;
}

}  // namespace

TEST(StopSweep, EverySignalAtEveryTransferAndEveryFailedLine) {
  TempDir dir;
  dir.Write("Config.ini", "");
  int scenarios = 0;
  for (const Case& c : Cases()) {
    const Outcome clean = RunOnce(c, dir, 0, 0, 0, 0);
    ASSERT_EQ(clean.code, 0) << c.run;
    auto check = [&](const Outcome& r, const std::string& what) {
      SCOPED_TRACE(std::string(c.run) + " " + what);
      ++scenarios;
      EXPECT_FALSE(r.in_mode);
      EXPECT_TRUE(!r.fets_on || (r.outcome == "done" && clean.fets_on));
      EXPECT_FALSE(r.wrote_after);
      EXPECT_NE(r.outcome, "incomplete");
      if (r.outcome.empty()) {  // stopped before the run began: nothing of it happened
        EXPECT_FALSE(r.changed);
        EXPECT_EQ(r.code, 130);
        return;
      }
      EXPECT_TRUE(r.record_holds_device);
      if (r.outcome == "interrupted") {
        EXPECT_TRUE(r.code == 130 || r.code == 3) << r.code;
      } else {
        EXPECT_EQ(r.outcome, "done");
      }
    };
    // Each signal at every transfer of the calibrate-device run; for the others, the signals in
    // turn, one at each transfer.
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGALRM};
    const bool all = std::string(c.run) == "calibrate";
    for (std::int64_t i = 1; i <= clean.transfers; ++i) {
      for (std::size_t k = 0; k < std::size(signals); ++k) {
        if (!all && k != static_cast<std::size_t>(i) % std::size(signals)) continue;
        const Outcome r = RunOnce(c, dir, i, signals[k], 0, 0);
        check(r, cli::SignalName(signals[k]) + std::string(" at transfer ") + std::to_string(i));
        if (r.outcome == "interrupted") {
          EXPECT_EQ(r.code, 130);
        }
      }
    }
    for (int line = 1; line <= 12; ++line) {
      for (bool on_err : {false, true}) {
        const Outcome r = RunOnce(c, dir, 0, 0, on_err ? 0 : line, on_err ? line : 0);
        check(r, (on_err ? "standard error" : "standard output") + std::string(" at line ") +
                     std::to_string(line));
        EXPECT_EQ(r.code, r.output_failed ? 3 : 0) << r.outcome;
      }
    }
  }
  std::printf("stop sweep: %d scenarios\n", scenarios);
  EXPECT_GT(scenarios, 500);
}

}  // namespace vx::testing
