#include "device/commands.h"
#include "device/dataflash.h"
#include "device/numeric.h"
#include "device/utils.h"
#include "engine_fixture.h"

using namespace std::chrono_literals;

namespace vx::testing {

using Strings = std::vector<std::string>;

// A device whose readings are set directly, so that the worked examples can be reproduced.
class FixedReadings : public sim::SimDevice {
 public:
  using SimDevice::SimDevice;
  std::array<std::int16_t, 6> readings{};  // 0x3F..0x3B, then 0x09
  Status ReadSMBusWord_(std::uint8_t c, std::int16_t& v, std::int16_t addr) override {
    Status s = SimDevice::ReadSMBusWord_(c, v, addr);
    for (std::size_t k = 0; k < 6; ++k) {
      if (s == 0 && c == cmd::kVoltageReadings[k]) v = readings[k];
    }
    return s;
  }
};

class StackVoltage : public EngineTestOn<FixedReadings> {
 protected:
  CapVoltages v{{4000, 8000, 12000, 16000, 20000, 20000}, 5};

  sim::DataFlashBlock& Block() { return dev.state().dataflash[104]; }
  std::int16_t Gain(std::size_t i) { return JoinBytes(Block()[i], Block()[i + 1]); }
  void SetGain(std::size_t i, std::int16_t g) { SplitWord(g, Block()[i], Block()[i + 1]); }
  void SetUp() override {
    for (std::size_t i = 8; i <= 22; i += 2) {
      if (i != 18) SetGain(i, 10000);  // 18 holds the marker
    }
    dev.readings = {4000, 4000, 4000, 4000, 4000, 20000};
  }
};

TEST_F(StackVoltage, WorkedExamplesTrafficAndWaits) {
  dev.readings = {3900, 4100, 4000, 4000, 4000, 20000};
  ASSERT_EQ(CalibrateStackVoltage(ctx, v, kAddr), 0);
  EXPECT_EQ(Gain(8), 10256);  // 10000 x 4000 / 3900 = 10256.41
  EXPECT_EQ(Gain(10), 10000);
  EXPECT_EQ(Traffic(), (Strings{"ww_ 77 00 68", "rb 78", "rw_ 3F", "rw_ 3E", "rw_ 3D", "rw_ 3C",
                                "rw_ 3B", "rw_ 09", "ww_ 77 00 68", "wb 78 len32", "delay 120"}));
  EXPECT_EQ(platform.Now(), 2ms + 120ms);
  // The taps add up: tap 2 reads 2000 + 2100, actual 4000.
  dev.readings = {2000, 2100, 4000, 4000, 4000, 20000};
  SetGain(10, 10000);
  v.nVoltage[0] = 2000;
  v.nVoltage[1] = 4000;
  ASSERT_EQ(CalibrateStackVoltage(ctx, v, kAddr), 0);
  EXPECT_EQ(Gain(10), 9756);
}

TEST_F(StackVoltage, MissingMarkerIsWrittenFirstAndWaitedFor) {
  SetGain(18, 0x1234);
  ASSERT_EQ(CalibrateStackVoltage(ctx, v, kAddr), 0);
  auto t = Traffic();
  EXPECT_EQ(Strings(t.begin(), t.begin() + 4),
            (Strings{"ww_ 77 00 68", "rb 78", "ww_ 77 00 68", "wb 78 len32"}));
  EXPECT_EQ(Gain(18), cmd::kGainMarker);
  EXPECT_EQ(platform.Now(), 2500ms + 2ms + 120ms);
}

// Only the fitted capacitors' gains and the stack's change; what unfitted inputs report, however
// large, is neither computed nor summed.
TEST_F(StackVoltage, FewerCapacitorsChangeOnlyTheirGains) {
  // Taps read 3900, 8000, 11900, 15800, 19700 against 4000, 8000, 12000, 16000, 20000.
  const std::int16_t kGains[] = {10256, 10000, 10084, 10127, 10152};
  for (std::int16_t count = 2; count <= 5; ++count) {
    SetUp();
    v = {{4000, 8000, 12000, 16000, 20000, 7900}, count};
    dev.readings = {3900, 4100, 3900, 3900, 3900, 7800};
    for (auto k = static_cast<std::size_t>(count); k < 5; ++k)
      dev.readings[k] = 30000;
    auto before = Block();
    ASSERT_EQ(CalibrateStackVoltage(ctx, v, kAddr), 0) << count;
    for (std::size_t k = 0; k < 5; ++k)
      EXPECT_EQ(Gain(8 + 2 * k), k < std::size_t(count) ? kGains[k] : 10000) << count << " " << k;
    EXPECT_EQ(Gain(22), 10128);  // 10000 x 7900 / 7800 = 10128.2
    for (std::size_t i = 18; i < 32; ++i) {
      if (i < 22 || i > 23) {
        EXPECT_EQ(Block()[i], before[i]) << count << " " << i;
      }
    }
  }
}

TEST_F(StackVoltage, ActualVoltagesBelowTheThresholdsReturn5002AndSendNothing) {
  for (std::size_t k = 0; k < 6; ++k) {
    CapVoltages w = v;
    w.nVoltage[k] = k < 5 ? 1 : 2;
    EXPECT_EQ(CalibrateStackVoltage(ctx, w, kAddr), kErrVoltageTooSmall) << k;
  }
  EXPECT_TRUE(dev.log().empty());
  CapVoltages w = v;
  w.nVoltage[0] = 2;
  w.nVoltage[5] = 3;
  EXPECT_NE(CalibrateStackVoltage(ctx, w, kAddr), kErrVoltageTooSmall);
}

TEST_F(StackVoltage, ArithmeticFailuresAndShortBlocksWriteNothing) {
  auto original = Block();
  SetGain(8, 0);
  auto with_zero_gain = Block();
  EXPECT_THROW(CalibrateStackVoltage(ctx, v, kAddr), RunTimeError);
  EXPECT_EQ(Block(), with_zero_gain);
  Block() = original;
  for (auto r : std::vector<std::array<std::int16_t, 6>>{
           {0, 4000, 4000, 4000, 4000, 20000},     // zero reading
           {1000, 4000, 4000, 4000, 4000, 20000},  // 10000 x 4000 / 1000 beyond 16 bits
           {30000, 30000, 0, 0, 0, 20000}}) {      // tap sum beyond 16 bits
    dev.readings = r;
    EXPECT_THROW(CalibrateStackVoltage(ctx, v, kAddr), RunTimeError);
  }
  dev.readings = {4000, 4000, 4000, 4000, 4000, 20000};
  SetGain(18, 0);  // even the marker would be written
  dev.SetShortBlock(23);
  EXPECT_EQ(CalibrateStackVoltage(ctx, v, kAddr), 5);
  SetGain(18, cmd::kGainMarker);
  EXPECT_EQ(Block(), original);
  for (const auto& t : dev.log())
    EXPECT_NE(t.method, AdapterMethod::kWriteSMBusBlock);
  dev.SetShortBlock(24);  // up to the stack gain is enough
  EXPECT_EQ(CalibrateStackVoltage(ctx, v, kAddr), 0);
}

}  // namespace vx::testing
