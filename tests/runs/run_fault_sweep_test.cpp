// Every transfer of every run failed in turn with several statuses, plus short blocks and a
// device that stays busy: no crash, calibration mode left, the page and its timer restored,
// data flash blocks either untouched or written whole, and no done mark unless the device
// really ended up calibrated.
#include <algorithm>
#include <functional>

#include "run_fixture.h"

namespace vx::testing {

namespace {

struct RunCase {
  const char* name;
  const char* done;  // the run's done image, or nullptr
  std::function<void(Cal&)> run;
  std::vector<std::string> only = {};  // the calibrate-device selections left ticked (empty: all)
  bool bypass = false;                 // the charge FET option "Off (Bypassed)"
};

const char* const kSelections[] = {"chkVoltageCal", "chkSystemVoltage", "chkTempCal",
                                   "chkCurrentCal", "chkCCOffset"};

// The true values typed, then the selections of the case ticked.
void Prepare(Cal& cal, const sim::SimDevice& dev, const RunCase& rc) {
  FormModel& f = cal.Form();
  const auto& truth = dev.state().truth;
  double tap = 0;
  for (int k = 0; k < 5; ++k) {
    tap += truth.cell_mV[static_cast<std::size_t>(k)];
    f.At("txtVoltage", k).SetText(std::to_string(static_cast<int>(tap)));
  }
  f.At("txtActualSystemVoltage").SetText(std::to_string(static_cast<int>(truth.system_mV)));
  f.At("txtTemperature").SetText("25");
  f.At("txtCurrent").SetText(std::to_string(static_cast<int>(truth.current_mA)));
  for (const char* c : kSelections) {
    f.At(c).SetValue(rc.only.empty() || std::count(rc.only.begin(), rc.only.end(), c) ? 1 : 0);
  }
  if (rc.bypass) f.Click("OptionByPass");
}

std::vector<RunCase> Cases() {
  auto click = [](Cal& c) { c.Form().Click("btnCalibrate"); };
  return {
      {"calibrate-device-stack", "imgCalDoneBox", click, {"chkVoltageCal"}},
      {"calibrate-device-system", "imgCalDoneBox", click, {"chkSystemVoltage"}},
      {"calibrate-device-cc-offset", "imgCalDoneBox", click, {"chkCCOffset"}},
      {"calibrate-device-temperature-current",
       "imgCalDoneBox",
       click,
       {"chkTempCal", "chkCurrentCal"}},
      {"calibrate-device", "imgCalDoneBox", click},
      {"calibrate-device-fet-bypassed", "imgCalDoneBox", click, {}, true},
      {"system-voltage", nullptr, [](Cal& c) { c.CalSystemVoltage(); }},
      {"capacitor-count", nullptr, [](Cal& c) { c.ReadNumberofConfiguredCapacitors(); }},
      {"pack-voltage", "imgPackDoneBox", [](Cal& c) { btnCalPackVolt_Click(c); }},
      {"board-offset", "imgBoardOffDone", [](Cal& c) { btnBoardOffsett_Click(c); }},
      {"board-offset-sw", "imgBoardOffDone", [](Cal& c) { cmdSWBrdOffsetCal_Click(c); }},
      {"scan", nullptr, [](Cal& c) { c.Form().Tick("tmrScan"); }},
  };
}

class Sweep : public RunTest {
 public:
  explicit Sweep(const RunCase& rc) : RunTest(sim::MiscalibratedState(5)), rc_(rc) {}
  void TestBody() override {}
  void Prepare() {
    SetUp();
    vx::testing::Prepare(*cal, dev(), rc_);
  }
  void Go() { rc_.run(*cal); }
  using RunTest::At;
  using RunTest::cal;
  using RunTest::dev;
  void Idle() { ExpectIdlePanel(); }

 private:
  const RunCase& rc_;
};

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

}  // namespace

TEST(RunFaultSweep, EveryTransferOfEveryRun) {
  int scenarios = 0;
  for (const RunCase& rc : Cases()) {
    Sweep clean(rc);
    clean.Prepare();
    const Block before = clean.dev().state().dataflash.at(104);
    const std::int64_t start = clean.dev().transfer_count();
    clean.Go();
    const std::int64_t n = clean.dev().transfer_count() - start;
    const sim::SimState calibrated = clean.dev().state();
    if (rc.done) {
      ASSERT_TRUE(clean.At(rc.done).visible()) << rc.name;
    }

    struct Fault {
      std::int64_t nth;
      Status status;
      int short_block;
      bool stay_busy;
    };
    std::vector<Fault> faults;
    for (std::int64_t i = 1; i <= n; ++i) {
      for (Status s : {772, 92, 94})
        faults.push_back({i, s, -1, false});
    }
    faults.push_back({0, 0, 10, false});
    faults.push_back({0, 0, -1, true});

    for (const Fault& fault : faults) {
      SCOPED_TRACE(std::string(rc.name) + " transfer " + std::to_string(fault.nth) + " status " +
                   std::to_string(fault.status) + (fault.stay_busy ? " busy" : "") +
                   (fault.short_block >= 0 ? " short" : ""));
      ++scenarios;
      Sweep t(rc);
      t.Prepare();
      sim::SimDevice& dev = t.dev();
      const std::int64_t base = dev.transfer_count();
      if (fault.nth > 0) dev.AddFault({base + fault.nth, -1, "", fault.status, false});
      if (fault.short_block >= 0) dev.SetShortBlock(fault.short_block);
      dev.SetStayBusy(fault.stay_busy);
      dev.ClearLog();
      // While the device is in calibration mode no run can be started, no scan interleaves and
      // a calibrate-device run's selections are off (unless leaving the mode failed: the run is
      // over and the device stays there).
      const bool selections = std::string(rc.name).rfind("calibrate-device", 0) == 0;
      int open_in_mode = 0;
      bool exit_failed = false;
      dev.on_transfer = [&](const sim::Transfer& x) {
        exit_failed |= x.status != 0 && (x.cmd == 0x50 || x.cmd == 0x73);
        if (!exit_failed && dev.InCalibrationMode() &&
            (t.At("btnCalibrate").enabled() || t.At("tmrScan").enabled() ||
             (selections && (t.At("chkTempCal").enabled() || t.At("Frame1", 3).enabled())))) {
          ++open_in_mode;
        }
      };
      ASSERT_NO_THROW(t.Go());
      dev.on_transfer = nullptr;
      EXPECT_EQ(open_in_mode, 0) << "panel or scan on during calibration mode";

      const sim::Transfer* failed = nullptr;
      for (const auto& x : dev.log()) {
        if (x.status != 0 && fault.nth > 0) failed = &x;
      }
      if (dev.InCalibrationMode()) {
        // Only a dead bus at the very exit can keep the device there.
        ASSERT_NE(failed, nullptr);
        EXPECT_TRUE(failed->cmd == 0x50 || failed->cmd == 0x73) << failed->cmd;
      }
      t.Idle();
      ExpectWholeWrites(before, calibrated.dataflash.at(104), dev.state().dataflash.at(104));
      if (rc.done && t.At(rc.done).visible()) {
        EXPECT_TRUE(SameCalibration(dev.state(), calibrated)) << "done mark without calibration";
      }
      if (std::string(rc.name).rfind("calibrate-device", 0) == 0 && dev.state().fets_on) {
        ASSERT_NE(failed, nullptr);
        EXPECT_EQ(failed->cmd, 0x46) << "FETs left on";
      }
    }
  }
  std::printf("run fault sweep: %d scenarios\n", scenarios);
  EXPECT_GT(scenarios, 500);
}

}  // namespace vx::testing
