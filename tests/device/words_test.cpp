#include <gtest/gtest.h>

#include "device/utils.h"

namespace vx {

// High byte first; two's complement; a round trip over every word.
TEST(Words, SplitAndJoin) {
  // clang-format off
  const std::tuple<std::int16_t, std::uint8_t, std::uint8_t> kCases[] = {
      {0x1234, 0x12, 0x34}, {-1, 0xFF, 0xFF}, {-2, 0xFF, 0xFE}, {-32768, 0x80, 0},
      {32767, 0x7F, 0xFF}};
  // clang-format on
  for (auto [v, hi, lo] : kCases) {
    std::uint8_t h = 0, l = 0;
    SplitWord(v, h, l);
    EXPECT_EQ(h, hi) << v;
    EXPECT_EQ(l, lo) << v;
  }
  for (int v = -32768; v <= 32767; ++v) {
    std::uint8_t hi = 0, lo = 0;
    SplitWord(static_cast<std::int16_t>(v), hi, lo);
    ASSERT_EQ(JoinBytes(hi, lo), v);
  }
}

}  // namespace vx
