// The i2c-dev adapter's real code, run against the fake /dev/i2c-N.
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include "adapters/linux_i2c_adapter.h"
#include "device/dataflash.h"
#include "device/utils.h"
#include "fake_i2c_bus.h"
#include "gtest/gtest.h"
#include "platform/virtual_platform.h"
#include "sim/sim_device.h"

namespace vx::testing {

class LinuxI2c : public ::testing::Test {
 protected:
  void SetUp() override {
    node.device = sim;
    InstallFakeI2c("/dev/i2c-7", &node);
  }
  void TearDown() override { RemoveFakeI2c("/dev/i2c-7"); }
  std::unique_ptr<LinuxI2cAdapter> Open(bool pec = false, const std::string& dev = "7") {
    std::string error;
    auto a = LinuxI2cAdapter::Open(dev, 0x0B, pec, platform, error);
    EXPECT_TRUE(a) << error;
    return a;
  }
  VirtualPlatform platform;
  std::shared_ptr<sim::SimDevice> sim = std::make_shared<sim::SimDevice>(platform);
  FakeI2cNode node;
};

// Words high byte first from a little-endian wire; blocks with their length, at most 32 bytes;
// commands as send-byte; register access at 0x17 reaches the same device.
TEST_F(LinuxI2c, WordsBlocksAndCommandsOnTheWire) {
  auto a = Open();
  std::uint8_t hi = 0, lo = 0;
  ASSERT_EQ(a->ReadSMBusWord(0x08, hi, lo, 0x16), 0);  // 2982 = 0x0BA6
  EXPECT_EQ(hi << 8 | lo, 0x0BA6);
  EXPECT_EQ(node.log.back().wire, (std::vector<std::uint8_t>{0xA6, 0x0B}));
  std::int16_t v = 0;
  ASSERT_EQ(a->ReadSMBusWord_(0x0A, v, 0x16), 0);
  EXPECT_EQ(v, -500);
  ASSERT_EQ(a->WriteSMBusWord(0x46, 0x00, 0x04, 0x16), 0);
  EXPECT_EQ(node.log.back().wire, (std::vector<std::uint8_t>{0x04, 0x00}));
  ASSERT_EQ(a->WriteSMBusWord_(0x77, 104, 0x16), 0);
  EXPECT_EQ(sim->log().back().bytes, (std::vector<std::uint8_t>{0x00, 0x68}));
  BlockBuffer block{};
  std::int16_t len = 32;
  ASSERT_EQ(a->ReadSMBusBlock_(0x78, block, len, 0x16), 0);
  EXPECT_EQ(len, 32);
  EXPECT_EQ(JoinBytes(block[20], block[21]), 20000);
  EXPECT_EQ(node.log.back().wire.front(), 32);  // the count byte
  sim->SetShortBlock(12);
  ASSERT_EQ(a->ReadSMBusBlock_(0x78, block, len, 0x16), 0);
  EXPECT_EQ(len, 12);
  block[0] = 0x5A;
  ASSERT_EQ(a->WriteSMBusBlock(0x78, block, 27, 0x16), 0);
  EXPECT_EQ(sim->state().dataflash[104][0], 0x5A);
  EXPECT_EQ(sim->log().back().bytes.size(), 27u);
  std::vector<std::uint8_t> big(40, 0);
  EXPECT_EQ(a->WriteSMBusBlock(0x78, big, 33, 0x16), 5);
  ASSERT_EQ(a->WriteSMBusWord(0x00, 0x00, 0x40, 0x16), 0);
  ASSERT_EQ(a->WriteSMBusCommand(0x73, 0x16), 0);
  EXPECT_FALSE(sim->InCalibrationMode());
  EXPECT_EQ(node.log.back().size, I2C_SMBUS_BYTE);
  ASSERT_EQ(WriteWordReadWord(*a, 0x17, 0x40, static_cast<std::int16_t>(0x8040 - 0x10000), 0x42, v),
            0);
  EXPECT_EQ(node.log.back().address7, 0x0B);
  EXPECT_EQ(v, 2);
  const auto start = platform.Now();
  EXPECT_EQ(a->Delay(120), 0);  // on the platform's clock
  EXPECT_EQ(platform.Now() - start, std::chrono::milliseconds(120));
}

TEST_F(LinuxI2c, PecIsComputedOnlyWhenAskedForAndADamagedOneIsReported) {
  auto plain = Open(false);
  std::int16_t v = 0;
  ASSERT_EQ(plain->ReadSMBusWord_(0x09, v, 0x16), 0);
  EXPECT_EQ(node.log.back().pec, -1);
  auto a = Open(true);
  ASSERT_EQ(a->ReadSMBusWord_(0x09, v, 0x16), 0);
  auto w = static_cast<std::uint16_t>(v);
  EXPECT_EQ(node.log.back().pec, SmbusPec({0x16, 0x09, 0x17, static_cast<std::uint8_t>(w & 0xFF),
                                           static_cast<std::uint8_t>(w >> 8)}));
  node.corrupt_next_pec = true;
  EXPECT_EQ(a->ReadSMBusWord_(0x09, v, 0x16), 3);
  EXPECT_EQ(a->CheckForError(), 3);
}

TEST_F(LinuxI2c, EachErrnoMapsToItsStatus) {
  auto a = Open();
  const std::pair<int, Status> table[] = {
      {ENXIO, 772}, {EREMOTEIO, 772}, {EIO, 772},  {ETIMEDOUT, 92}, {EBUSY, 94},
      {EAGAIN, 94}, {EBADMSG, 3},     {EPROTO, 5}, {EINVAL, 100},   {EOPNOTSUPP, 100}};
  for (auto [err, status] : table) {
    node.next_errno = err;
    std::int16_t v = 0;
    EXPECT_EQ(a->ReadSMBusWord_(0x09, v, 0x16), status) << err;
    EXPECT_EQ(a->CheckForError(), status);
    EXPECT_EQ(StatusFromErrno(err), status);
  }
  EXPECT_EQ(StatusFromErrno(ENOENT), 2);
  std::int16_t v = 0;
  EXPECT_EQ(a->ReadSMBusWord_(0x09, v, 0x20), 772);  // nobody at that address
  EXPECT_EQ(a->CheckForError(), 772);
  EXPECT_EQ(a->ReadSMBusWord_(0x09, v, 0x16), 0);
  EXPECT_EQ(a->CheckForError(), 0);
}

TEST_F(LinuxI2c, OpeningProblemsGiveAClearMessage) {
  std::string error;
  EXPECT_FALSE(LinuxI2cAdapter::Open("/dev/i2c-99", 0x0B, false, platform, error));
  EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
  node.open_errno = EACCES;
  EXPECT_FALSE(LinuxI2cAdapter::Open("7", 0x0B, false, platform, error));
  EXPECT_NE(error.find("permission"), std::string::npos) << error;
  node.open_errno = 0;
  node.funcs = I2C_FUNC_I2C | I2C_FUNC_SMBUS_WORD_DATA | I2C_FUNC_SMBUS_BYTE;
  EXPECT_FALSE(LinuxI2cAdapter::Open("/dev/i2c-7", 0x0B, false, platform, error));
  EXPECT_NE(error.find("block"), std::string::npos) << error;
  node.funcs = ~0UL & ~static_cast<unsigned long>(I2C_FUNC_SMBUS_PEC);
  EXPECT_FALSE(LinuxI2cAdapter::Open("/dev/i2c-7", 0x0B, true, platform, error));
  EXPECT_NE(error.find("PEC"), std::string::npos) << error;
  EXPECT_FALSE(LinuxI2cAdapter::Open("/dev/i2c-7", 0x80, false, platform, error));
  EXPECT_NE(error.find("(0x03..0x77)"), std::string::npos) << error;
  node.funcs = ~0UL;
  node.slave_errno = EBUSY;
  EXPECT_FALSE(LinuxI2cAdapter::Open("/dev/i2c-7", 0x0B, false, platform, error));
  EXPECT_EQ(error, "cannot address device 0x0B on /dev/i2c-7");
}

}  // namespace vx::testing
