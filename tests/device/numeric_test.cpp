#include "device/numeric.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

namespace vx {

TEST(Rounding, HalvesGoToTheEvenNeighbourInAnyRoundingMode) {
  const std::pair<double, double> kCases[] = {{2.5, 2},          {3.5, 4},      {-2.5, -2},
                                              {-3.5, -4},        {-0.4, 0},     {2.4, 2},
                                              {10256.41, 10256}, {2.5000001, 3}};
  const int old = std::fegetround();
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD}) {
    std::fesetround(mode);
    for (auto [x, r] : kCases)
      EXPECT_EQ(RoundHalfEven(x), r) << x << " mode " << mode;
  }
  std::fesetround(old);
}

TEST(Conversions, SixteenBitEdgesAndFailures) {
  EXPECT_EQ(ToInt16(32767.4), 32767);
  EXPECT_EQ(ToInt16(-32768.5), -32768);  // half-way to the even -32768
  EXPECT_EQ(ToInt32(2147483647.0), 2147483647);
  EXPECT_EQ(ToInt32(-2147483648.0), INT32_MIN);
  EXPECT_EQ(ToByte(255), 255);
  EXPECT_EQ(CheckedAdd16(32000, 767), 32767);
  EXPECT_EQ(CheckedSub16(-32767, 1), -32768);
  EXPECT_EQ(Wrap16(32768), -32768);
  EXPECT_EQ(Wrap16(-32769), 32767);
  EXPECT_EQ(Wrap16(0x1FFFF), -1);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_THROW(ToInt16(32767.5), RunTimeError);
  EXPECT_THROW(ToInt16(-32769), RunTimeError);
  EXPECT_THROW(ToInt16(std::nan("")), RunTimeError);
  EXPECT_THROW(ToInt16(inf), RunTimeError);
  EXPECT_THROW(ToInt32(2147483647.5), RunTimeError);
  EXPECT_THROW(ToByte(256), RunTimeError);
  EXPECT_THROW(ToByte(-1), RunTimeError);
  EXPECT_THROW(CheckedAdd16(32000, 768), RunTimeError);
  EXPECT_THROW(CheckedSub16(-32768, 1), RunTimeError);
  EXPECT_THROW(CheckedDivide(1.0, 0.0), RunTimeError);
}

TEST(TextConversions, WholeNumbersAndFailures) {
  const std::pair<const char*, int> kCases[] = {
      {"2000", 2000}, {"  2000.5 ", 2000}, {"2001.5", 2002}, {"-500", -500},
      {"+7", 7},      {"1e3", 1000},       {".5", 0},        {"100.05", 100},
      {"3e0", 3},     {"1e-400", 0},       {"32767", 32767}};
  for (auto [text, v] : kCases)
    EXPECT_EQ(TextToInt16(text), v) << text;
  for (const char* bad :
       {"", "   ", "abc", "12a", "1,5", "--1", "Err_Rd", "1e", ".", "32768", "1e400", "0x10"}) {
    try {
      TextToInt16(bad);
      ADD_FAILURE() << "no failure for \"" << bad << "\"";
    } catch (const RunTimeError& e) {
      EXPECT_FALSE(std::string(e.what()).empty());
    }
  }
  // Beyond a double by its length, with or without an exponent: the magnitude decides.
  const std::string zeros(400, '0');
  EXPECT_EQ(TextToInt16("." + zeros + "1"), 0);
  EXPECT_EQ(TextToInt16(zeros + "1e-400"), 0);  // leading zeros are no magnitude
  EXPECT_EQ(TextToInt16("0." + zeros + "1e-5"), 0);
  EXPECT_THROW(TextToInt16("9" + zeros + "e-5"), RunTimeError);     // 9 is a digit too
  EXPECT_EQ(TextToInt16("0." + zeros + "1e10"), 0);                 // 1e-391, below a double
  EXPECT_THROW(TextToInt16("0." + zeros + "1e719"), RunTimeError);  // 1e318
  EXPECT_THROW(TextToInt16("0." + zeros + "1e710"), RunTimeError);  // 1e309: its exponent's 0
  EXPECT_THROW(TextToSingle("1e39"), RunTimeError);
  EXPECT_EQ(TextToSingle("3.4028234663852886e38"), std::numeric_limits<float>::max());  // fits
  EXPECT_FLOAT_EQ(TextToSingle(" 25.3 "), 25.3f);
}

TEST(TextConversions, LeadingNumberReadsWhatTheTextBeginsWith) {
  const std::pair<const char*, double> kCases[] = {
      {"2", 2},    {"0.75", 0.75}, {" 35sec", 35}, {"abc", 0}, {"", 0},  {"-1", -1}, {"+2.5s", 2.5},
      {".5", 0.5}, {"1e2x", 100},  {"1e", 1},      {"3.", 3},  {"-", 0}, {"1,5", 1}};
  for (auto [text, v] : kCases)
    EXPECT_EQ(LeadingNumber(text), v) << text;
}

}  // namespace vx
