#include <gtest/gtest.h>

#include "config/err_codes.h"
#include "config/ini_reader.h"
#include "config/mod_delays.h"
#include "test_files.h"

namespace vx {

class ConfigIniTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  Settings s;
  std::string Path(const std::string& text) { return dir.Write("Config.ini", text); }
};

// The documented sample names every key with its built-in default: read from the sample, each
// setting has the value it has without any file, and comes from a section of the file.
TEST_F(ConfigIniTest, TheDocumentedSampleHoldsEveryKeyWithItsDefault) {
  Settings defaults;
  ASSERT_TRUE(ReadConfigIni(defaults, "800.1.02", Path("")));
  const std::string sample = VX_DOCS_DIR "/Config.ini.sample";
  ASSERT_TRUE(ReadConfigIni(s, "800.1.02", sample));
  auto from_sample = DescribeSettings(s, "800.1.02", sample);
  auto built_in = DescribeSettings(defaults, "800.1.02", Path(""));
  ASSERT_EQ(from_sample.size(), built_in.size());
  ASSERT_GT(built_in.size(), 30u);
  for (std::size_t i = 0; i < built_in.size(); ++i) {
    EXPECT_EQ(from_sample[i].key, built_in[i].key);
    EXPECT_EQ(from_sample[i].value, built_in[i].value) << built_in[i].key;
    EXPECT_FALSE(from_sample[i].section.empty()) << built_in[i].key << " is not in the sample";
    EXPECT_TRUE(built_in[i].section.empty());
  }
  EXPECT_EQ(defaults.DVMAC, 0);
  EXPECT_EQ(defaults.LOAD_VI_SETTLE, 200);
  EXPECT_EQ(defaults.GGModeDFDelay, 132);
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

// The data flash delays follow the row times and sizes unless the file names them; a smaller
// erase row or a zero program row gives erase row x 6; huge row times do not overflow. Names are
// matched whatever their case.
TEST_F(ConfigIniTest, DerivedDelays) {
  const std::tuple<const char*, std::int32_t, std::int32_t> kCases[] = {
      {"[800_1_02]\nGGModeDFDelay=500\n", 500, 66},
      {"[p8030]\ndf_eraserow_sz=16\n", 60, 30},
      {"[P8030]\nDF_PROGROW_SZ=0\n", 60, 30},
      {"[P8030]\nDF_ERASEROW=2147483647\nDF_PROGROW=2147483647\n", INT32_MAX, INT32_MAX / 2}};
  for (auto [text, gg_mode, sbs_write] : kCases) {
    ASSERT_TRUE(ReadConfigIni(s, "800.1.02", Path(text)));
    EXPECT_EQ(s.GGModeDFDelay, gg_mode) << text;
    EXPECT_EQ(s.SBSWrDelay, sbs_write) << text;
  }
}

TEST_F(ConfigIniTest, SixteenBitSettingOutOfRangeKeepsItsDefaultAndIsReported) {
  auto f = Path(
      "[D800]\nDVMAC=70000\nTgtAddr=-32769\nRetROMCmd=-32768\nRetROMWd=32767\nCalWr=\n"
      "[P8030]\nDF_MAX_SZ=0x10000\n");
  ASSERT_TRUE(ReadConfigIni(s, "800.1.02", f));
  EXPECT_EQ(s.DVMAC, 0);
  EXPECT_EQ(s.TgtAddr, 23);
  EXPECT_EQ(s.RetROMCmd, -32768);
  EXPECT_EQ(s.RetROMWd, 32767);
  EXPECT_EQ(s.DF_MAX_SZ, 2048);
  ASSERT_EQ(s.out_of_range.size(), 3u);
  EXPECT_EQ(s.out_of_range[0].key, "DVMAC");
  EXPECT_EQ(s.out_of_range[2].key, "DF_MAX_SZ");
  // An empty value is no value: the default, from no section.
  for (const auto& d : DescribeSettings(s, "800.1.02", f)) {
    if (d.key == "CalWr") {
      EXPECT_EQ(d.value, 60);
      EXPECT_EQ(d.section, "");
    }
  }
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

// Names are matched without case and blanks, in the first section of a name only, skipping
// comments and lines without "="; quotation marks of one kind around a value are dropped; an
// empty value, key, section or file gives the fallback.
TEST(IniReader, LookUp) {
  testing::TempDir dir;
  auto f = dir.Write("a.ini",
                     "[Delay]\n  load_vi_settle = 250 \nLOAD_VI_SETTLE=999\n;CB_I_SETTLE=3\n"
                     "CB_I_SETTLE\n[delay]\nCB_V_SETTLE=5\n[ Other \nX=1\n[Q]\nD=\"12\"\nS='5'\n"
                     "Mixed=\"7'\nOne=\"\nNone=\"\"\nEmpty=\n");
  // clang-format off
  const std::tuple<const char*, const char*, int> kCases[] = {
      {"DELAY", "Load_VI_Settle", 250}, {" Delay ", "\tLOAD_VI_SETTLE ", 250},
      {"Delay", "CB_V_SETTLE", -1}, {"Delay", "CB_I_SETTLE", -1}, {"other", "x", 1},
      {"Q", "D", 12}, {"Q", "S", 5}, {"Q", "Mixed", 0}, {"Q", "One", 0}, {"Q", "None", -1},
      {"Q", "Empty", -1}, {"Q", "Nothing", -1}, {"R", "D", -1}};
  // clang-format on
  for (auto [section, key, value] : kCases)
    EXPECT_EQ(GetPrivateProfileInt(section, key, -1, f), value) << section << "/" << key;
  EXPECT_EQ(GetPrivateProfileInt("Q", "D", -1, dir.path() + "/none.ini"), -1);
  // The file is read afresh for every key.
  dir.Write("a.ini", "[Q]\nD=13\n");
  EXPECT_EQ(GetPrivateProfileInt("Q", "D", -1, f), 13);
}

// The integer the text begins with: an optional sign, a base prefix in lower case only, digits
// of that base with letters in either case; beyond 32 bits it wraps.
TEST(IniReader, ValueIsTheIntegerTheTextBeginsWith) {
  // clang-format off
  const std::pair<const char*, std::int32_t> kCases[] = {
      {"200 ; settle", 200}, {"-12", -12}, {"+12", 12}, {"0x8030", 0x8030}, {"0x1234a", 0x1234A},
      {"0X1234a", 0}, {"0xaBcD", 0xABCD}, {"0x1g", 1}, {"0b101", 5}, {"0b102", 2}, {"0o17", 15},
      {"0o8", 0}, {"-0x10", -16}, {"abc", 0}, {"0x", 0}, {"12.9", 12}, {"12a", 12}, {"7b1", 7},
      {"0xF", 15}, {"0xf0", 240}, {"4294967296", 0}, {"2147483648", INT32_MIN}, {"0", 0}};
  // clang-format on
  for (auto [text, value] : kCases)
    EXPECT_EQ(ParseProfileInt(text), value) << text;
}

// Listed codes have their own text; every other code is shown in decimal.
TEST(ErrorTexts, ListedAndOtherCodes) {
  // clang-format off
  const std::pair<std::int32_t, const char*> kCases[] = {
      {0, "Communication OK"}, {2, "No USB: VB_NO_USB"}, {5, "VB_WRONG_NUM_BYTES"},
      {12, "VB_KD52LNK_OCX_INTERNAL_ERROR"}, {94, "VB_BUS_BUSY"},
      {100, "Unknown error: VB_UNKNOWN"}, {236, "VB_BCFG_DEV_MISMATCH"},
      {772, "No Acknowledge: VB_T2H_NACK"}, {1284, "VB_SMB_LOCKED"},
      {5043, "VB_ERR_USB_ACQUIRE"}, {4, "Error Code (decimal) 4"},
      {101, "Error Code (decimal) 101"}, {230, "Error Code (decimal) 230"},
      {-1, "Error Code (decimal) -1"}, {5024, "Error Code (decimal) 5024"},
      {261, "Error Code (decimal) 261"}, {INT32_MIN, "Error Code (decimal) -2147483648"}};
  // clang-format on
  for (auto [code, text] : kCases)
    EXPECT_EQ(GetErrorText(code), text);
}

}  // namespace vx
