#include "run_fixture.h"

namespace vx::testing {

using Msgs = std::vector<std::pair<std::string, std::string>>;

class CalibrateDevice : public RunTest {};

TEST_F(CalibrateDevice, NothingTickedSaysSoAndTouchesNothing) {
  At("chkCCGain").SetValue(1);  // not a selection of this run
  Calibrate();
  EXPECT_EQ(Messages(),
            (Msgs{{"Please check desired calibrations.  Nothing to do!", "Supercap Calibration"}}));
  EXPECT_TRUE(dev().log().empty());
  EXPECT_FALSE(At("prgCal").visible());
  EXPECT_FALSE(At("imgCalDoneBox").visible());
  ExpectIdlePanel();
}

TEST_F(CalibrateDevice, GrayedCheckBoxCountsAsNotTicked) {
  At("chkTempCal").SetValue(2);
  Calibrate();
  EXPECT_EQ(Messages().size(), 1u);
  EXPECT_TRUE(dev().log().empty());
}

TEST_F(CalibrateDevice, SystemVoltageOnlyEndsAt100WithTheDoneMark) {
  auto& progress = RecordValues("prgCal");
  Tick("chkSystemVoltage");
  form().Type("txtActualSystemVoltage", "12000");
  Calibrate();
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(progress, (std::vector<int>{5, 50, 100}));
  EXPECT_TRUE(At("imgCalDoneBox").visible());
  EXPECT_FALSE(Sent(0x51));
  EXPECT_FALSE(dev().InCalibrationMode());
  ExpectIdlePanel();
  form().Tick("tmrScan");
  EXPECT_EQ(Text("txtMeasuredSystemVoltage"), "12000");
}

TEST_F(CalibrateDevice, FailedSystemVoltageStepLeavesTheDoneMarkHidden) {
  Tick("chkSystemVoltage");
  dev().AddFault({0, 0x78, "ReadSMBusBlock_", 772, false});
  Calibrate();
  EXPECT_EQ(Messages(),
            (Msgs{{"Not able to read calibration parameter values from Data flash. Please ensure "
                   "device is connected and communicating. System Voltage calibration not "
                   "completed.",
                   ""},
                  {"System voltage calibration did not successfully complete. ", ""}}));
  EXPECT_EQ(At("prgCal").value(), 100);
  EXPECT_FALSE(At("imgCalDoneBox").visible());
  ExpectIdlePanel();
}

TEST_F(CalibrateDevice, SystemVoltageStepThatStopsWithItsOwnMessageIsNotASuccess) {
  Tick("chkSystemVoltage");
  dev().AddFault({0, 0x5A, "", 772, false});  // the step's own scan marks the reading Err_Rd
  Calibrate();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].first.rfind("Measured system voltage reading is not available.", 0), 0u);
  EXPECT_FALSE(At("imgCalDoneBox").visible());
  for (const auto& t : dev().log())
    EXPECT_NE(t.method, "WriteSMBusBlock");
}

TEST_F(CalibrateDevice, CcOffsetOnlyEntersRunsExitsAndRefreshesOnce) {
  Tick("chkCCOffset");
  auto& progress = RecordValues("prgCal");
  Calibrate();
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(progress, (std::vector<int>{5, 15, 70, 100}));
  EXPECT_TRUE(At("imgCalDoneBox").visible());
  EXPECT_EQ(Count(0x73), 1);
  EXPECT_FALSE(Sent(0x46));
  // One scan at the end: nine reads after the exit.
  std::size_t exit_at = 0;
  for (std::size_t i = 0; i < dev().log().size(); ++i) {
    if (dev().log()[i].cmd == 0x73) exit_at = i;
  }
  int reads_after = 0;
  for (std::size_t i = exit_at + 1; i < dev().log().size(); ++i) {
    reads_after += dev().log()[i].method.rfind("Read", 0) == 0;
  }
  EXPECT_EQ(reads_after, 9);
  EXPECT_EQ(dev().state().cal.cc_offset_cal_mA, dev().state().cal.cc_offset_raw_mA);
  ExpectIdlePanel();
  EXPECT_FALSE(At("btnBoardOffsett").enabled());  // hidden: disabled by the run, not re-enabled
}

TEST_F(CalibrateDevice, CurrentEndsWithTheFetsOffEvenAfterFailures) {
  Tick("chkCurrentCal");
  dev().ForceResult(0x0040);
  Calibrate();
  EXPECT_EQ(Messages(),
            (Msgs{{"Calibration failed! Error code = Error Code (decimal) 5025", "Calibration"}}));
  EXPECT_EQ(At("prgCal").value(), 0);
  EXPECT_FALSE(At("prgCal").visible());
  EXPECT_FALSE(At("imgCalDoneBox").visible());
  EXPECT_FALSE(dev().InCalibrationMode());
  EXPECT_FALSE(dev().state().fets_on);
  ASSERT_FALSE(dev().log().empty());
  int fet_off_after_exit = 0;
  bool exited = false;
  for (const auto& t : dev().log()) {
    if (t.cmd == 0x73) exited = true;
    if (exited && t.cmd == 0x46 && t.bytes == std::vector<std::uint8_t>{0, 0}) ++fet_off_after_exit;
  }
  EXPECT_EQ(fet_off_after_exit, 1);
}

TEST_F(CalibrateDevice, SuccessfulCalibrationWithAFailedExitKeeps70AndTheDoneMark) {
  Tick("chkTempCal");
  dev().AddFault({0, 0x73, "", 94, false});
  Calibrate();
  EXPECT_EQ(Messages(),
            (Msgs{{"Error exiting calibration mode. Error code = VB_BUS_BUSY", "Calibration"}}));
  EXPECT_EQ(At("prgCal").value(), 70);
  EXPECT_TRUE(At("imgCalDoneBox").visible());
  ExpectIdlePanel();
}

TEST_F(CalibrateDevice, FailedEntrySendsNoExitCommandNoFetOffAndNoRefresh) {
  Tick("chkCurrentCal");
  dev().AddFault({0, 0x00, "WriteSMBusWord", 772, false});
  Calibrate();
  EXPECT_EQ(Messages(), (Msgs{{"Could not enter calibration mode.", "Calibration"}}));
  EXPECT_EQ(Count(0x73), 0);
  EXPECT_FALSE(Sent(0x46));
  EXPECT_EQ(Count(0x3F), 0);  // no scan tick
  EXPECT_FALSE(At("prgCal").visible());
  EXPECT_FALSE(At("imgCalDoneBox").visible());
  ExpectIdlePanel();
}

TEST_F(CalibrateDevice, EntryWordThatArrivedButWasNotConfirmedIsStillLeft) {
  Tick("chkCCOffset");
  int signature_reads = 0;
  dev().on_transfer = [&](const sim::Transfer& t) {
    if (t.cmd == 0x50 && ++signature_reads == 1) dev().AddFault({0, 0x50, "", 8, true});
  };
  Calibrate();
  EXPECT_EQ(Messages(), (Msgs{{"Could not enter calibration mode.", "Calibration"}}));
  EXPECT_FALSE(dev().InCalibrationMode());
  EXPECT_EQ(Count(0x73), 1);
}

TEST_F(CalibrateDevice, TextThatIsNotANumberIsReportedBeforeAnyDeviceAccess) {
  Tick("chkCurrentCal");
  form().Type("txtCurrent", "abc");
  Calibrate();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].first.rfind("Invalid value entered! Error description:", 0), 0u);
  EXPECT_GT(Messages()[0].first.size(),
            std::string("Invalid value entered! Error description:").size());
  EXPECT_EQ(Messages()[0].second, "Calibration");
  EXPECT_TRUE(dev().log().empty());
  ExpectIdlePanel();
}

TEST_F(CalibrateDevice, TemperatureThatWouldNotFitIsCaughtBeforeTheDevice) {
  Tick("chkTempCal");
  Tick("chkVoltageCal");
  form().Type("txtTemperature", "3010");
  At("txtCalMeasTemperature").SetText("3000");  // pass the 25-degree test
  Calibrate();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].first.rfind("Invalid value entered! Error description:", 0), 0u);
  // Only the capacitor count was read; no calibration touched the device.
  for (const auto& t : dev().log())
    EXPECT_TRUE(t.cmd == 0x77 || t.cmd == 0x78) << t.cmd;
  EXPECT_FALSE(Sent(0x51));
}

TEST_F(CalibrateDevice, StackVoltageFailureIsReportedAndTheRunGoesOn) {
  Tick("chkVoltageCal");
  Tick("chkCCOffset");
  dev().AddFault({0, 0x09, "ReadSMBusWord_", 772, true});  // the routine's stack reading
  Calibrate();
  EXPECT_EQ(Messages(),
            (Msgs{{"Capacitor stack voltage Calibration Failed! Error code = No Acknowledge: "
                   "VB_T2H_NACK",
                   "Calibration"}}));
  EXPECT_EQ(Count(0x51), 1);  // calibration mode still ran
  EXPECT_FALSE(At("imgCalDoneBox").visible());
  ExpectIdlePanel();
}

// The panel and the scan stay off from the start of the device work to the end of the run,
// even after a failed stack step and across the system voltage step (which enables them as it
// ends): a second click or a scan tick during calibration mode would interleave with it.
TEST_F(CalibrateDevice, PanelStaysOffThroughCalibrationModeAfterEarlierSteps) {
  Tick("chkVoltageCal");
  Tick("chkSystemVoltage");
  Tick("chkCCOffset");
  At("txtActualSystemVoltage").SetText(Text("txtMeasuredSystemVoltage"));
  dev().AddFault({0, 0x09, "ReadSMBusWord_", 772, true});  // the stack step fails
  bool clickable_in_mode = false, scan_in_mode = false;
  int transfers_in_mode = 0;
  dev().on_transfer = [&](const sim::Transfer&) {
    if (!dev().InCalibrationMode()) return;
    ++transfers_in_mode;
    clickable_in_mode |= At("btnCalibrate").enabled() || At("chkVoltageCal").enabled();
    scan_in_mode |= At("tmrScan").enabled();
  };
  Calibrate();
  EXPECT_GT(transfers_in_mode, 10);
  EXPECT_FALSE(clickable_in_mode);
  EXPECT_FALSE(scan_in_mode);
  EXPECT_EQ(Count(0x51), 1);  // one entry into calibration mode, no nested run
  ExpectIdlePanel();
}

TEST_F(CalibrateDevice, TimerIsOffForTheWholeDeviceWork) {
  Tick("chkTempCal");
  std::vector<bool> timer;
  form().AddObserver([&](const Control& c) {
    if (c.Key() == "tmrScan") timer.push_back(c.enabled());
  });
  Calibrate();
  EXPECT_EQ(timer, (std::vector<bool>{false, true}));
}

TEST_F(CalibrateDevice, TrafficOfAFullRunInOrder) {
  for (const char* c : {"chkVoltageCal", "chkSystemVoltage", "chkTempCal", "chkCurrentCal"}) {
    Tick(c);
  }
  Tick("chkCCOffset");
  Calibrate();
  ASSERT_TRUE(Messages().empty()) << Messages()[0].first;
  std::vector<std::string> phases;
  auto phase = [&](const std::string& p) {
    if (phases.empty() || phases.back() != p) phases.push_back(p);
  };
  bool in_mode = false;
  for (const auto& t : dev().log()) {
    if (t.method == "Delay" || t.method == "CheckForError") continue;
    if (t.cmd == 0x77 && t.bytes == std::vector<std::uint8_t>{0, 64}) phase("count");
    if (t.cmd == 0x77 && t.bytes == std::vector<std::uint8_t>{0, 104}) phase("dataflash");
    if (t.cmd == 0x00) {
      phase("enter");
      in_mode = true;
    }
    if (in_mode && t.cmd == 0x58) phase("params");
    if (in_mode && t.cmd == 0x51) phase("request");
    if (t.cmd == 0x73) {
      phase("exit");
      in_mode = false;
    }
    if (!in_mode && t.cmd == 0x46) phase("fet-off");
  }
  EXPECT_EQ(phases, (std::vector<std::string>{"count", "dataflash", "enter", "params", "request",
                                              "exit", "fet-off"}));
  EXPECT_TRUE(At("imgCalDoneBox").visible());
}

class EndToEnd : public RunTest {
 protected:
  EndToEnd() : RunTest(sim::MiscalibratedState(5)) {}
};

TEST_F(EndToEnd, MiscalibratedDeviceReadsTrueAfterOneClick) {
  const auto truth = dev().state().truth;
  double tap = 0;
  for (int k = 0; k < 5; ++k) {
    tap += truth.cell_mV[static_cast<std::size_t>(k)];
    ASSERT_TRUE(form().Type("txtVoltage(" + std::to_string(k) + ")",
                            std::to_string(static_cast<int>(tap))));
  }
  form().Type("txtActualSystemVoltage", std::to_string(static_cast<int>(truth.system_mV)));
  form().Type("txtTemperature", "25");
  form().Type("txtCurrent", std::to_string(static_cast<int>(truth.current_mA)));
  for (const char* c : {"chkVoltageCal", "chkSystemVoltage", "chkTempCal", "chkCurrentCal"}) {
    ASSERT_TRUE(form().Click(c));
  }
  EXPECT_NE(Text("txtCalMeasVoltage", 0), "2050");
  Calibrate();
  ASSERT_TRUE(Messages().empty()) << Messages()[0].first;
  EXPECT_TRUE(At("imgCalDoneBox").visible());
  form().Tick("tmrScan");
  tap = 0;
  for (int k = 0; k < 5; ++k) {
    tap += truth.cell_mV[static_cast<std::size_t>(k)];
    EXPECT_NEAR(std::stod(Text("txtCalMeasVoltage", k)), tap, 1.0) << k;
  }
  EXPECT_NEAR(std::stod(Text("txtCalMeasVoltage", 5)), tap, 1.0);
  EXPECT_NEAR(std::stod(Text("txtMeasuredSystemVoltage")), truth.system_mV, 1.0);
  EXPECT_NEAR(std::stod(Text("txtCalMeasTemperature")), truth.temperature_C, 0.1);
  EXPECT_NEAR(std::stod(Text("txtCalMeasCurrent")), truth.current_mA, 1.0);
  EXPECT_FALSE(dev().InCalibrationMode());
  EXPECT_FALSE(dev().state().fets_on);
  // The whole run took seconds of device time and none of real time.
  EXPECT_GT(platform().Now(), std::chrono::seconds(5));
}

}  // namespace vx::testing
