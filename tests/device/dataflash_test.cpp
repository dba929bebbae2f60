#include "device/dataflash.h"

#include <gtest/gtest.h>

#include "device/commands.h"
#include "platform/virtual_platform.h"
#include "sim/sim_device.h"
#include "traffic.h"

namespace vx::testing {

using Strings = std::vector<std::string>;

class DataFlashTest : public ::testing::Test {
 protected:
  VirtualPlatform platform;
  sim::SimDevice dev{platform, sim::DefaultState(5)};
  BlockBuffer block{};
  std::int16_t length = 32;
};

// The pair asks for the error status only after both writes went through; the read follows
// only a successful write.
TEST_F(DataFlashTest, RegisterHelpersStopAtTheFirstFailure) {
  dev.AddFault({0, 0x40, "", 772, 1});
  EXPECT_EQ(WriteWordPair(dev, cmd::kRegisterAddress, 0x40, cmd::kRegControl, 0x41, 3), 772);
  EXPECT_EQ(WriteWordPair(dev, cmd::kRegisterAddress, 0x40, cmd::kRegControl, 0x41, 3), 0);
  EXPECT_EQ(Traffic(dev.log()),
            (Strings{"ww_ 40 80 40 @17 !772", "ww_ 40 80 40 @17", "ww_ 41 00 03 @17", "chk"}));
  EXPECT_EQ(dev.ControlRegister(), 3);
  std::int16_t w = 123;
  dev.AddFault({0, 0x40, "", 3, 1});
  EXPECT_EQ(WriteWordReadWord(dev, cmd::kRegisterAddress, 0x40, cmd::kRegSample, 0x42, w), 3);
  EXPECT_EQ(w, 123);
  EXPECT_EQ(WriteWordReadWord(dev, cmd::kRegisterAddress, 0x40, cmd::kRegSample, 0x42, w), 0);
  EXPECT_EQ(w, dev.state().cal.sample_idle);
  EXPECT_EQ(Traffic(dev.log()).back(), "rw_ 42 @17");
}

}  // namespace vx::testing
