#include <gtest/gtest.h>

#include "config/mod_delays.h"
#include "test_files.h"

namespace vx {

class ConfigIniTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  Settings s;
  std::string Path(const std::string& text) { return dir.Write("Config.ini", text); }
};

TEST_F(ConfigIniTest, EmptyFileGivesEveryDefault) {
  ASSERT_TRUE(ReadConfigIni(s, "800.1.02", Path("")));
  EXPECT_EQ(s.CB_V_SETTLE, 1000);
  EXPECT_EQ(s.LOAD_VI_SETTLE, 200);
  EXPECT_EQ(s.USB_RESP_TIME, 1);
  EXPECT_EQ(s.DVMAC, 0);
  EXPECT_EQ(s.TgtAddr, 23);
  EXPECT_EQ(s.CalWr, 60);
  EXPECT_EQ(s.DF_IMAGE_SZ, 1792);
  EXPECT_EQ(s.RetROMWd, 3840);
  EXPECT_EQ(s.Platform, 0x8030);
  EXPECT_EQ(s.DF_BASE_ADDR, 0x4000);
  EXPECT_EQ(s.DF_CHKSUM_SZ, 0x7E0);
  EXPECT_EQ(s.GGModeDFDelay, 132);
  EXPECT_EQ(s.SBSWrDelay, 66);
  EXPECT_EQ(s.ITOff_DFOff, 14);
  EXPECT_EQ(s.ET2Off_DFOff, 16);
  EXPECT_TRUE(s.out_of_range.empty());
}

TEST_F(ConfigIniTest, VersionSectionOverridesDeviceSectionKeyByKey) {
  auto f = Path(
      "[D800]\nDVMAC=68\nCalWr=100\n"
      "[800_1_02]\nCalWr=150\n"
      "[800_1_03]\nDVMAC=1\n"
      "[P8030]\nDF_ERASEROW=20\n");
  ASSERT_TRUE(ReadConfigIni(s, "800.1.02", f));
  EXPECT_EQ(s.DVMAC, 68);
  EXPECT_EQ(s.CalWr, 150);
  EXPECT_EQ(s.DF_ERASEROW, 20);
  EXPECT_EQ(s.GGModeDFDelay, ((20 + 2) * 1 + 20) * 6);
}

TEST_F(ConfigIniTest, PlatformSectionNameComesFromThePlatformSetting) {
  EXPECT_EQ(PlatformSectionName(0x8030), "P8030");
  EXPECT_EQ(PlatformSectionName(0x30), "P0030");
  EXPECT_EQ(PlatformSectionName(0x1234A), "P1234A");
  auto f = Path("[D800]\nPlatform=0x30\n[P0030]\nDF_PROGROW=7\n[P8030]\nDF_PROGROW=9\n");
  ASSERT_TRUE(ReadConfigIni(s, "800.1.02", f));
  EXPECT_EQ(s.DF_PROGROW, 7);
}

TEST_F(ConfigIniTest, DerivedDelaysUseTheFormulaNotTheFile) {
  auto f = Path("[800_1_02]\nGGModeDFDelay=500\n");
  ASSERT_TRUE(ReadConfigIni(s, "800.1.02", f));
  EXPECT_EQ(s.GGModeDFDelay, 500);
  EXPECT_EQ(s.SBSWrDelay, 66);
}

TEST_F(ConfigIniTest, SmallerEraseRowOrZeroProgramRowGivesEraseRowTimesSix) {
  ASSERT_TRUE(ReadConfigIni(s, "800.1.02", Path("[P8030]\nDF_ERASEROW_SZ=16\n")));
  EXPECT_EQ(s.GGModeDFDelay, 60);
  ASSERT_TRUE(ReadConfigIni(s, "800.1.02", Path("[P8030]\nDF_PROGROW_SZ=0\n")));
  EXPECT_EQ(s.DF_PROGROW_SZ, 0);
  EXPECT_EQ(s.GGModeDFDelay, 60);
  EXPECT_EQ(s.SBSWrDelay, 30);
}

TEST_F(ConfigIniTest, SixteenBitSettingOutOfRangeKeepsItsDefaultAndIsReported) {
  auto f =
      Path("[D800]\nDVMAC=70000\nTgtAddr=-32769\nRetROMCmd=-32768\n[P8030]\nDF_MAX_SZ=0x10000\n");
  ASSERT_TRUE(ReadConfigIni(s, "800.1.02", f));
  EXPECT_EQ(s.DVMAC, 0);
  EXPECT_EQ(s.TgtAddr, 23);
  EXPECT_EQ(s.RetROMCmd, -32768);
  EXPECT_EQ(s.DF_MAX_SZ, 2048);
  ASSERT_EQ(s.out_of_range.size(), 3u);
  EXPECT_EQ(s.out_of_range[0].key, "DVMAC");
  EXPECT_EQ(s.out_of_range[2].key, "DF_MAX_SZ");
}

TEST_F(ConfigIniTest, HugeRowTimesDoNotOverflow) {
  ASSERT_TRUE(ReadConfigIni(s, "800.1.02",
                            Path("[P8030]\nDF_ERASEROW=2147483647\nDF_PROGROW=2147483647\n")));
  EXPECT_EQ(s.GGModeDFDelay, INT32_MAX);
}

TEST_F(ConfigIniTest, TargetInfoWithoutADotReadsOnlyTheTimingSection) {
  auto f = Path("[Delay]\nLOAD_VI_SETTLE=300\n[D800]\nDVMAC=68\n");
  ASSERT_TRUE(ReadConfigIni(s, "800.1.02", f));
  ASSERT_EQ(s.DVMAC, 68);
  dir.Write("Config.ini", "[Delay]\nLOAD_VI_SETTLE=400\n[D800]\nDVMAC=5\n");
  EXPECT_FALSE(ReadConfigIni(s, "800", f));
  EXPECT_EQ(s.LOAD_VI_SETTLE, 400);
  EXPECT_EQ(s.DVMAC, 68);  // kept from the earlier read
  EXPECT_FALSE(ReadConfigIni(s, "", f));
}

TEST(ConfigSections, DeviceAndVersionSectionNames) {
  std::string d = "keep", v = "keep";
  EXPECT_TRUE(GetIniSections("1.2.3", d, v));
  EXPECT_EQ(d, "D1");
  EXPECT_EQ(v, "1_2_3");
  EXPECT_TRUE(GetIniSections(".x", d, v));
  EXPECT_EQ(d, "D");
  EXPECT_EQ(v, "_x");
  d = v = "keep";
  EXPECT_FALSE(GetIniSections("abc", d, v));
  EXPECT_EQ(d, "keep");
  EXPECT_EQ(v, "keep");
}

TEST(ConfigSections, ReadIniWithOverride) {
  testing::TempDir dir;
  auto f = dir.Write("x.ini", "[800]\nA=1\nB=2\n[800_1_02]\nB=3\n");
  EXPECT_EQ(ReadIniWithOverride("800", "800_1_02", "A", 9, f), 1);
  EXPECT_EQ(ReadIniWithOverride("800", "800_1_02", "B", 9, f), 3);
  EXPECT_EQ(ReadIniWithOverride("800", "800_1_02", "C", 9, f), 9);
}

}  // namespace vx
