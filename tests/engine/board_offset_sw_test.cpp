#include <deque>

#include "device/commands.h"
#include "device/numeric.h"
#include "device/utils.h"
#include "engine_fixture.h"

using namespace std::chrono_literals;

namespace vx::testing {

// Register 0x8042 answers from a list of samples when one is given.
class ScriptedSamples : public sim::SimDevice {
 public:
  using SimDevice::SimDevice;
  std::deque<std::int16_t> samples;
  Status ReadSMBusWord_(std::uint8_t c, std::int16_t& v, std::int16_t addr) override {
    Status s = SimDevice::ReadSMBusWord_(c, v, addr);
    if (s == 0 && c == 0x42 && !samples.empty()) {
      v = samples.front();
      samples.pop_front();
    }
    return s;
  }
};

class BoardOffsetSW : public EngineTestOn<ScriptedSamples> {
 protected:
  std::int16_t StoredValue() {
    auto& b = dev.state().dataflash[104];
    return JoinBytes(b[22], b[23]);
  }
};

// (phase 1 - phase 2) x 64 / count, truncated toward zero, plus word71 x 38.4 / 9419 rounded.
TEST_F(BoardOffsetSW, WorkedExamples) {
  // clang-format off
  const std::tuple<std::deque<std::int16_t>, std::int16_t, std::int16_t, std::int16_t> kCases[] = {
      {{100, 40}, 1, 0, 3840}, {{4, 3, 3, 0, 0, 0}, 3, 0, 213}, {{0, 0, 0, 4, 3, 3}, 3, 0, -213},
      {{5, 5}, 1, 2085, 9}, {{5, 5}, 1, 9419, 38}};
  // clang-format on
  for (const auto& [samples, count, word71, stored] : kCases) {
    dev.samples = samples;
    ASSERT_EQ(CalibrateBoardOffsetSW(ctx, count, 250, word71, kAddr), 0);
    EXPECT_EQ(StoredValue(), stored);
  }
  EXPECT_EQ(dev.state().dataflash[104][22], 0x00);  // high byte first
  EXPECT_EQ(dev.state().dataflash[104][23], 0x26);
  EXPECT_EQ(dev.ControlRegister(), 2);
  EXPECT_FALSE(dev.state().fets_on);
}

TEST_F(BoardOffsetSW, TrafficWaitsAndSleepsInOrder) {
  ASSERT_EQ(CalibrateBoardOffsetSW(ctx, 2, 250, 0, kAddr), 0);
  EXPECT_EQ(
      Traffic(),
      (std::vector<std::string>{
          "ww 46 00 00",      "delay 250", "delay 1250",       "delay 250",  "ww_ 40 80 42 @17",
          "rw_ 42 @17",       "delay 250", "ww_ 40 80 42 @17", "rw_ 42 @17", "ww_ 40 80 40 @17",
          "ww_ 41 00 03 @17", "chk",       "delay 250",        "delay 250",  "ww_ 40 80 42 @17",
          "rw_ 42 @17",       "delay 250", "ww_ 40 80 42 @17", "rw_ 42 @17", "ww_ 40 80 40 @17",
          "ww_ 41 00 02 @17", "chk",       "ww_ 77 00 68",     "rb 78",      "wb 78 len27",
          "delay 200"}));
  // Every wait is a plain sleep (nothing here yields to the host); each adapter delay above is
  // followed by the routine's own sleep: the period, 7.5 periods after the settling delay,
  // 1.5 periods after the control register is set.
  std::vector<std::int64_t> waits;
  for (const auto& w : platform.waits()) {
    EXPECT_EQ(w.kind, WaitRecord::kSleep);
    waits.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(w.length).count());
  }
  EXPECT_EQ(waits, (std::vector<std::int64_t>{250, 250, 1250, 1875, 250, 250, 250, 250, 250, 375,
                                              250, 250, 250, 250, 200}));
}

// No samples: its own status before any transfer. A short block: nothing written, the wait
// all the same. A value beyond 16 bits: a run-time failure before the block is selected.
TEST_F(BoardOffsetSW, NothingWrittenWithoutSamplesABlockOrA16BitValue) {
  for (int count : {0, -1, -18}) {
    EXPECT_EQ(CalibrateBoardOffsetSW(ctx, static_cast<std::int16_t>(count), 250, 0, kAddr),
              kErrNoSamples);
  }
  EXPECT_TRUE(dev.log().empty());
  const auto before = dev.state().dataflash[104];
  dev.SetShortBlock(26);
  EXPECT_EQ(CalibrateBoardOffsetSW(ctx, 1, 250, 0, kAddr), 5);
  EXPECT_EQ(Traffic().back(), "delay 200");
  dev.ClearLog();
  dev.samples = {32767, -32768};
  EXPECT_THROW(CalibrateBoardOffsetSW(ctx, 1, 250, 0, kAddr), RunTimeError);
  for (const auto& x : dev.log())
    EXPECT_NE(x.cmd, 0x77);
  EXPECT_EQ(dev.ControlRegister(), 2);
  EXPECT_EQ(dev.state().dataflash[104], before);
}

}  // namespace vx::testing
