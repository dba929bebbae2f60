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

TEST(SimState, MissingFieldsKeepTheBuiltInDeviceAndWrongOnesAreNamed) {
  EXPECT_EQ(ToJson(FromJson("{}")), ToJson(DefaultState()));
  SimState s = FromJson(R"({"truth": {"system_mV": 5000}, "dataflash": {"64": [1]},
                            "faults": [{"command": 9, "status": 5, "call": 2}]})");
  EXPECT_EQ(s.truth.system_mV, 5000);
  EXPECT_EQ(s.truth.cell_mV[4], 2095);                               // kept
  EXPECT_EQ(s.dataflash.at(104), DefaultState().dataflash.at(104));  // kept
  EXPECT_EQ(s.dataflash.at(64)[0], 1);
  ASSERT_EQ(s.faults.size(), 1u);
  EXPECT_EQ(s.faults[0].call, 2);
  for (auto [text, field] : std::vector<std::pair<const char*, const char*>>{
           {R"({"truth": {"sytem_mV": 1}})", "truth.sytem_mV is not a field"},
           {R"({"address": 300})", "address is outside 0 to 255"},
           {R"({"faults": [{"status": "x"}]})", "faults[0].status must be a number"},
           {R"({"truth": {"cell_mV": [1, 2]}})", "truth.cell_mV must be a list of 5"}}) {
    try {
      FromJson(text);
      ADD_FAILURE() << text;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(field), std::string::npos) << e.what();
    }
  }
  // Whatever a calibration stored (a sign error, 0, far off), the state saved loads again.
  s.cal.cc_gain = -1.04e12;
  s.cal.pack_gain = 0;
  s.cal.temp_offset_dK = {6553.5, -3000, 0};
  EXPECT_EQ(ToJson(FromJson(ToJson(s))), ToJson(s));
}

}  // namespace vx::sim
