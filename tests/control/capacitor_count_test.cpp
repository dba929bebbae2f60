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

TEST_F(CapacitorCount, OnlyTheLowThreeBitsCount) {
  EXPECT_EQ(Read(0x03), 0);
  EXPECT_EQ(cal->Fields().nCapCount, 4);
  EXPECT_EQ(Text("txtCellCount"), "4");
  EXPECT_EQ(Read(0xFC), 0);
  EXPECT_EQ(cal->Fields().nCapCount, 5);
  EXPECT_EQ(Read(0x01), 0);
  EXPECT_EQ(Text("txtCellCount"), "2");
  EXPECT_TRUE(platform().messages().empty());
}

TEST_F(CapacitorCount, UnsupportedCountsAreReportedAndKeptButNotShown) {
  EXPECT_EQ(Read(0x00), 1);
  EXPECT_EQ(cal->Fields().nCapCount, 1);
  ASSERT_EQ(platform().messages().size(), 1u);
  EXPECT_EQ(platform().messages()[0].text,
            "Number of configured series capacitors in Operation Cfg is not supported. This "
            "device supports 2 to 5 series capacitors. Current Configuration is for 1 series "
            "capacitors. Please correct by setting bits CC2, CC1, and CC0 in Operation Cfg.");
  EXPECT_EQ(platform().messages()[0].caption, "");
  EXPECT_EQ(Text("txtCellCount"), "5");
  EXPECT_EQ(Read(0x07), 1);
  EXPECT_EQ(cal->Fields().nCapCount, 8);
}

TEST_F(CapacitorCount, AFailedSelectSkipsTheReadAndFallsBackToFive) {
  Read(0x02);
  dev().ClearLog();
  dev().AddFault({0, 0x77, "", 772, true});
  EXPECT_EQ(cal->ReadNumberofConfiguredCapacitors(), 0);
  EXPECT_EQ(dev().log().size(), 1u);
  EXPECT_EQ(cal->Fields().nCapCount, 5);
  EXPECT_EQ(Text("txtCellCount"), "5");
  EXPECT_EQ(platform().messages().back().caption, "Supercapacitor Calibration");
}

TEST_F(CapacitorCount, AnEmptyBlockIsAReadFailure) {
  dev().SetShortBlock(0);
  EXPECT_EQ(Read(0x01), 0);
  EXPECT_EQ(cal->Fields().nCapCount, 5);
  EXPECT_EQ(platform().messages().size(), 1u);
}

TEST_F(CapacitorCount, AChangedConfigurationIsSeenAtTheNextCall) {
  EXPECT_EQ(Read(0x02), 0);
  EXPECT_EQ(Read(0x03), 0);
  EXPECT_EQ(cal->Fields().nCapCount, 4);
}

}  // namespace vx::testing
