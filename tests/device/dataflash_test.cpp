#include "device/dataflash.h"

#include <gtest/gtest.h>

#include "device/commands.h"
#include "platform/virtual_platform.h"
#include "sim/sim_device.h"

namespace vx {

class DataFlashTest : public ::testing::Test {
 protected:
  VirtualPlatform platform;
  sim::SimDevice dev{platform, sim::DefaultState(5)};
  static constexpr std::int16_t kAddr = 0x16;
};

TEST_F(DataFlashTest, BlockReadSelectsThenReadsAndReportsTheLength) {
  BlockBuffer block{};
  std::int16_t length = 32;
  ASSERT_EQ(ReadDataFlashBlock(dev, kAddr, cmd::kSubclassCalibrationData, block, length), 0);
  EXPECT_EQ(length, 32);
  EXPECT_EQ(BlockWord(block, cmd::kSystemGainOffset), 20000);
  ASSERT_EQ(dev.log().size(), 2u);
  EXPECT_EQ(dev.log()[0].cmd, 0x77);
  EXPECT_EQ(dev.log()[0].bytes, (std::vector<std::uint8_t>{0, 104}));
  EXPECT_EQ(dev.log()[1].cmd, 0x78);
}

TEST_F(DataFlashTest, AFailedSelectionSkipsTheBlockRead) {
  dev.AddFault({0, 0x77, "", 94, false});
  BlockBuffer block{};
  std::int16_t length = 32;
  EXPECT_EQ(ReadDataFlashBlock(dev, kAddr, 104, block, length), 94);
  EXPECT_EQ(dev.log().size(), 1u);
}

TEST_F(DataFlashTest, ShortBlocksReportTheirLength) {
  dev.SetShortBlock(10);
  BlockBuffer block{};
  std::int16_t length = 32;
  ASSERT_EQ(ReadDataFlashBlock(dev, kAddr, 104, block, length), 0);
  EXPECT_EQ(length, 10);
  EXPECT_EQ(block[10], 0);  // nothing beyond what came back
}

TEST_F(DataFlashTest, WriteWordPairStopsAtTheFirstFailureWithoutAskingForErrors) {
  dev.AddFault({0, 0x40, "", 772, false});
  EXPECT_EQ(WriteWordPair(dev, cmd::kRegisterAddress, 0x40, cmd::kRegControl, 0x41, 3), 772);
  ASSERT_EQ(dev.log().size(), 1u);
  dev.ClearFaults();
  dev.ClearLog();
  EXPECT_EQ(WriteWordPair(dev, cmd::kRegisterAddress, 0x40, cmd::kRegControl, 0x41, 3), 0);
  ASSERT_EQ(dev.log().size(), 3u);
  EXPECT_EQ(dev.log()[2].method, "CheckForError");
  EXPECT_EQ(dev.ControlRegister(), 3);
}

TEST_F(DataFlashTest, WriteWordReadWordReadsOnlyAfterASuccessfulWrite) {
  std::int16_t w = 123;
  dev.AddFault({0, 0x40, "", 3, true});
  EXPECT_EQ(WriteWordReadWord(dev, cmd::kRegisterAddress, 0x40, cmd::kRegSample, 0x42, w), 3);
  EXPECT_EQ(dev.log().size(), 1u);
  EXPECT_EQ(w, 123);
  EXPECT_EQ(WriteWordReadWord(dev, cmd::kRegisterAddress, 0x40, cmd::kRegSample, 0x42, w), 0);
  EXPECT_EQ(w, dev.state().cal.sample_idle);
}

}  // namespace vx
