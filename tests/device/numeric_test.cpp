#include "device/numeric.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

namespace vx {

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(2.5), 2.0);
  EXPECT_EQ(RoundHalfEven(3.5), 4.0);
  EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
  EXPECT_EQ(RoundHalfEven(-3.5), -4.0);
  EXPECT_EQ(RoundHalfEven(10256.41), 10256.0);
  EXPECT_EQ(RoundHalfEven(-0.4), 0.0);
  EXPECT_EQ(RoundHalfEven(2.5000001), 3.0);
}

TEST(Rounding, DoesNotDependOnTheFloatingPointRoundingMode) {
  int old = std::fegetround();
  std::fesetround(FE_UPWARD);
  EXPECT_EQ(RoundHalfEven(2.5), 2.0);
  EXPECT_EQ(RoundHalfEven(2.4), 2.0);
  std::fesetround(old);
}

TEST(Conversions, SixteenBitEdgesAndFailures) {
  EXPECT_EQ(ToInt16(32767.4), 32767);
  EXPECT_EQ(ToInt16(-32768.5), -32768);  // half-way to the even -32768
  EXPECT_THROW(ToInt16(32767.5), RunTimeError);
  EXPECT_THROW(ToInt16(std::nan("")), RunTimeError);
  EXPECT_THROW(ToInt16(std::numeric_limits<double>::infinity()), RunTimeError);
  EXPECT_EQ(ToInt32(2147483647.0), 2147483647);
  EXPECT_THROW(ToInt32(2147483647.5), RunTimeError);
  EXPECT_EQ(ToByte(255), 255);
  EXPECT_THROW(ToByte(256), RunTimeError);
  EXPECT_THROW(ToByte(-1), RunTimeError);
}

TEST(Arithmetic, SixteenBitSumsFailInsteadOfWrapping) {
  EXPECT_EQ(CheckedAdd16(32000, 767), 32767);
  EXPECT_THROW(CheckedAdd16(32000, 768), RunTimeError);
  EXPECT_THROW(CheckedSub16(-32768, 1), RunTimeError);
  EXPECT_EQ(Wrap16(32768), -32768);
  EXPECT_EQ(Wrap16(-32769), 32767);
  EXPECT_EQ(Wrap16(0x1FFFF), -1);
  EXPECT_THROW(CheckedDivide(1.0, 0.0), RunTimeError);
}

TEST(TextConversions, WholeNumbersRoundHalvesToEvenAndAllowBlanks) {
  EXPECT_EQ(TextToInt16("2000"), 2000);
  EXPECT_EQ(TextToInt16("  2000.5 "), 2000);
  EXPECT_EQ(TextToInt16("2001.5"), 2002);
  EXPECT_EQ(TextToInt16("-500"), -500);
  EXPECT_EQ(TextToInt16("+7"), 7);
  EXPECT_EQ(TextToInt16("1e3"), 1000);
  EXPECT_EQ(TextToInt16(".5"), 0);
}

TEST(TextConversions, FailuresCarryADescription) {
  for (const char* bad : {"", "   ", "abc", "12a", "1,5", "--1", "Err_Rd", "1e", "."}) {
    try {
      TextToInt16(bad);
      ADD_FAILURE() << "no failure for \"" << bad << "\"";
    } catch (const RunTimeError& e) {
      EXPECT_FALSE(std::string(e.what()).empty());
    }
  }
  EXPECT_THROW(TextToInt16("32768"), RunTimeError);
  EXPECT_THROW(TextToInt16("1e400"), RunTimeError);
  EXPECT_THROW(TextToSingle("1e39"), RunTimeError);
  EXPECT_FLOAT_EQ(TextToSingle(" 25.3 "), 25.3f);
}

TEST(TextConversions, LeadingNumberReadsWhatTheTextBeginsWith) {
  EXPECT_EQ(LeadingNumber("2"), 2.0);
  EXPECT_EQ(LeadingNumber("0.75"), 0.75);
  EXPECT_EQ(LeadingNumber(" 35sec"), 35.0);
  EXPECT_EQ(LeadingNumber("abc"), 0.0);
  EXPECT_EQ(LeadingNumber(""), 0.0);
  EXPECT_EQ(LeadingNumber("-1"), -1.0);
}

TEST(Formatting, TemperaturesAsThePageShowsThem) {
  EXPECT_EQ(FormatDouble(250 * 0.1), "25");
  EXPECT_EQ(FormatDouble(253 * 0.1), "25.3");
  EXPECT_EQ(FormatDouble(-1 * 0.1), "-0.1");
  EXPECT_EQ(FormatDouble(0 * -0.1), "0");
  EXPECT_EQ(FormatDouble(-2732 * 0.1), "-273.2");
}

}  // namespace vx
