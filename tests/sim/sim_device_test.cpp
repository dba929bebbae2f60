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

}  // namespace vx::sim
