#include <gtest/gtest.h>

#include "device/utils.h"

namespace vx {

TEST(Words, SplitAndJoinAreExactInversesOverAllWords) {
  for (int v = -32768; v <= 32767; ++v) {
    std::uint8_t hi = 0, lo = 0;
    SplitWord(static_cast<std::int16_t>(v), hi, lo);
    auto u = static_cast<unsigned>(v) & 0xFFFFu;
    ASSERT_EQ(hi, u >> 8) << v;
    ASSERT_EQ(lo, u & 0xFF) << v;
    ASSERT_EQ(JoinBytes(hi, lo), v);
  }
}

TEST(Words, KnownValues) {
  std::uint8_t hi = 0, lo = 0;
  SplitWord(0x1234, hi, lo);
  EXPECT_EQ(hi, 0x12);
  EXPECT_EQ(lo, 0x34);
  SplitWord(-1, hi, lo);
  EXPECT_EQ(hi, 0xFF);
  EXPECT_EQ(lo, 0xFF);
  SplitWord(-32768, hi, lo);
  EXPECT_EQ(hi, 0x80);
  EXPECT_EQ(lo, 0x00);
  EXPECT_EQ(JoinBytes(0xFF, 0xFE), -2);
  EXPECT_EQ(JoinBytes(0x7F, 0xFF), 32767);
  EXPECT_EQ(JoinBytes(0x80, 0x00), -32768);
}

}  // namespace vx
