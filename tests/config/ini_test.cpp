#include <gtest/gtest.h>

#include "config/ini_reader.h"
#include "test_files.h"

namespace vx {

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

}  // namespace vx
