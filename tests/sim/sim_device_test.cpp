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
  void SetGain(std::size_t offset, std::int16_t g) {
    auto& b = dev.state().dataflash[104];
    SplitWord(g, b[offset], b[offset + 1]);
  }
};

// With nominal gains the readings are the truth, each capacitor reading the difference of two
// taps; a gain in data flash scales its reading; capacitors above the count read zero.
TEST_F(SimDeviceTest, ReadingsFollowTheTruthAndTheGains) {
  SetGain(10, 11000);  // tap 2 reads 10 % high
  SetGain(20, 10000);  // half the nominal system gain
  EXPECT_EQ(Word(0x3F) + Word(0x3E), 4576);
  EXPECT_EQ(Word(cmd::kSystemVoltage), 6128);  // 12255 / 2, halves to even
  SimDevice three(platform, DefaultState(3));
  std::int16_t v = 1;
  ASSERT_EQ(three.ReadSMBusWord_(0x3C, v, kAddr), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(three.CapacitorCount(), 3);
  // Only its own address answers; 0x17 reaches the register access only.
  EXPECT_EQ(dev.ReadSMBusWord_(0x09, v, 0x20), 772);
  EXPECT_EQ(dev.ReadSMBusWord_(0x09, v, 0x17), 772);
  EXPECT_EQ(dev.ReadSMBusWord_(0x42, v, 0x17), 0);
  EXPECT_EQ(dev.WriteSMBusWord(cmd::kDFSubclass, 0x01, 0x00, kAddr), 772);  // subclasses are bytes
  EXPECT_EQ(dev.WriteSMBusWord(cmd::kDFSubclass, 0x00, 0xFF, kAddr), 0);
}

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
