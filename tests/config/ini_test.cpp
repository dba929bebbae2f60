#include <gtest/gtest.h>

#include "config/ini_reader.h"
#include "test_files.h"

namespace vx {

TEST(IniReader, NamesAreCaseInsensitiveAndTheFirstMatchWins) {
  testing::TempDir dir;
  auto f = dir.Write("a.ini",
                     "[Delay]\n"
                     "  load_vi_settle = 250 \n"
                     "LOAD_VI_SETTLE=999\n"
                     "[delay]\n"
                     "CB_V_SETTLE=5\n"
                     "[Other]\n"
                     "X=1\n");
  EXPECT_EQ(GetPrivateProfileInt("DELAY", "Load_VI_Settle", 7, f), 250);
  // A second section of the same name is not consulted.
  EXPECT_EQ(GetPrivateProfileInt("Delay", "CB_V_SETTLE", 7, f), 7);
  EXPECT_EQ(GetPrivateProfileInt("other", "x", 7, f), 1);
}

TEST(IniReader, MissingFileSectionOrKeyGivesTheFallback) {
  testing::TempDir dir;
  auto f = dir.Write("a.ini", "[S]\nK=3\nEmpty=\n");
  EXPECT_EQ(GetPrivateProfileInt("S", "K", -1, dir.path() + "/none.ini"), -1);
  EXPECT_EQ(GetPrivateProfileInt("T", "K", -1, f), -1);
  EXPECT_EQ(GetPrivateProfileInt("S", "J", -1, f), -1);
  EXPECT_EQ(GetPrivateProfileInt("S", "Empty", -1, f), -1);
}

TEST(IniReader, ValueIsTheIntegerTheTextBeginsWith) {
  EXPECT_EQ(ParseProfileInt("200 ; settle"), 200);
  EXPECT_EQ(ParseProfileInt("-12"), -12);
  EXPECT_EQ(ParseProfileInt("+12"), 12);
  EXPECT_EQ(ParseProfileInt("0x8030"), 0x8030);
  EXPECT_EQ(ParseProfileInt("0x1234a"), 0x1234A);
  // Base prefixes are lower case only, as the system reads them; letters of hex digits are not.
  EXPECT_EQ(ParseProfileInt("0X1234a"), 0);
  EXPECT_EQ(ParseProfileInt("0xaBcD"), 0xABCD);
  EXPECT_EQ(ParseProfileInt("0b101"), 5);
  EXPECT_EQ(ParseProfileInt("0o17"), 15);
  EXPECT_EQ(ParseProfileInt("0o8"), 0);
  EXPECT_EQ(ParseProfileInt("-0x10"), -16);
  EXPECT_EQ(ParseProfileInt("abc"), 0);
  EXPECT_EQ(ParseProfileInt("0x"), 0);
  EXPECT_EQ(ParseProfileInt("12.9"), 12);
  EXPECT_EQ(ParseProfileInt("4294967296"), 0);  // wraps like a 32-bit reading
  EXPECT_EQ(ParseProfileInt("2147483648"), INT32_MIN);
}

TEST(IniReader, QuotationMarksAroundAValueAreDropped) {
  testing::TempDir dir;
  auto f = dir.Write("a.ini", "[S]\nD=\"12\"\nS='5'\nMixed=\"7'\nOne=\"\n");
  EXPECT_EQ(GetPrivateProfileInt("S", "D", -1, f), 12);
  EXPECT_EQ(GetPrivateProfileInt("S", "S", -1, f), 5);
  EXPECT_EQ(GetPrivateProfileInt("S", "Mixed", -1, f), 0);
  EXPECT_EQ(GetPrivateProfileInt("S", "One", -1, f), 0);
}

TEST(IniReader, TheFileIsReadAfreshForEveryKey) {
  testing::TempDir dir;
  auto f = dir.Write("a.ini", "[S]\nK=1\n");
  EXPECT_EQ(GetPrivateProfileInt("S", "K", 0, f), 1);
  dir.Write("a.ini", "[S]\nK=2\n");
  EXPECT_EQ(GetPrivateProfileInt("S", "K", 0, f), 2);
}

}  // namespace vx
