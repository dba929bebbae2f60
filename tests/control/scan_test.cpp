#include <deque>

#include "page_fixture.h"

namespace vx::testing {

// A device whose nine scan words are set by the test.
class ScanWords : public sim::SimDevice {
 public:
  using SimDevice::SimDevice;
  std::map<int, std::uint16_t> words;
  Status ReadSMBusWord_(std::uint8_t c, std::int16_t& v, std::int16_t addr) override {
    Status s = SimDevice::ReadSMBusWord_(c, v, addr);
    if (s == 0 && words.count(c)) v = static_cast<std::int16_t>(words[c]);
    return s;
  }
  Status ReadSMBusWord(std::uint8_t c, std::uint8_t& hi, std::uint8_t& lo,
                       std::int16_t addr) override {
    Status s = SimDevice::ReadSMBusWord(c, hi, lo, addr);
    if (words.count(c)) {
      hi = static_cast<std::uint8_t>(words[c] >> 8);
      lo = static_cast<std::uint8_t>(words[c] & 0xFF);
    }
    return s;
  }
};

class Scan : public PageTest {
 protected:
  void SetUp() override {
    words = std::make_shared<ScanWords>(platform(), sim::DefaultState(5));
    box.device = words;
    cal->OnShow();
    platform().TakeMessages();
  }
  std::vector<std::string> Measured() {
    std::vector<std::string> v;
    for (int i = 0; i < 6; ++i)
      v.push_back(Text("txtCalMeasVoltage", i));
    v.push_back(Text("txtMeasuredSystemVoltage"));
    v.push_back(Text("txtCalMeasTemperature"));
    v.push_back(Text("txtCalMeasCurrent"));
    return v;
  }
  bool Tick() { return form().Tick("tmrScan"); }
  std::shared_ptr<ScanWords> words;
};

TEST_F(Scan, RunningSumsStackSystemTemperatureAndCurrent) {
  words->words = {{0x3F, 2100}, {0x3E, 2100}, {0x3D, 2100},   {0x3C, 0},     {0x3B, 0},
                  {0x09, 6300}, {0x5A, 8100}, {0x08, 0x0BA6}, {0x0A, 0xFE0C}};
  ASSERT_TRUE(Tick());
  EXPECT_EQ(Measured(), (std::vector<std::string>{"2100", "4200", "6300", "6300", "6300", "6300",
                                                  "8100", "25", "-500"}));
  words->words[0x08] = 2732 + 253;
  words->words[0x0A] = 0x01F4;
  Tick();
  EXPECT_EQ(Text("txtCalMeasTemperature"), "25.3");
  EXPECT_EQ(Text("txtCalMeasCurrent"), "500");
  words->words[0x08] = 2731;
  words->words[0x0A] = 0x8000;
  Tick();
  EXPECT_EQ(Text("txtCalMeasTemperature"), "-0.1");
  EXPECT_EQ(Text("txtCalMeasCurrent"), "-32768");
}

TEST_F(Scan, ExactlyNineReadsInOrder) {
  dev().ClearLog();
  Tick();
  std::vector<int> cmds;
  std::vector<std::string> methods;
  for (const auto& t : dev().log()) {
    cmds.push_back(t.cmd);
    methods.push_back(t.method);
  }
  EXPECT_EQ(cmds, (std::vector<int>{0x3F, 0x3E, 0x3D, 0x3C, 0x3B, 0x09, 0x5A, 0x08, 0x0A}));
  EXPECT_EQ(methods[6], "ReadSMBusWord_");
  EXPECT_EQ(methods[7], "ReadSMBusWord");
  EXPECT_EQ(methods[8], "ReadSMBusWord");
}

TEST_F(Scan, OneFailedVoltageReadMarksTheWholeGroup) {
  Tick();
  dev().AddFault({0, 0x5A, "", 772, false});
  Tick();
  auto m = Measured();
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(m[static_cast<std::size_t>(i)], "Err_Rd") << i;
  EXPECT_EQ(m[7], "25");
  EXPECT_EQ(m[8], "-500");
}

TEST_F(Scan, TemperatureAndCurrentAreJudgedEachByItsOwnRead) {
  words->words[0x08] = 0;
  dev().AddFault({0, 0x08, "", 8, false});
  Tick();
  EXPECT_EQ(Text("txtCalMeasTemperature"), "Err_Rd");
  EXPECT_EQ(Text("txtCalMeasCurrent"), "-500");
  EXPECT_EQ(Text("txtCalMeasVoltage", 0), "2050");
}

TEST_F(Scan, StatusesOfOppositeSignDoNotCancelOut) {
  dev().AddFault({0, 0x3F, "", 5, false});
  dev().AddFault({0, 0x3E, "", -5, false});
  Tick();
  EXPECT_EQ(Text("txtCalMeasVoltage", 0), "Err_Rd");
}

TEST_F(Scan, SumBeyond16BitsEndsTheTickSilentlyKeepingLaterBoxes) {
  Tick();
  words->words = {{0x3F, 20000}, {0x3E, 20000}, {0x08, 0x0BB0}};
  Tick();
  EXPECT_EQ(Text("txtCalMeasVoltage", 0), "20000");
  EXPECT_EQ(Text("txtCalMeasVoltage", 1), "4160");  // kept from the first tick
  EXPECT_EQ(Text("txtCalMeasTemperature"), "25");
  EXPECT_TRUE(platform().messages().empty());
  words->words = {{0x08, 0x8000}};
  Tick();
  EXPECT_EQ(Text("txtCalMeasTemperature"), "25");  // kept: the word does not fit
  EXPECT_EQ(Text("txtCalMeasCurrent"), "-500");
}

TEST_F(Scan, TimerOffMeansNoDeviceAccess) {
  At("tmrScan").SetEnabled(false);
  dev().ClearLog();
  EXPECT_FALSE(Tick());
  EXPECT_TRUE(dev().log().empty());
}

TEST(ScanBeforeShow, NoAdapterKeepsTheDesignTexts) {
  ResetThisThreadModule();
  CalPtr cal(new Cal());
  EXPECT_TRUE(cal->Form().At("tmrScan").enabled());
  EXPECT_EQ(cal->Form().At("tmrScan").interval_ms, 600);
  cal->Form().Tick("tmrScan");
  EXPECT_EQ(cal->Form().At("txtCalMeasCurrent").text(), "");
}

}  // namespace vx::testing
