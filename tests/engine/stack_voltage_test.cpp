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

  std::int16_t Gain(int offset) {
    auto& b = dev.state().dataflash[104];
    auto i = static_cast<std::size_t>(offset);
    return JoinBytes(b[i], b[i + 1]);
  }
  void SetGain(int offset, std::int16_t g) {
    auto& b = dev.state().dataflash[104];
    auto i = static_cast<std::size_t>(offset);
    SplitWord(g, b[i], b[i + 1]);
  }
  void SetUp() override {
    for (int k = 0; k < 5; ++k)
      SetGain(cmd::kCellGainOffset[k], 10000);
    SetGain(cmd::kStackGainOffset, 10000);
    dev.readings = {4000, 4000, 4000, 4000, 4000, 20000};
  }
};

TEST_F(StackVoltage, WorkedExamplesOfTheGainFormula) {
  dev.readings = {3900, 4100, 4000, 4000, 4000, 20000};
  v.nVoltage = {4000, 8000, 12000, 16000, 20000, 20000};
  ASSERT_EQ(CalibrateStackVoltage(ctx, v, kAddr), 0);
  EXPECT_EQ(Gain(8), 10256);  // 10000 x 4000 / 3900 = 10256.41
  EXPECT_EQ(Gain(10), 10000);
  dev.readings = {2000, 2100, 4000, 4000, 4000, 20000};
  SetGain(10, 10000);
  v.nVoltage[0] = 2000;
  v.nVoltage[1] = 4000;
  ASSERT_EQ(CalibrateStackVoltage(ctx, v, kAddr), 0);
  EXPECT_EQ(Gain(10), 9756);  // tap 4100 read, 4000 actual
}

TEST_F(StackVoltage, TrafficAndWaitsWithTheMarkerPresent) {
  ASSERT_EQ(CalibrateStackVoltage(ctx, v, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"ww_ 77 00 68", "rb 78", "rw_ 3F", "rw_ 3E", "rw_ 3D", "rw_ 3C",
                                "rw_ 3B", "rw_ 09", "ww_ 77 00 68", "wb 78 len32", "delay 120"}));
  EXPECT_EQ(platform.Now(), 2ms + 120ms);
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

TEST_F(StackVoltage, TwoCapacitorsChangeOnlyTheirGainsAndTheStack) {
  v = {{4000, 8000, 8000, 8000, 8000, 8000}, 2};
  dev.readings = {3900, 4100, 0, 0, 0, 7900};
  auto before = dev.state().dataflash[104];
  ASSERT_EQ(CalibrateStackVoltage(ctx, v, kAddr), 0);
  auto after = dev.state().dataflash[104];
  EXPECT_EQ(Gain(8), 10256);
  EXPECT_EQ(Gain(10), 10000);
  EXPECT_EQ(Gain(22), 10127);
  for (std::size_t i = 12; i < 18; ++i)
    EXPECT_EQ(after[i], before[i]) << i;
  for (std::size_t i = 24; i < 32; ++i)
    EXPECT_EQ(after[i], before[i]) << i;
}

TEST_F(StackVoltage, ActualVoltagesBelowTheThresholdsReturn5002AndSendNothing) {
  for (std::size_t k = 0; k < 6; ++k) {
    CapVoltages w = v;
    w.nVoltage[k] = k < 5 ? 1 : 2;
    EXPECT_EQ(CalibrateStackVoltage(ctx, w, kAddr), kErrVoltageTooSmall) << k;
  }
  CapVoltages w = v;
  w.nVoltage[0] = 2;
  w.nVoltage[5] = 3;
  EXPECT_NE(CalibrateStackVoltage(ctx, w, kAddr), kErrVoltageTooSmall);
  EXPECT_EQ(dev.log().front().cmd, 0x77);
}

TEST_F(StackVoltage, ZeroGainZeroReadingOrOversizedGainFailsBeforeTheGainWrite) {
  auto original = dev.state().dataflash[104];
  SetGain(8, 0);
  auto with_zero_gain = dev.state().dataflash[104];
  EXPECT_THROW(CalibrateStackVoltage(ctx, v, kAddr), RunTimeError);
  EXPECT_EQ(dev.state().dataflash[104], with_zero_gain);

  dev.state().dataflash[104] = original;
  dev.readings[0] = 0;
  EXPECT_THROW(CalibrateStackVoltage(ctx, v, kAddr), RunTimeError);
  dev.readings[0] = 1000;  // 10000 x 4000 / 1000 does not fit 16 bits
  EXPECT_THROW(CalibrateStackVoltage(ctx, v, kAddr), RunTimeError);
  dev.readings = {30000, 30000, 0, 0, 0, 20000};  // tap sum beyond 16 bits
  EXPECT_THROW(CalibrateStackVoltage(ctx, v, kAddr), RunTimeError);
  EXPECT_EQ(dev.state().dataflash[104], original);
  for (const auto& t : dev.log())
    EXPECT_NE(t.method, "WriteSMBusBlock");
}

TEST_F(StackVoltage, AShortBlockIsRefusedAndNothingIsWritten) {
  SetGain(18, 0);  // even the marker would be written
  dev.SetShortBlock(20);
  auto before = dev.state().dataflash[104];
  EXPECT_EQ(CalibrateStackVoltage(ctx, v, kAddr), 5);
  EXPECT_EQ(dev.state().dataflash[104], before);
  EXPECT_EQ(dev.log().size(), 2u);
}

}  // namespace vx::testing
