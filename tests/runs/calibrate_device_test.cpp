#include "run_fixture.h"

namespace vx::testing {

using Msgs = std::vector<std::pair<std::string, std::string>>;
using Bytes = std::vector<std::uint8_t>;

class CalibrateDevice : public RunTest {
 protected:
  // Index in the log of the last transfer of the given command, or the log's size.
  std::size_t Last(int command) {
    std::size_t at = dev().log().size();
    for (std::size_t i = 0; i < dev().log().size(); ++i) {
      if (dev().log()[i].cmd == command) at = i;
    }
    return at;
  }
  void ExpectNothingWritten() {
    for (const auto& t : dev().log()) {
      EXPECT_TRUE(t.method != AdapterMethod::kWriteSMBusBlock && t.cmd != 0x51 && t.cmd != 0x00)
          << t.cmd;
    }
  }
};

TEST_F(CalibrateDevice, NothingTickedSaysSoAndTouchesNothing) {
  At("chkCCGain").SetValue(1);   // not a selection of this run
  At("chkTempCal").SetValue(2);  // grayed is not ticked
  Calibrate();
  EXPECT_EQ(Messages(),
            (Msgs{{"Please check desired calibrations.  Nothing to do!", "Supercap Calibration"}}));
  EXPECT_TRUE(dev().log().empty());
  EXPECT_FALSE(At("prgCal").visible());
  EXPECT_FALSE(At("imgCalDoneBox").visible());
  ExpectIdlePanel();
}

TEST_F(CalibrateDevice, CcOffsetOnlyEntersRunsExitsAndRefreshesOnce) {
  Tick("chkCCOffset");
  auto& progress = RecordValues("prgCal");
  bool early = false;  // the done mark shown as the device enters calibration mode
  dev().on_transfer = [&](const sim::Transfer& t) {
    early =
        early || (t.bytes == std::vector<std::uint8_t>{0, 0x40} && At("imgCalDoneBox").visible());
  };
  Calibrate();
  dev().on_transfer = nullptr;
  EXPECT_FALSE(early);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(progress, (std::vector<int>{5, 15, 70, 100}));
  EXPECT_TRUE(At("imgCalDoneBox").visible());
  EXPECT_EQ(Count(0x73), 1);
  EXPECT_FALSE(Sent(0x46));
  // One scan at the end: nine reads after the exit.
  int reads_after = 0;
  for (std::size_t i = Last(0x73) + 1; i < dev().log().size(); ++i)
    reads_after += IsBusTransfer(dev().log()[i].method) && !IsWrite(dev().log()[i].method);
  EXPECT_EQ(reads_after, 9);
  EXPECT_EQ(dev().state().cal.cc_offset_cal_mA, dev().state().cal.cc_offset_raw_mA);
  ExpectIdlePanel();
  EXPECT_FALSE(At("btnBoardOffsett").enabled());  // hidden: disabled by the run, not re-enabled
}

// After a failed stack voltage step the system voltage step still runs, its progress in sight.
TEST_F(CalibrateDevice, TheSystemStepAfterAFailedStackStepIsInSight) {
  Tick("chkVoltageCal");
  Tick("chkSystemVoltage");
  dev().AddFault({0, 0x09, "ReadSMBusWord_", 772, 1});
  auto& progress = RecordValues("prgCal");
  bool failed = false, hidden = false;  // the bar out of sight while the device works on
  dev().on_transfer = [&](const sim::Transfer& t) {
    hidden = hidden || (failed && !At("prgCal").visible());
    failed = failed || t.status == 772;
  };
  Calibrate();
  dev().on_transfer = nullptr;
  EXPECT_TRUE(failed);
  EXPECT_FALSE(hidden);
  EXPECT_EQ(progress, (std::vector<int>{5, 50, 100}));
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{
                "Capacitor stack voltage Calibration Failed! Error code = No Acknowledge: "
                "VB_T2H_NACK"});
}

// What the page holds reaches the device: the sensor boxes, the temperature, the current and
// the capacitor count in the parameter block and the request word, the FET option in the FET
// command; the FETs go off once calibration mode is left.
TEST_F(CalibrateDevice, TheRequestAsThePageHoldsIt) {
  dev().state().dataflash[64][0] = 2;  // three capacitors
  for (bool bypass : {false, true}) {
    SCOPED_TRACE(bypass);
    Again();
    for (const char* c :
         {"chkVoltageCal", "chkTempCal", "chkCurrentCal", "chkCCOffset", "chkIntTS", "chkExtTS2"}) {
      Tick(c);
    }
    At("chkExtTS1").SetValue(0);
    for (int k = 0; k < 6; ++k)
      At("txtVoltage", k).SetText(std::to_string(2100 * std::min(k + 1, 3)));
    form().Type("txtTemperature", "30");
    form().Type("txtCurrent", "-1500");
    if (bypass) form().Click("OptionByPass");
    std::vector<bool> timer;  // off for the whole device work
    int id = form().AddObserver([&](const Control& c) {
      if (c.Key() == "tmrScan") timer.push_back(c.enabled());
    });
    Calibrate();
    form().RemoveObserver(id);
    EXPECT_EQ(timer, (std::vector<bool>{false, true}));
    ASSERT_TRUE(Messages().empty()) << Messages()[0].first;
    EXPECT_EQ(dev().LastParams(), (Bytes{0x24, 0xFA, 0, 0, 0xD8, 0x0B, 3}));
    std::vector<std::string> order;
    for (const auto& t : dev().log()) {
      if (t.cmd == 0x58 || t.cmd == 0x51 || t.cmd == 0x46 || t.cmd == 0x73 || t.cmd == 0x00) {
        order.push_back(Traffic(std::vector<sim::Transfer>{t})[0]);
      }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"ww 00 00 40", "wb 58 len7",
                                               bypass ? "ww 46 00 00" : "ww 46 00 04",
                                               "ww 51 C0 6D", "cmd 73", "ww 46 00 00"}));
    EXPECT_TRUE(At("imgCalDoneBox").visible());
    EXPECT_FALSE(dev().state().fets_on);
  }
}

// A count the page cannot calibrate stops the run with the count's message before anything is
// written.
TEST_F(CalibrateDevice, AnUnusableCapacitorCountStopsTheRun) {
  for (int byte : {0, 7}) {
    Again();
    dev().state().dataflash[64][0] = static_cast<std::uint8_t>(byte);
    Tick("chkVoltageCal");
    Tick("chkCCOffset");
    Calibrate();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_NE(Messages()[0].first.find("Current Configuration is for " + std::to_string(byte + 1) +
                                       " series capacitors."),
              std::string::npos);
    ExpectNothingWritten();
    EXPECT_FALSE(At("prgCal").visible());
    ExpectIdlePanel();
  }
}

// Each failure with its message, the progress bar's last value and visibility, the done mark
// and the exit commands sent. An entry word that arrived although its confirmation did not come
// back is still left; a failed stack step lets the run go on.
TEST_F(CalibrateDevice, FailuresAndTheirMessages) {
  struct Case {
    std::vector<const char*> ticked;
    sim::FaultRule fault;
    int result;                    // a result word the device reports, or -1
    std::string message, caption;  // the last message
    int progress, exits;
    bool visible, done;
  };
  // clang-format off
  const std::string kCal = "Calibration";
  const Case kCases[] = {
      {{"chkCurrentCal"}, {0, 0x00, "WriteSMBusWord", 772, 1}, -1,
       "Could not enter calibration mode.", kCal, 5, 0, false, false},
      {{"chkCurrentCal"}, {0, 0x50, "", 8, 2}, -1,
       "Could not enter calibration mode.", kCal, 5, 1, false, false},
      {{"chkCurrentCal"}, {}, 0x0040,
       "Calibration failed! Error code = Error Code (decimal) 5025", kCal, 0, 1, false, false},
      {{"chkTempCal"}, {0, 0x73, "", 94, 0}, -1,
       "Error exiting calibration mode. Error code = VB_BUS_BUSY", kCal, 70, 1, true, true},
      {{"chkVoltageCal", "chkCCOffset"}, {0, 0x09, "ReadSMBusWord_", 772, 1}, -1,
       "Capacitor stack voltage Calibration Failed! Error code = No Acknowledge: VB_T2H_NACK",
       kCal, 100, 1, false, false},
      // The system voltage step: a failure has the run's message after its own; a step that
      // stops with its own message (its scan marks the reading Err_Rd) is no success either.
      {{"chkSystemVoltage"}, {0, 0x78, "ReadSMBusBlock_", 772, 0}, -1,
       "System voltage calibration did not successfully complete. ", "", 100, 0, false, false},
      {{"chkSystemVoltage"}, {0, 0x5A, "", 772, 0}, -1,
       "Measured system voltage reading is not available. Please check communications with "
       "device. System voltage calibration not completed.", "", 100, 0, true, false}};
  // clang-format on
  for (const Case& c : kCases) {
    Again();
    for (const char* t : c.ticked)
      Tick(t);
    if (c.fault.cmd != -1) dev().AddFault(c.fault);
    dev().state().forced_result.reset();
    if (c.result >= 0) dev().ForceResult(static_cast<std::uint16_t>(c.result));
    Calibrate();
    ASSERT_FALSE(Messages().empty());
    EXPECT_EQ(Messages().back(), (std::pair{c.message, c.caption}));
    EXPECT_EQ(At("prgCal").value(), c.progress) << c.message;
    EXPECT_EQ(At("prgCal").visible(), c.visible) << c.message;
    EXPECT_EQ(At("imgCalDoneBox").visible(), c.done) << c.message;
    EXPECT_EQ(Count(0x73), c.exits) << c.message;
    EXPECT_EQ(dev().InCalibrationMode(), c.fault.cmd == 0x73);
    EXPECT_FALSE(dev().state().fets_on);
    ExpectIdlePanel();
    if (c.result >= 0) {  // the FETs went off after the exit, not before
      ASSERT_LT(Last(0x73), Last(0x46));
      EXPECT_EQ(dev().log()[Last(0x46)].bytes, (Bytes{0, 0}));
    }
  }
}

// Texts that are no numbers, a temperature that would not fit the device's word and a
// manufacturer-access code beyond a byte are reported before calibration mode is entered.
TEST_F(CalibrateDevice, ValuesThatCannotReachTheDeviceAreCaughtBeforeIt) {
  const std::tuple<const char*, const char*, const char*> kCases[] = {
      {"chkCurrentCal", "txtCurrent", "abc"},
      {"chkTempCal", "txtTemperature", "3010"},
      {"chkCCOffset", "", ""}};
  for (const auto& [check_box, field, text] : kCases) {
    Again();
    Tick(check_box);
    At("txtCalMeasTemperature").SetText("3000");  // pass the 25-degree test
    if (*field) form().Type(field, text);
    std::int16_t dvmac = *field ? 0 : 256;
    cal->DVMAC(dvmac);
    Calibrate();
    ASSERT_EQ(Messages().size(), 1u) << check_box;
    EXPECT_GT(Messages()[0].first.size(), 41u);
    EXPECT_EQ(Messages()[0].first.rfind("Invalid value entered! Error description:", 0), 0u);
    EXPECT_EQ(Messages()[0].second, "Calibration");
    EXPECT_TRUE(dev().log().empty());
    ExpectIdlePanel();
  }
}

// The entry word reaches the device but its confirmation does not come back (772), and a stop
// comes in the first wait of the way out: the trap leaves calibration mode all the same, once,
// and sends no FET command (no current calibration ran).
TEST_F(CalibrateDevice, AStopWhileLeavingAfterAFailedEntryStillLeaves) {
  Tick("chkCurrentCal");
  form().Type("txtCurrent", "-500");
  dev().AddFault({0, 0x50, "ReadSMBusWord", 772, 2, 0});  // the entry's confirmation
  bool failed = false, stopped = false;
  dev().on_transfer = [&](const sim::Transfer& t) {
    failed = failed || t.status == 772;
    if (failed && !stopped && t.method == AdapterMethod::kDelay) {
      stopped = true;
      throw Interrupted();
    }
  };
  Calibrate();
  dev().on_transfer = nullptr;
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(dev().InCalibrationMode());
  EXPECT_EQ(std::count_if(dev().log().begin(), dev().log().end(),
                          [](const sim::Transfer& t) { return t.cmd == 0x73; }),
            1);
  EXPECT_FALSE(Sent(0x46));
  ExpectIdlePanel();
}

}  // namespace vx::testing
