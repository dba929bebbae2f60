#include "run_fixture.h"

namespace vx::testing {

using Msgs = std::vector<std::pair<std::string, std::string>>;

class PackVoltage : public RunTest {
 protected:
  const std::string start_ =
      "FETs will be turned on! Press Cancel if Voltage Calibration has not been performed on "
      "this pack. After the voltage calibration, set the data flash constant "
      "DF:Calibration/Config/Voltage_Signal to the battery stack voltage and proceed.";
};

TEST_F(PackVoltage, CancelChangesNothing) {
  platform().QueueAnswer(Answer::kCancel);
  btnCalPackVolt_Click(*cal);
  ASSERT_EQ(platform().messages().size(), 1u);
  EXPECT_EQ(platform().messages()[0].text, start_);
  EXPECT_EQ(platform().messages()[0].caption, "Calibration");
  EXPECT_EQ(platform().messages()[0].buttons, Buttons::kOkCancel);
  EXPECT_TRUE(dev().log().empty());
  EXPECT_FALSE(At("prgPackVolt").visible());
}

TEST_F(PackVoltage, SuccessEndsAt100WithTheDoneImageAndFetsOn) {
  auto& progress = RecordValues("prgPackVolt");
  btnCalPackVolt_Click(*cal);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{start_});
  EXPECT_EQ(progress, (std::vector<int>{10, 30, 70, 100}));
  EXPECT_TRUE(At("imgPackDoneBox").visible());
  EXPECT_TRUE(dev().state().fets_on);
  EXPECT_FALSE(dev().InCalibrationMode());
  EXPECT_NEAR(dev().state().cal.pack_gain, 1.0 / dev().state().cal.pack_sense_error, 1e-12);
  ExpectIdlePanel();
}

TEST_F(PackVoltage, EntryFailureKeeps10AndBringsThePageBack) {
  dev().AddFault({0, 0x00, "WriteSMBusWord", 772, false});
  btnCalPackVolt_Click(*cal);
  EXPECT_EQ(Messages()[1], (std::pair<std::string, std::string>{
                               "Error setting Calibration mode. Error code = No Acknowledge: "
                               "VB_T2H_NACK",
                               "Calibration"}));
  EXPECT_EQ(Messages().size(), 2u);
  EXPECT_EQ(At("prgPackVolt").value(), 10);
  EXPECT_EQ(Count(0x51), 0);
  EXPECT_EQ(Count(0x73), 0);
  ExpectIdlePanel();
}

TEST_F(PackVoltage, RoutineFailureThenExitEndsAtZero) {
  dev().ForceResult(0x0100);
  btnCalPackVolt_Click(*cal);
  EXPECT_EQ(Messages().back(),
            (std::pair<std::string, std::string>{
                "Calibration error. Error code = Error Code (decimal) 5023", "Calibration"}));
  EXPECT_EQ(At("prgPackVolt").value(), 0);
  EXPECT_FALSE(At("imgPackDoneBox").visible());
  EXPECT_EQ(Count(0x73), 1);
}

TEST_F(PackVoltage, ExitFailureKeepsTheSuccessOnThePage) {
  dev().AddFault({0, 0x73, "", 8, false});
  btnCalPackVolt_Click(*cal);
  EXPECT_EQ(Messages().back().first,
            "Error exiting calibration mode. Error code = USB timeout: VB_TIMEOUT_ERROR");
  EXPECT_EQ(At("prgPackVolt").value(), 100);
  EXPECT_TRUE(At("imgPackDoneBox").visible());
}

class BoardOffset : public RunTest {};

TEST_F(BoardOffset, HardwareRunSequence) {
  auto& progress = RecordValues("prgBoardOffSet");
  btnBoardOffsett_Click(*cal);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].first,
            "Ensure that absolutely no current is flowing through the sense resistor.\r\n"
            "Either power the device from the Pack+ input only, or ensure charge FET is open and "
            "Pack+ voltage is higher than the cell voltage.\r\n"
            "Please wait at least 35 seconds after clicking the OK button.");
  EXPECT_EQ(progress, (std::vector<int>{5, 25, 70, 100}));
  EXPECT_TRUE(At("imgBoardOffDone").visible());
  EXPECT_EQ(dev().state().cal.board_offset_cal_mA, dev().state().cal.board_offset_raw_mA);
  ExpectIdlePanel();
}

TEST_F(BoardOffset, HardwareRunCancelAndEntryFailure) {
  platform().QueueAnswer(Answer::kCancel);
  btnBoardOffsett_Click(*cal);
  EXPECT_TRUE(dev().log().empty());
  dev().AddFault({0, 0x50, "", 772, false});
  btnBoardOffsett_Click(*cal);
  EXPECT_EQ(Messages().back().first,
            "Error setting Calibration mode. Error code = No Acknowledge: VB_T2H_NACK");
  EXPECT_EQ(At("prgBoardOffSet").value(), 5);
  EXPECT_EQ(Count(0x51), 0);
}

TEST_F(BoardOffset, SoftwareRunTakesItsCountFromTheTypedSeconds) {
  dev().state().cal.sample_idle = 100;
  dev().state().cal.sample_active = 40;
  auto& progress = RecordValues("prgBoardOffSet");
  cmdSWBrdOffsetCal_Click(*cal);
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
}

TEST(BoardOffsetCount, HalvesToEven) {
  EXPECT_EQ(BoardOffsetSampleCount("2"), 4);
  EXPECT_EQ(BoardOffsetSampleCount("35"), 70);
  EXPECT_EQ(BoardOffsetSampleCount("0.75"), 2);
  EXPECT_EQ(BoardOffsetSampleCount("1.25"), 2);
  EXPECT_EQ(BoardOffsetSampleCount("0.25"), 0);
  EXPECT_EQ(BoardOffsetSampleCount("-9"), -18);
  EXPECT_EQ(BoardOffsetSampleCount("x"), 0);
}

TEST_F(BoardOffset, SoftwareRunRefusesATimeWithoutSamplesBeforeTheDevice) {
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

TEST_F(BoardOffset, SoftwareRunReadFailureIsReportedAfterTheBarReaches100) {
  dev().AddFault({0, 0x71, "", 2, false});
  cmdSWBrdOffsetCal_Click(*cal);
  EXPECT_EQ(Messages().back(),
            (std::pair<std::string, std::string>{"Error = No USB: VB_NO_USB", "Calibration"}));
  EXPECT_EQ(At("prgBoardOffSet").value(), 100);
  EXPECT_FALSE(At("imgBoardOffDone").visible());
  EXPECT_EQ(Count(0x42), 0);
  ExpectIdlePanel();
}

TEST_F(BoardOffset, SoftwareRunYieldsOnceAndSleepsWithoutYielding) {
  platform().ClearWaits();
  int yields = platform().yields();
  cmdSWBrdOffsetCal_Click(*cal);
  EXPECT_EQ(platform().yields(), yields + 1);
  for (const auto& w : platform().waits())
    EXPECT_EQ(w.kind, WaitRecord::kSleep);
  EXPECT_EQ(platform().Now(), std::chrono::milliseconds(4450 + 1000 * 4));
}

}  // namespace vx::testing
