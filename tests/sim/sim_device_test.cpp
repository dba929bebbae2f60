#include "sim/sim_device.h"

#include <gtest/gtest.h>

#include "device/commands.h"
#include "device/dataflash.h"
#include "device/numeric.h"
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
  void SetGain(int offset, std::int16_t g) {
    auto& b = dev.state().dataflash[104];
    auto u = static_cast<std::uint16_t>(g);
    b[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(u >> 8);
    b[static_cast<std::size_t>(offset) + 1] = static_cast<std::uint8_t>(u & 0xFF);
  }
};

TEST_F(SimDeviceTest, NominalGainsReadTheTruthAndTapsAreDifferences) {
  std::int16_t sum = 0;
  const auto& cells = dev.state().truth.cell_mV;
  double tap = 0;
  for (int k = 0; k < 5; ++k) {
    sum = static_cast<std::int16_t>(sum + Word(cmd::kCapVoltage[k]));
    tap += cells[static_cast<std::size_t>(k)];
    EXPECT_EQ(sum, tap) << k;
  }
  EXPECT_EQ(Word(cmd::kStackVoltage), tap);
  EXPECT_EQ(Word(cmd::kSystemVoltage), dev.state().truth.system_mV);
  EXPECT_EQ(Word(cmd::kTemperature), 2982);  // 25.0 degrees C in 0.1 K
  EXPECT_EQ(Word(cmd::kCurrent), -500);
}

TEST_F(SimDeviceTest, ReadingsFollowTheGainsInDataFlash) {
  SetGain(cmd::kCellGainOffset[1], 11000);  // tap 2 reads 10 % high
  SetGain(cmd::kSystemGainOffset, 10000);   // half the nominal system gain
  double tap2 = dev.state().truth.cell_mV[0] + dev.state().truth.cell_mV[1];
  EXPECT_EQ(Word(0x3F) + Word(0x3E), static_cast<int>(RoundHalfEven(tap2 * 1.1)));
  EXPECT_EQ(Word(cmd::kSystemVoltage),
            static_cast<int>(RoundHalfEven(dev.state().truth.system_mV / 2)));
}

TEST_F(SimDeviceTest, CapacitorsAboveTheConfiguredCountReadZero) {
  SimDevice three(platform, DefaultState(3));
  std::int16_t v = 1;
  ASSERT_EQ(three.ReadSMBusWord_(0x3C, v, kAddr), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(three.CapacitorCount(), 3);
}

TEST_F(SimDeviceTest, OtherAddressesAreNotAcknowledged) {
  std::int16_t v = 0;
  EXPECT_EQ(dev.ReadSMBusWord_(0x09, v, 0x20), 772);
  // 0x17 reaches the device's register access only.
  EXPECT_EQ(dev.ReadSMBusWord_(0x09, v, 0x17), 772);
  EXPECT_EQ(dev.ReadSMBusWord_(0x42, v, 0x17), 0);
}

TEST_F(SimDeviceTest, DataFlashBlockWriteChangesOnlyTheBytesSent) {
  BlockBuffer block{};
  std::int16_t len = 32;
  ASSERT_EQ(ReadDataFlashBlock(dev, kAddr, 104, block, len), 0);
  auto before = dev.state().dataflash[104];
  block[0] = 0x55;
  block[30] = 0x66;
  ASSERT_EQ(SelectSubclass(dev, kAddr, 104), 0);
  ASSERT_EQ(WriteDataFlashBlock(dev, kAddr, block, 27), 0);
  EXPECT_EQ(dev.state().dataflash[104][0], 0x55);
  EXPECT_EQ(dev.state().dataflash[104][30], before[30]);
  EXPECT_EQ(dev.log().back().bytes.size(), 27u);
}

TEST_F(SimDeviceTest, OversizedBlockWriteIsRefused) {
  std::vector<std::uint8_t> big(40, 1);
  EXPECT_EQ(dev.WriteSMBusBlock(0x78, big, 33, kAddr), 5);
  EXPECT_EQ(dev.WriteSMBusBlock(0x78, big, -1, kAddr), 5);
}

TEST_F(SimDeviceTest, FaultsFailTheNthTransferOrACommand) {
  dev.AddFault({3, -1, "", 94, false});
  std::int16_t v = 0;
  EXPECT_EQ(dev.ReadSMBusWord_(0x09, v, kAddr), 0);
  EXPECT_EQ(dev.ReadSMBusWord_(0x09, v, kAddr), 0);
  EXPECT_EQ(dev.ReadSMBusWord_(0x09, v, kAddr), 94);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(dev.ReadSMBusWord_(0x09, v, kAddr), 0);
  dev.AddFault({0, 0x0A, "ReadSMBusWord", 8, true});
  std::uint8_t hi = 1, lo = 1;
  EXPECT_EQ(dev.ReadSMBusWord(0x0A, hi, lo, kAddr), 8);
  EXPECT_EQ(dev.ReadSMBusWord(0x0A, hi, lo, kAddr), 0);  // once
  EXPECT_EQ(dev.log()[2].status, 94);
}

TEST_F(SimDeviceTest, DelayAdvancesThePlatformClockAndIsLogged) {
  EXPECT_EQ(dev.Delay(120), 0);
  EXPECT_EQ(platform.Now(), 120ms);
  ASSERT_EQ(dev.log().size(), 1u);
  EXPECT_EQ(dev.log()[0].method, "Delay");
  EXPECT_EQ(dev.log()[0].ms, 120);
  EXPECT_EQ(platform.waits().back().kind, WaitRecord::kSleep);
}

TEST_F(SimDeviceTest, CalibrationModeCommandsAreRefusedOutsideTheMode) {
  std::uint8_t hi = 0, lo = 0;
  EXPECT_EQ(dev.ReadSMBusWord(cmd::kCalBusy, hi, lo, kAddr), 772);
  EXPECT_EQ(dev.WriteSMBusWord(cmd::kCalStart, 0xC0, 0x01, kAddr), 772);
  EXPECT_EQ(dev.WriteSMBusCommand(cmd::kCalStore, kAddr), 772);
  ASSERT_EQ(dev.ReadSMBusWord(cmd::kCalModeSignature, hi, lo, kAddr), 0);
  EXPECT_EQ(hi << 8 | lo, 0);
  ASSERT_EQ(dev.WriteSMBusWord(0x00, 0x00, 0x40, kAddr), 0);
  ASSERT_EQ(dev.ReadSMBusWord(cmd::kCalModeSignature, hi, lo, kAddr), 0);
  EXPECT_EQ(hi, 0x4C);
  EXPECT_EQ(lo, 0x7A);
  ASSERT_EQ(dev.WriteSMBusCommand(cmd::kCalExit, kAddr), 0);
  EXPECT_FALSE(dev.InCalibrationMode());
}

}  // namespace vx::sim
