// Every run of the page as the command line runs it (the station's operation, the console in
// front), on a miscalibrated unit, with something going wrong at every step: each transfer
// failing in turn (several statuses, a short block, a device that stays busy), the adapter
// throwing at each, each signal that would end the program at each transfer, standard output
// or standard error failing at each line the run prints. Each time: no crash; the page shut while
// the device is in calibration mode; the device left out of it (unless the way out itself failed),
// FETs off (unless their command failed); nothing written after a stop but the way out;
// CalibrationData untouched or written whole; no done mark without the calibration; the record
// complete and holding what took effect; the documented exit code.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <iostream>

#include "control/cal.h"
#include "control/module.h"
#include "device/commands.h"
#include "hosts/cli/commands.h"
#include "hosts/cli/signals.h"
#include "page_at_rest.h"
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

const char* const kSelections[] = {"chkVoltageCal", "chkSystemVoltage", "chkTempCal",
                                   "chkCurrentCal", "chkCCOffset"};

struct Case {
  const char* name;
  const char* run;                     // a run of the station, or "" for a host method
  std::vector<const char*> ticked;     // the calibrate-device selections (empty: all)
  bool bypass = false;                 // the charge FET option "Off (Bypassed)"
  std::function<void(Cal&)> act = {};  // what a case without a run does
};

std::vector<Case> Cases() {
  return {
      {"calibrate-stack", "calibrate", {"chkVoltageCal"}},
      {"calibrate-system", "calibrate", {"chkSystemVoltage"}},
      {"calibrate-cc-offset", "calibrate", {"chkCCOffset"}},
      {"calibrate-temperature-current", "calibrate", {"chkTempCal", "chkCurrentCal"}},
      {"calibrate", "calibrate", {}},
      {"calibrate-fet-bypassed", "calibrate", {}, true},
      {"system-voltage", "system-voltage", {}},
      {"pack-voltage", "pack-voltage", {}},
      {"board-offset-hardware", "board-offset-hardware", {}},
      {"board-offset-software", "board-offset-software", {}},
      {"capacitor-count", "", {}, false, [](Cal& c) { c.ReadNumberofConfiguredCapacitors(); }},
      {"scan", "", {}, false, [](Cal& c) { c.Form().Tick("tmrScan"); }},
  };
}

struct Trouble {
  std::int64_t fault_at = 0;  // the transfer that fails, from the run's first
  Status status = 0;
  int short_block = -1;
  bool stay_busy = false;
  std::int64_t throw_at = 0;  // the transfer at which the adapter throws
  std::int64_t stop_at = 0;   // the transfer at which the signal comes
  int sig = 0;
  int out_line = 0, err_line = 0;  // the line from which standard output / error fail
  bool records = false;            // the run recorded (and its record read back)
};

struct Seen {
  int code = 0;
  std::int64_t transfers = 0;
  bool open_in_mode = false, wrote_after = false, idle = false, done = false, failed_out = false;
  bool in_mode = false;
  int failed_cmd = -1;  // the last transfer that failed
  sim::SimState after;
  std::string outcome;
  bool record_holds_device = false;
};

Seen RunOnce(const Case& c, const Trouble& t, const TempDir& dir) {
  ResetThisThreadModule();
  const std::string db = dir.path() + "/records.sqlite";
  std::remove(db.c_str());
  cli::Options o;
  o.fast = o.yes = o.trust_references = true;
  o.config_dir = dir.path();
  o.device.sim_state = dir.path() + "/unit.json";
  o.station.records = t.records ? std::optional<std::string>(db) : std::nullopt;
  o.make_cal = [] { return static_cast<ICal*>(new Cal()); };
  FailingBuf out, err;
  out.fail_at = t.out_line;
  err.fail_at = t.err_line;
  std::streambuf* const cout_was = std::cout.rdbuf(&out);
  std::streambuf* const cerr_was = std::cerr.rdbuf(&err);
  Seen r;
  {
    cli::Session s(o);
    cli::CatchStopSignals(s.platform().interrupt);
    EXPECT_EQ(s.OpenDevice(), 0);
    EXPECT_TRUE(s.ShowControl());
    FormModel& f = s.form();
    f.At("Frame1", 4).SetVisible(true);
    f.At("btnBoardOffsett").SetVisible(true);
    sim::SimDevice& dev = *s.station().device().simulator();
    double tap = 0;  // the true values typed, as given for this unit
    for (int k = 0; k < 5; ++k) {
      tap += dev.state().truth.cell_mV[static_cast<std::size_t>(k)];
      f.Type("txtVoltage(" + std::to_string(k) + ")", std::to_string(std::lround(tap)));
    }
    f.Type("txtActualSystemVoltage", std::to_string(std::lround(dev.state().truth.system_mV)));
    f.Type("txtTemperature", "25");
    f.Type("txtCurrent", std::to_string(std::lround(dev.state().truth.current_mA)));
    for (const auto& key :
         {"txtVoltage(0)", "txtVoltage(1)", "txtVoltage(2)", "txtVoltage(3)", "txtVoltage(4)",
          "txtActualSystemVoltage", "txtTemperature", "txtCurrent"}) {
      s.station().NoteGiven(key, f.At(key).text());
    }
    for (const char* sel : kSelections) {
      const bool on = std::string(c.run) == "calibrate" &&
                      (c.ticked.empty() || std::count(c.ticked.begin(), c.ticked.end(), sel));
      f.At(sel).SetValue(on ? 1 : 0);
    }
    if (c.bypass) f.Click("OptionByPass");
    const std::int64_t base = dev.transfer_count();
    if (t.fault_at > 0) dev.AddFault({base + t.fault_at, -1, "", t.status, 0, 0});
    if (t.short_block >= 0) dev.SetShortBlock(t.short_block);
    dev.SetStayBusy(t.stay_busy);
    const bool selections = std::string(c.run) == "calibrate";
    bool exit_failed = false;
    std::int64_t n = 0, stopped_at = 0;
    dev.on_transfer = [&](const sim::Transfer& x) {
      if (x.status != 0) r.failed_cmd = x.cmd;
      exit_failed |= x.status != 0 && (x.cmd == 0x50 || x.cmd == 0x73);
      if (!exit_failed && dev.InCalibrationMode() &&
          (f.At("btnCalibrate").enabled() || f.At("tmrScan").enabled() ||
           (selections && (f.At("chkTempCal").enabled() || f.At("Frame1", 3).enabled())))) {
        r.open_in_mode = true;
      }
      if (!IsBusTransfer(x.method) && x.method != AdapterMethod::kDelay) return;
      ++n;
      // The way out: the exit command, FETs off, the board offset's control register put back,
      // and the subclass selections of the record's reads.
      const bool way_out = x.cmd == 0x73 || x.cmd == 0x77 || x.addr == cmd::kRegisterAddress ||
                           (x.cmd == 0x46 && x.bytes == std::vector<std::uint8_t>{0, 0});
      if (stopped_at > 0 && IsWrite(x.method) && !way_out) r.wrote_after = true;
      if (n == t.throw_at) {
        r.failed_cmd = x.cmd;
        exit_failed |= x.cmd == 0x50 || x.cmd == 0x73;
        throw std::runtime_error("adapter gone");
      }
      if (n == t.stop_at) {
        stopped_at = n;
        std::raise(t.sig);
      }
    };
    if (std::string(c.run).empty()) {
      c.act(static_cast<Cal&>(s.cal()));
      r.code = s.Ended(0);
    } else {
      r.code = s.Ended(s.PageRun(*RunNamed(c.run)));
    }
    dev.on_transfer = nullptr;
    r.transfers = n;
    r.after = dev.state();
    r.in_mode = dev.InCalibrationMode();
    r.after.faults.clear();
    r.idle = PageAtRest(f);
    for (const char* mark : {"imgCalDoneBox", "imgPackDoneBox", "imgBoardOffDone"})
      r.done = r.done || f.At(mark).visible();
    if (t.records) {
      const auto stored = records::OpenStore(db)->List({});
      if (!stored.empty()) {
        r.outcome = stored.back().outcome;
        for (const auto& img : stored.back().after) {
          r.record_holds_device =
              r.record_holds_device ||
              (img.subclass == 104 &&
               std::equal(img.bytes.begin(), img.bytes.end(), r.after.dataflash.at(104).begin()));
        }
      }
    }
  }
  r.failed_out = out.failed || err.failed;
  std::cout.rdbuf(cout_was);
  std::cerr.rdbuf(cerr_was);
  std::cout.clear();
  std::cerr.clear();
  return r;
}

using Block = sim::DataFlashBlock;

// Every byte range of CalibrationData is either as it was or as the clean run left it, and
// ranges that one write sets together change together.
void ExpectWholeWrites(const Block& before, const Block& clean, const Block& now) {
  const std::vector<std::vector<std::size_t>> groups{
      {8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 22, 23}, {18, 19}, {20, 21}};
  std::vector<bool> in_group(32, false);
  for (const auto& g : groups) {
    bool same_as_before = true, same_as_clean = true;
    for (std::size_t i : g) {
      in_group[i] = true;
      same_as_before = same_as_before && now[i] == before[i];
      same_as_clean = same_as_clean && now[i] == clean[i];
    }
    EXPECT_TRUE(same_as_before || same_as_clean) << "bytes from " << g[0];
  }
  for (std::size_t i = 0; i < 32; ++i) {
    if (!in_group[i]) {
      EXPECT_EQ(now[i], before[i]) << "byte " << i;
    }
  }
}

bool SameCalibration(const sim::SimState& a, const sim::SimState& b) {
  return a.dataflash.at(104) == b.dataflash.at(104) && a.cal.cc_gain == b.cal.cc_gain &&
         a.cal.temp_offset_dK == b.cal.temp_offset_dK &&
         a.cal.cc_offset_cal_mA == b.cal.cc_offset_cal_mA &&
         a.cal.board_offset_cal_mA == b.cal.board_offset_cal_mA &&
         a.cal.pack_gain == b.cal.pack_gain;
}

// The sanitizers' build is ten times slower: there each case takes every sixth transfer, each
// case a different sixth, so that the build still sees every kind of trouble in every run.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::int64_t kStride = 6;
#else
constexpr std::int64_t kStride = 1;
#endif

}  // namespace

TEST(RunSweep, EveryFaultEverySignalEveryFailedLine) {
  TempDir dir;
  dir.Write("Config.ini", "");
  const sim::SimState unit = sim::MiscalibratedState(5);
  const Block before = unit.dataflash.at(104);
  const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGALRM};
  int scenarios = 0;
  std::int64_t case_index = 0;
  for (const Case& c : Cases()) {
    ++case_index;
    sim::SaveStateFile(unit, dir.path() + "/unit.json");
    const Seen clean = RunOnce(c, {}, dir);
    ASSERT_EQ(clean.code, 0) << c.name;
    std::vector<std::pair<std::string, Trouble>> troubles;
    for (std::int64_t i = 1; i <= clean.transfers; ++i) {
      if ((i + case_index) % kStride != 0) continue;
      for (Status st : {772, i % 2 ? 92 : 94})
        troubles.push_back({"fault " + std::to_string(st) + " at transfer " + std::to_string(i),
                            {.fault_at = i, .status = st}});
      troubles.push_back({"thrown at transfer " + std::to_string(i), {.throw_at = i}});
      // Each signal in turn, every one at each transfer of the full calibration.
      for (std::size_t k = 0; k < std::size(signals); ++k) {
        if (std::string(c.name) != "calibrate" && k != static_cast<std::size_t>(i) % 5) continue;
        troubles.push_back({cli::SignalName(signals[k]) + " at transfer " + std::to_string(i),
                            {.stop_at = i, .sig = signals[k], .records = true}});
      }
    }
    troubles.push_back({"short block", {.short_block = 10}});
    troubles.push_back({"busy", {.stay_busy = true}});
    for (int line = 1; line <= 12; ++line) {
      troubles.push_back(
          {"stdout at line " + std::to_string(line), {.out_line = line, .records = true}});
      troubles.push_back(
          {"stderr at line " + std::to_string(line), {.err_line = line, .records = true}});
    }
    for (const auto& [what, t] : troubles) {
      SCOPED_TRACE(std::string(c.name) + ": " + what);
      ++scenarios;
      sim::SaveStateFile(unit, dir.path() + "/unit.json");
      const Seen r = RunOnce(c, t, dir);
      EXPECT_FALSE(r.open_in_mode) << "panel or scan on during calibration mode";
      if (r.in_mode) {
        EXPECT_TRUE(r.failed_cmd == 0x50 || r.failed_cmd == 0x73) << r.failed_cmd;
      }
      // A run that leaves the FETs on when it succeeds (the user was warned) may leave them on
      // when it fails; a stop switches them off.
      EXPECT_TRUE(!r.after.fets_on || r.failed_cmd == 0x46 ||
                  (clean.after.fets_on && (r.done || t.sig == 0)));
      EXPECT_FALSE(r.wrote_after);
      EXPECT_TRUE(r.idle);
      ExpectWholeWrites(before, clean.after.dataflash.at(104), r.after.dataflash.at(104));
      if (r.done) {
        EXPECT_TRUE(SameCalibration(r.after, clean.after)) << "done without it";
      }
      if (!t.records || std::string(c.run).empty()) continue;
      EXPECT_NE(r.outcome, "incomplete");
      if (r.outcome.empty()) {  // stopped before the run began: nothing of it happened
        EXPECT_EQ(r.after.dataflash, unit.dataflash);
        EXPECT_EQ(r.code, 130);
        continue;
      }
      EXPECT_TRUE(r.record_holds_device);
      const int code = t.sig ? (r.outcome == "interrupted" ? 130 : 0) : r.failed_out ? 3 : 0;
      EXPECT_EQ(r.code, code) << r.outcome;
    }
  }
  std::printf("run sweep: %d scenarios\n", scenarios);
  EXPECT_GT(scenarios, 1500 / kStride);
}

}  // namespace vx::testing
