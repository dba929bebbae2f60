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

// gain x actual / measured, written high byte first; nothing else in the block changes.
TEST_F(SystemVoltage, WorkedExamples) {
  const std::tuple<std::int16_t, std::uint8_t, std::uint8_t> kCases[] = {{20000, 0x4E, 0x85},
                                                                         {-20000, 0xB1, 0x7B}};
  for (auto [gain, hi, lo] : kCases) {
    SetGain(gain);
    SetMeasured(3980);
    At("txtActualSystemVoltage").SetText("4000");
    auto expected = dev().state().dataflash[104];
    expected[20] = hi;  // 20101 or -20101
    expected[21] = lo;
    EXPECT_EQ(cal->CalSystemVoltage(), 0);
    EXPECT_EQ(dev().state().dataflash[104], expected);
  }
  EXPECT_EQ(At("prgCal").value(), 100);
  EXPECT_TRUE(At("imgCalDoneBox").visible());
  EXPECT_TRUE(platform().messages().empty());
}

// The same reading rewrites the same gain: the block is read and written back whole, after the
// method's own scan, with a wait of 120 ms; the timer is left as the host had it.
TEST_F(SystemVoltage, TrafficWaitsAndTheTimer) {
  form().Tick("tmrScan");
  At("txtActualSystemVoltage").SetText(Text("txtMeasuredSystemVoltage"));
  auto before = dev().state().dataflash[104];
  for (bool timer : {true, false}) {
    dev().ClearLog();
    At("tmrScan").SetEnabled(timer);
    auto start = platform().Now();
    EXPECT_EQ(cal->CalSystemVoltage(), 0);
    EXPECT_EQ(At("tmrScan").enabled(), timer);
    auto t = Traffic(dev().log());
    EXPECT_EQ(t.front(), "rw_ 3F");
    EXPECT_EQ(std::vector<std::string>(t.end() - 5, t.end()),
              (std::vector<std::string>{"ww_ 77 00 68", "rb 78", "ww_ 77 00 68", "wb 78 len32",
                                        "delay 120"}));
    EXPECT_EQ(platform().Now() - start, std::chrono::microseconds(1000 + 120000));
  }
  EXPECT_EQ(dev().state().dataflash[104], before);
}

TEST_F(SystemVoltage, NoWriteWithoutAUsableReadingOrGain) {
  // Beyond 16 bits: 30000 x 4000 / 2000.
  SetGain(30000);
  SetMeasured(2000);
  At("txtActualSystemVoltage").SetText("4000");
  auto before = dev().state().dataflash[104];
  bool written = true;
  EXPECT_EQ(CalSystemVoltage(*cal, written), 0);
  EXPECT_FALSE(written);
  ASSERT_EQ(platform().messages().size(), 1u);
  EXPECT_NE(platform().messages()[0].text.find("60000"), std::string::npos);
  EXPECT_FALSE(At("imgCalDoneBox").visible());
  // No reading, or a reading of zero.
  for (bool zero : {false, true}) {
    platform().TakeMessages();
    if (zero) {
      dev().ClearFaults();
      dev().state().truth.system_mV = 0;
    } else {
      dev().AddFault({0, 0x5A, "", 772, 0});
    }
    EXPECT_EQ(cal->CalSystemVoltage(), 0);
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"Measured system voltage reading is not available. Please "
                                       "check communications with device. System voltage "
                                       "calibration not completed."});
  }
  EXPECT_EQ(dev().state().dataflash[104], before);
}

TEST_F(SystemVoltage, FailuresAndTheirMessages) {
  dev().AddFault({0, 0x77, "", 772, 1});
  EXPECT_EQ(cal->CalSystemVoltage(), 772);
  EXPECT_EQ(platform().messages().size(), 1u);
  platform().TakeMessages();
  int selects = 0;
  dev().on_transfer = [&](const sim::Transfer& t) {
    if (t.cmd == 0x77 && ++selects == 1) dev().AddFault({0, 0x77, "", 94, 1});
  };
  EXPECT_EQ(cal->CalSystemVoltage(), 94);  // second select: no message of its own
  dev().on_transfer = nullptr;
  dev().AddFault({0, 0x78, "WriteSMBusBlock", 8, 1});
  EXPECT_EQ(cal->CalSystemVoltage(), 8);
  EXPECT_TRUE(platform().messages().empty());
  // A text that is no number: the trap reports it and restores the page.
  At("txtActualSystemVoltage").SetText("volts");
  At("tmrScan").SetEnabled(false);
  At("prgCal").SetVisible(true);
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

}  // namespace vx::testing
