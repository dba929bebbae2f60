#include "sim/sim_device.h"

#include <gtest/gtest.h>

#include "device/commands.h"
#include "device/dataflash.h"
#include "device/utils.h"
#include "platform/virtual_platform.h"

using namespace std::chrono_literals;

namespace vx::sim {

class SimDeviceTest : public ::testing::Test {
 protected:
  static constexpr std::int16_t kAddr = 0x16;
  VirtualPlatform platform;
  SimDevice dev{platform, DefaultState(5)};

  std::int16_t Word(std::uint8_t c) {
    std::int16_t v = 0;
    EXPECT_EQ(dev.ReadSMBusWord_(c, v, kAddr), 0);
    return v;
  }
};

// Calibration commands only in calibration mode; no result and no store while it measures.
TEST_F(SimDeviceTest, CalibrationModeAndItsBusyTime) {
  std::uint8_t hi = 0, lo = 0;
  EXPECT_EQ(dev.ReadSMBusWord(cmd::kCalBusy, hi, lo, kAddr), 772);
  EXPECT_EQ(dev.WriteSMBusWord(cmd::kCalStart, 0xC0, 0x01, kAddr), 772);
  EXPECT_EQ(dev.WriteSMBusCommand(cmd::kCalStore, kAddr), 772);
  EXPECT_EQ(Word(cmd::kCalModeSignature), 0);
  ASSERT_EQ(dev.WriteSMBusWord(0x00, 0x00, 0x40, kAddr), 0);
  EXPECT_EQ(Word(cmd::kCalModeSignature), 0x4C7A);
  ASSERT_EQ(dev.WriteSMBusWord(cmd::kCalStart, 0xC0, 0x01, kAddr), 0);
  EXPECT_EQ(dev.ReadSMBusWord(cmd::kCalResult, hi, lo, kAddr), 772);
  EXPECT_EQ(dev.WriteSMBusCommand(cmd::kCalStore, kAddr), 772);
  EXPECT_EQ(Word(cmd::kCalBusy), static_cast<std::int16_t>(0xC001));
  platform.Sleep(10s);
  EXPECT_EQ(Word(cmd::kCalBusy), static_cast<std::int16_t>(0xC000));
  EXPECT_EQ(dev.ReadSMBusWord(cmd::kCalResult, hi, lo, kAddr), 0);
  EXPECT_EQ(dev.WriteSMBusCommand(cmd::kCalStore, kAddr), 0);
  ASSERT_EQ(dev.WriteSMBusCommand(cmd::kCalExit, kAddr), 0);
  EXPECT_FALSE(dev.InCalibrationMode());
  // A measurement the mode was left with is not stored by the next entry's store command.
  dev.state().cal.cc_offset_raw_mA = 3;
  const double stored = dev.state().cal.cc_offset_cal_mA;
  ASSERT_EQ(dev.WriteSMBusWord(0x00, 0x00, 0x40, kAddr), 0);
  ASSERT_EQ(dev.WriteSMBusWord(cmd::kCalStart, 0xC0, 0x01, kAddr), 0);
  platform.Sleep(10s);
  ASSERT_EQ(dev.WriteSMBusCommand(cmd::kCalExit, kAddr), 0);
  ASSERT_EQ(dev.WriteSMBusWord(0x00, 0x00, 0x40, kAddr), 0);
  EXPECT_EQ(dev.WriteSMBusCommand(cmd::kCalStore, kAddr), 0);
  EXPECT_EQ(dev.state().cal.cc_offset_cal_mA, stored);
}

// The offset a calibration stores cancels the counter's own: the current reads as it did
// without one.
TEST_F(SimDeviceTest, AStoredCcOffsetCancelsInTheCurrentReading) {
  const std::int16_t without = Word(cmd::kCurrent);
  dev.state().cal.cc_offset_raw_mA = 3;
  EXPECT_EQ(Word(cmd::kCurrent), without + 3);
  ASSERT_EQ(dev.WriteSMBusWord(0x00, 0x00, 0x40, kAddr), 0);
  ASSERT_EQ(dev.WriteSMBusWord(cmd::kCalStart, 0xC0, 0x01, kAddr), 0);
  platform.Sleep(10s);
  ASSERT_EQ(dev.WriteSMBusCommand(cmd::kCalStore, kAddr), 0);
  ASSERT_EQ(dev.WriteSMBusCommand(cmd::kCalExit, kAddr), 0);
  EXPECT_EQ(Word(cmd::kCurrent), without);
}

// A data flash block is read and written only once a subclass is chosen; subclass 0 is one.
TEST_F(SimDeviceTest, DataFlashBlocksOfTheChosenSubclass) {
  std::array<std::uint8_t, 32> data{};
  std::int16_t length = -1;
  EXPECT_EQ(dev.ReadSMBusBlock_(cmd::kDFBlock, data, length, kAddr), 772);
  EXPECT_EQ(length, 0);
  const std::array<std::uint8_t, 3> bytes{7, 8, 9};
  EXPECT_EQ(dev.WriteSMBusBlock(cmd::kDFBlock, bytes, 3, kAddr), 772);
  EXPECT_EQ(dev.WriteSMBusWord_(cmd::kDFSubclass, 256, kAddr), 772);
  ASSERT_EQ(dev.WriteSMBusWord_(cmd::kDFSubclass, 0, kAddr), 0);
  ASSERT_EQ(dev.WriteSMBusBlock(cmd::kDFBlock, bytes, 3, kAddr), 0);
  ASSERT_EQ(dev.ReadSMBusBlock_(cmd::kDFBlock, data, length, kAddr), 0);
  EXPECT_EQ(length, 32);
  EXPECT_EQ(data[0], 7);
  EXPECT_EQ(data[2], 9);
  EXPECT_EQ(data[3], 0);
  EXPECT_EQ(dev.state().dataflash.at(0)[1], 8);
}

}  // namespace vx::sim
