#include "page_fixture.h"
#include "traffic.h"

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

// Nine reads in order; the capacitor boxes show running sums, temperature in tenths of a kelvin
// above 273.2 K and current as a signed word.
TEST_F(Scan, RunningSumsStackSystemTemperatureAndCurrent) {
  words->words = {{0x3F, 2100}, {0x3E, 2100}, {0x3D, 2100},   {0x3C, 0},     {0x3B, 0},
                  {0x09, 6300}, {0x5A, 8100}, {0x08, 0x0BA6}, {0x0A, 0xFE0C}};
  dev().ClearLog();
  ASSERT_TRUE(Tick());
  EXPECT_EQ(Measured(), (std::vector<std::string>{"2100", "4200", "6300", "6300", "6300", "6300",
                                                  "8100", "25", "-500"}));
  std::vector<std::string> reads;
  for (const auto& t : Traffic(dev().log()))
    reads.push_back(t);
  EXPECT_EQ(reads, (std::vector<std::string>{"rw_ 3F", "rw_ 3E", "rw_ 3D", "rw_ 3C", "rw_ 3B",
                                             "rw_ 09", "rw_ 5A", "rw 08", "rw 0A"}));
  const std::tuple<std::uint16_t, std::uint16_t, const char*, const char*> kCases[] = {
      {2732 + 253, 0x01F4, "25.3", "500"},
      {2731, 0x8000, "-0.1", "-32768"},
      {32767, 0x7FFF, "3003.5", "32767"}};  // the largest words that fit
  for (auto [t, i, temperature, current] : kCases) {
    words->words[0x08] = t;
    words->words[0x0A] = i;
    Tick();
    EXPECT_EQ(Text("txtCalMeasTemperature"), temperature);
    EXPECT_EQ(Text("txtCalMeasCurrent"), current);
  }
}

// One failed voltage read marks the whole voltage group (statuses of opposite sign do not
// cancel out); temperature and current are judged each by its own read.
TEST_F(Scan, FailedReads) {
  Tick();
  dev().AddFault({0, 0x3F, "", 5, 0});
  dev().AddFault({0, 0x3E, "", -5, 0});
  Tick();
  auto m = Measured();
  for (std::size_t i = 0; i < 7; ++i)
    EXPECT_EQ(m[i], "Err_Rd") << i;
  EXPECT_EQ(m[7], "25");
  EXPECT_EQ(m[8], "-500");
  dev().ClearFaults();
  words->words[0x08] = 0;
  dev().AddFault({0, 0x08, "", 8, 0});
  Tick();
  EXPECT_EQ(Text("txtCalMeasTemperature"), "Err_Rd");
  EXPECT_EQ(Text("txtCalMeasCurrent"), "-500");
  EXPECT_EQ(Text("txtCalMeasVoltage", 0), "2050");
}

// A running sum up to 32767 is shown; one beyond ends the tick silently, keeping the later boxes
// as they were, and so does a temperature word that does not fit.
TEST_F(Scan, SumsBeyond16BitsEndTheTickSilently) {
  Tick();
  words->words = {{0x3F, 16384}, {0x3E, 16383}};
  Tick();
  EXPECT_EQ(Text("txtCalMeasVoltage", 1), "32767");
  words->words = {{0x3F, 16384}, {0x3E, 16384}, {0x08, 0x0BB0}};
  Tick();
  EXPECT_EQ(Text("txtCalMeasVoltage", 0), "16384");
  EXPECT_EQ(Text("txtCalMeasVoltage", 1), "32767");  // kept from the first tick
  EXPECT_EQ(Text("txtCalMeasTemperature"), "25");
  EXPECT_TRUE(platform().messages().empty());
  words->words = {{0x08, 0x8000}};
  Tick();
  EXPECT_EQ(Text("txtCalMeasTemperature"), "25");  // kept: the word does not fit
  EXPECT_EQ(Text("txtCalMeasCurrent"), "-500");
}

TEST_F(Scan, NoTimerOrNoAdapterMeansNoDeviceAccess) {
  At("tmrScan").SetEnabled(false);
  dev().ClearLog();
  EXPECT_FALSE(Tick());
  EXPECT_TRUE(dev().log().empty());
  ResetThisThreadModule();
  CalPtr fresh(new Cal());
  EXPECT_TRUE(fresh->Form().At("tmrScan").enabled());
  EXPECT_EQ(fresh->Form().At("tmrScan").interval_ms, 600);
  fresh->Form().Tick("tmrScan");
  EXPECT_EQ(fresh->Form().At("txtCalMeasCurrent").text(), "");
}

}  // namespace vx::testing
