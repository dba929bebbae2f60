#include "runs/capacitor_count.h"
#include "page_fixture.h"

namespace vx::testing {

class CapacitorCount : public PageTest {
 protected:
  void SetUp() override { ShowFresh(); }
  std::int32_t Read(std::uint8_t byte0) {
    dev().state().dataflash[64][0] = byte0;
    platform().TakeMessages();
    return cal->ReadNumberofConfiguredCapacitors();
  }
};

// The low three bits plus one; 1 and 8 are reported and kept, but not shown.
TEST_F(CapacitorCount, OnlyTheLowThreeBitsCount) {
  const std::tuple<std::uint8_t, std::int32_t, int, const char*> kCases[] = {{0x03, 0, 4, "4"},
                                                                             {0xFC, 0, 5, "5"},
                                                                             {0x01, 0, 2, "2"},
                                                                             {0x00, 1, 1, "2"},
                                                                             {0x07, 1, 8, "2"}};
  for (auto [byte, result, count, shown] : kCases) {
    EXPECT_EQ(Read(byte), result) << int(byte);
    EXPECT_EQ(cal->Fields().nCapCount, count);
    EXPECT_EQ(Text("txtCellCount"), shown);
    EXPECT_EQ(platform().messages().size(), result == 0 ? 0u : 1u);
  }
  EXPECT_EQ(platform().messages()[0].text,
            "Number of configured series capacitors in Operation Cfg is not supported. This "
            "device supports 2 to 5 series capacitors. Current Configuration is for 8 series "
            "capacitors. Please correct by setting bits CC2, CC1, and CC0 in Operation Cfg.");
  EXPECT_EQ(platform().messages()[0].caption, "");
}

// A failed select skips the read; an empty block is a failed read: both fall back to five.
TEST_F(CapacitorCount, AFailedReadFallsBackToFive) {
  for (bool empty : {false, true}) {
    Read(0x02);
    dev().ClearLog();
    if (empty) {
      dev().SetShortBlock(0);
    } else {
      dev().AddFault({0, 0x77, "", 772, 1});
    }
    EXPECT_EQ(cal->ReadNumberofConfiguredCapacitors(), 0);
    EXPECT_EQ(dev().log().size(), empty ? 2u : 1u);
    EXPECT_EQ(cal->Fields().nCapCount, 5);
    EXPECT_EQ(Text("txtCellCount"), "5");
    ASSERT_EQ(platform().messages().size(), 1u);
    EXPECT_EQ(platform().messages().back().caption, "Supercapacitor Calibration");
    dev().SetShortBlock(-1);
  }
}

}  // namespace vx::testing
