#include "run_fixture.h"

namespace vx::testing {

using Msg = std::pair<std::string, std::string>;

// The pack voltage and hardware board offset runs share one sequence around their routine.
struct ModeRun {
  void (*click)(PageHost&);
  const char* progress;
  const char* done;
  std::vector<int> progression;
  const char* start;  // the confirmation
};

class CalibrationModeRuns : public RunTest {
 protected:
  const ModeRun runs_[2] = {
      {&btnCalPackVolt_Click,
       "prgPackVolt",
       "imgPackDoneBox",
       {10, 30, 70, 100},
       "FETs will be turned on! Press Cancel if Voltage Calibration has not been performed on "
       "this pack. After the voltage calibration, set the data flash constant "
       "DF:Calibration/Config/Voltage_Signal to the battery stack voltage and proceed."},
      {&btnBoardOffsett_Click,
       "prgBoardOffSet",
       "imgBoardOffDone",
       {5, 25, 70, 100},
       "Ensure that absolutely no current is flowing through the sense resistor.\r\n"
       "Either power the device from the Pack+ input only, or ensure charge FET is open and "
       "Pack+ voltage is higher than the cell voltage.\r\n"
       "Please wait at least 35 seconds after clicking the OK button."}};
};

// Cancel at the confirmation changes nothing; OK runs to 100 with the done image.
TEST_F(CalibrationModeRuns, ConfirmedRunsEndAt100WithTheDoneImage) {
  for (const auto& r : runs_) {
    Again();
    platform().QueueAnswer(Answer::kCancel);
    r.click(*cal);
    EXPECT_TRUE(dev().log().empty());
    EXPECT_FALSE(At(r.progress).visible());
    auto& progress = RecordValues(r.progress);
    r.click(*cal);
    EXPECT_EQ(Messages(), (std::vector<Msg>(2, {r.start, "Calibration"})));
    EXPECT_EQ(platform().messages()[1].buttons, Buttons::kOkCancel);
    EXPECT_EQ(progress, r.progression);
    EXPECT_TRUE(At(r.done).visible());
    EXPECT_FALSE(dev().InCalibrationMode());
    ExpectIdlePanel();
  }
  EXPECT_TRUE(dev().state().fets_on);  // the pack voltage run leaves them on
  EXPECT_NEAR(dev().state().cal.pack_gain, 1.0 / dev().state().cal.pack_sense_error, 1e-12);
  EXPECT_EQ(dev().state().cal.board_offset_cal_mA, dev().state().cal.board_offset_raw_mA);
}

TEST_F(CalibrationModeRuns, EntryRoutineAndExitFailures) {
  for (const auto& r : runs_) {
    Again();
    dev().AddFault({0, 0x00, "WriteSMBusWord", 772, 1});
    r.click(*cal);
    EXPECT_EQ(Messages().back(), (Msg{"Error setting Calibration mode. Error code = No "
                                      "Acknowledge: VB_T2H_NACK",
                                      "Calibration"}));
    EXPECT_EQ(At(r.progress).value(), r.progression[0]);
    EXPECT_EQ(Count(0x51) + Count(0x73), 0);
    ExpectIdlePanel();

    Again();
    dev().ForceResult(0x0100);
    r.click(*cal);
    EXPECT_EQ(Messages().back(),
              (Msg{"Calibration error. Error code = Error Code (decimal) 5023", "Calibration"}));
    EXPECT_EQ(At(r.progress).value(), 0);
    EXPECT_FALSE(At(r.done).visible());
    EXPECT_EQ(Count(0x73), 1);
    dev().state().forced_result.reset();

    Again();
    dev().AddFault({0, 0x73, "", 8, 0});
    r.click(*cal);
    EXPECT_EQ(Messages().back().first,
              "Error exiting calibration mode. Error code = USB timeout: VB_TIMEOUT_ERROR");
    EXPECT_EQ(At(r.progress).value(), 100);
    EXPECT_TRUE(At(r.done).visible());
  }
}

// A manufacturer-access code beyond a byte fails before any transfer, and the page comes back.
TEST_F(CalibrationModeRuns, AnInvalidCodeIsTrappedBeforeTheDevice) {
  for (const auto& r : runs_) {
    Again();
    std::int16_t dvmac = 256;
    cal->DVMAC(dvmac);
    r.click(*cal);
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[1].first.rfind("Invalid value entered! Error description:", 0), 0u);
    EXPECT_TRUE(dev().log().empty());  // not even the signature is read
    EXPECT_FALSE(At(r.done).visible());
    ExpectIdlePanel();
  }
}

class SoftwareBoardOffset : public RunTest {};

TEST_F(SoftwareBoardOffset, TakesItsCountFromTheTypedSeconds) {
  dev().state().cal.sample_idle = 100;
  dev().state().cal.sample_active = 40;
  auto& progress = RecordValues("prgBoardOffSet");
  int yields = platform().yields();
  platform().ClearWaits();
  bool shown = true;  // the bar, through every transfer of the run
  dev().on_transfer = [&](const sim::Transfer&) {
    shown = shown && At("prgBoardOffSet").visible();
  };
  cmdSWBrdOffsetCal_Click(*cal);
  EXPECT_TRUE(shown);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].first,
            "Ensure that the device is powered from the cell inputs and no charger is connected."
            "\r\nEnsure that Pack Current has already been successfully calibrated.\r\n"
            "Please wait at least 2 seconds after clicking the OK button.");
  EXPECT_EQ(platform().messages()[0].buttons, Buttons::kOkCancel);
  EXPECT_EQ(progress, (std::vector<int>{15, 25, 80, 100}));
  EXPECT_EQ(Count(0x42), 8);  // four samples in each phase
  EXPECT_EQ(dev().state().dataflash[104][22], 0x0F);
  EXPECT_EQ(dev().state().dataflash[104][23], 0x00);
  EXPECT_TRUE(At("imgBoardOffDone").visible());
  EXPECT_EQ(platform().cursor_changes(), (std::vector<bool>{true, false}));
  ExpectIdlePanel();
  // One yield to the host before the device work, then plain sleeps.
  EXPECT_EQ(platform().yields(), yields + 1);
  for (const auto& w : platform().waits())
    EXPECT_EQ(w.kind, WaitRecord::kSleep);
  EXPECT_EQ(platform().Now(), std::chrono::milliseconds(4450 + 1000 * 4));
}

TEST(BoardOffsetCount, TwoSamplesASecondHalvesToEven) {
  const std::pair<const char*, int> kCases[] = {{"2", 4},    {"35", 70},  {"0.75", 2}, {"1.25", 2},
                                                {"0.25", 0}, {"-9", -18}, {"x", 0}};
  for (auto [typed, count] : kCases)
    EXPECT_EQ(BoardOffsetSampleCount(typed), count) << typed;
}

TEST_F(SoftwareBoardOffset, RefusesATimeWithoutSamplesBeforeTheDevice) {
  for (const char* typed : {"", "0", "x", ".2", "-1"}) {
    platform().TakeMessages();
    At("txtBrdOffTime").SetText(typed);
    cmdSWBrdOffsetCal_Click(*cal);
    ASSERT_EQ(platform().messages().size(), 1u) << typed;
    EXPECT_EQ(platform().messages()[0].buttons, Buttons::kOk);
    EXPECT_TRUE(dev().log().empty());
    EXPECT_FALSE(At("prgBoardOffSet").visible());
  }
}

TEST_F(SoftwareBoardOffset, FailuresAreReportedAfterTheBarReaches100) {
  dev().AddFault({0, 0x71, "", 2, 0});
  cmdSWBrdOffsetCal_Click(*cal);
  EXPECT_EQ(Messages().back(), (Msg{"Error = No USB: VB_NO_USB", "Calibration"}));
  EXPECT_EQ(At("prgBoardOffSet").value(), 100);
  EXPECT_FALSE(At("imgBoardOffDone").visible());
  EXPECT_EQ(Count(0x42), 0);
  ExpectIdlePanel();
  // An adapter that throws: the page comes back, the control register is put back.
  Again();
  int reads = 0;
  dev().on_transfer = [&](const sim::Transfer& t) {
    if (t.cmd == 0x42 && ++reads == 6) throw std::runtime_error("adapter gone");
  };
  cmdSWBrdOffsetCal_Click(*cal);
  EXPECT_EQ(Messages().back().first, "Invalid value entered! Error description:adapter gone");
  EXPECT_EQ(dev().ControlRegister(), 2);
  EXPECT_FALSE(At("imgBoardOffDone").visible());
  EXPECT_EQ(platform().cursor_changes().back(), false);
  ExpectIdlePanel();
}

}  // namespace vx::testing
