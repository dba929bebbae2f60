#include "device/utils.h"
#include "run_fixture.h"

namespace vx::testing {

class SystemVoltage : public RunTest {
 protected:
  std::int16_t Gain() {
    auto& b = dev().state().dataflash[104];
    return JoinBytes(b[20], b[21]);
  }
  void SetGain(std::int16_t g) {
    auto& b = dev().state().dataflash[104];
    SplitWord(g, b[20], b[21]);
  }
  // The device reads `measured` for its system voltage with the present gain.
  void SetMeasured(double measured) {
    dev().state().truth.system_mV = measured * dev().state().nominal.system / Gain();
  }
};

TEST_F(SystemVoltage, WorkedExample) {
  SetGain(20000);
  SetMeasured(3980);
  At("txtActualSystemVoltage").SetText("4000");
  auto before = dev().state().dataflash[104];
  EXPECT_EQ(cal->CalSystemVoltage(), 0);
  EXPECT_EQ(dev().state().dataflash[104][20], 0x4E);
  EXPECT_EQ(dev().state().dataflash[104][21], 0x85);
  for (std::size_t i = 0; i < 32; ++i) {
    if (i != 20 && i != 21) {
      EXPECT_EQ(dev().state().dataflash[104][i], before[i]) << i;
    }
  }
  EXPECT_EQ(At("prgCal").value(), 100);
  EXPECT_TRUE(At("imgCalDoneBox").visible());
  EXPECT_TRUE(platform().messages().empty());
}

TEST_F(SystemVoltage, TrafficAndWaits) {
  At("txtActualSystemVoltage").SetText("12255");
  auto start = platform().Now();
  EXPECT_EQ(cal->CalSystemVoltage(), 0);
  std::vector<std::string> tail;
  for (const auto& t : dev().log()) {
    if (t.cmd == 0x77 || t.cmd == 0x78 || t.method == "Delay") {
      tail.push_back(t.method + " " + std::to_string(t.cmd) + " " + std::to_string(t.ms));
    }
  }
  EXPECT_EQ(tail, (std::vector<std::string>{"WriteSMBusWord_ 119 0", "ReadSMBusBlock_ 120 0",
                                            "WriteSMBusWord_ 119 0", "WriteSMBusBlock 120 0",
                                            "Delay -1 120"}));
  EXPECT_EQ(dev().log().front().cmd, 0x3F);  // the method's own scan comes first
  EXPECT_EQ(platform().Now() - start, std::chrono::microseconds(1000 + 120000));
}

TEST_F(SystemVoltage, NegativeGainsAreTwosComplement) {
  SetGain(-20000);
  SetMeasured(3980);
  At("txtActualSystemVoltage").SetText("4000");
  EXPECT_EQ(cal->CalSystemVoltage(), 0);
  EXPECT_EQ(Gain(), -20101);
  EXPECT_EQ(dev().state().dataflash[104][20], 0xB1);
  EXPECT_EQ(dev().state().dataflash[104][21], 0x7B);
}

TEST_F(SystemVoltage, GainBeyond16BitsIsReportedAndNotWritten) {
  SetGain(30000);
  SetMeasured(2000);
  At("txtActualSystemVoltage").SetText("4000");
  auto before = dev().state().dataflash[104];
  EXPECT_EQ(cal->CalSystemVoltage(), 0);
  EXPECT_EQ(dev().state().dataflash[104], before);
  ASSERT_EQ(platform().messages().size(), 1u);
  EXPECT_NE(platform().messages()[0].text.find("60000"), std::string::npos);
  EXPECT_FALSE(At("imgCalDoneBox").visible());
  bool written = true;
  EXPECT_EQ(CalSystemVoltage(*cal, written), 0);
  EXPECT_FALSE(written);
}

TEST_F(SystemVoltage, ReadingNotAvailable) {
  for (const char* fault_status : {"err", "zero"}) {
    platform().TakeMessages();
    dev().ClearFaults();
    if (std::string(fault_status) == "err") {
      dev().AddFault({0, 0x5A, "", 772, false});
    } else {
      dev().state().truth.system_mV = 0;
    }
    auto before = dev().state().dataflash[104];
    EXPECT_EQ(cal->CalSystemVoltage(), 0);
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"Measured system voltage reading is not available. Please "
                                       "check communications with device. System voltage "
                                       "calibration not completed."});
    EXPECT_EQ(dev().state().dataflash[104], before);
  }
}

TEST_F(SystemVoltage, SameReadingRewritesTheSameGain) {
  form().Tick("tmrScan");
  At("txtActualSystemVoltage").SetText(Text("txtMeasuredSystemVoltage"));
  auto before = dev().state().dataflash[104];
  EXPECT_EQ(cal->CalSystemVoltage(), 0);
  EXPECT_EQ(dev().state().dataflash[104], before);
  EXPECT_EQ(Count(0x78), 2);  // read and written back whole
}

TEST_F(SystemVoltage, FailuresAndTheirMessages) {
  dev().AddFault({0, 0x77, "", 772, true});
  EXPECT_EQ(cal->CalSystemVoltage(), 772);
  EXPECT_EQ(platform().messages().size(), 1u);
  platform().TakeMessages();
  int selects = 0;
  dev().on_transfer = [&](const sim::Transfer& t) {
    if (t.cmd == 0x77 && ++selects == 1) dev().AddFault({0, 0x77, "", 94, true});
  };
  EXPECT_EQ(cal->CalSystemVoltage(), 94);  // second select: no message of its own
  EXPECT_TRUE(platform().messages().empty());
  dev().on_transfer = nullptr;
  dev().AddFault({0, 0x78, "WriteSMBusBlock", 8, true});
  EXPECT_EQ(cal->CalSystemVoltage(), 8);
  EXPECT_TRUE(platform().messages().empty());
}

TEST_F(SystemVoltage, TrapReportsAndRestoresThePage) {
  At("txtActualSystemVoltage").SetText("volts");
  At("tmrScan").SetEnabled(false);
  cal->DisableAllControls();
  EXPECT_EQ(cal->CalSystemVoltage(), 0);
  ASSERT_EQ(platform().messages().size(), 1u);
  EXPECT_EQ(platform().messages()[0].caption, "Supercap Calibration");
  EXPECT_EQ(
      platform().messages()[0].text.rfind("Invalid measured value entered! Error description:", 0),
      0u);
  EXPECT_FALSE(At("prgCal").visible());
  ExpectIdlePanel();
}

TEST_F(SystemVoltage, CalledByTheHostLeavesTheTimerAsItWas) {
  At("txtActualSystemVoltage").SetText("12255");
  ASSERT_TRUE(At("tmrScan").enabled());
  EXPECT_EQ(cal->CalSystemVoltage(), 0);
  EXPECT_TRUE(At("tmrScan").enabled());
  At("tmrScan").SetEnabled(false);
  EXPECT_EQ(cal->CalSystemVoltage(), 0);
  EXPECT_FALSE(At("tmrScan").enabled());
}

}  // namespace vx::testing
