// The numeric rules of the device's formats and of the page's text entries, in one place:
// 16-bit words, rounding halves to even, conversions that fail with a description.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vx {

// A run-time failure (a text that is not a number, an overflow, a division by zero). The
// handler that is running catches it in its failure trap and reports the description.
class RunTimeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Two's-complement wrap to 16 bits, defined for every input.
constexpr std::int16_t Wrap16(std::int64_t v) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint64_t>(v)));
}
constexpr std::uint16_t AsUnsigned16(std::int16_t v) {
  return static_cast<std::uint16_t>(v);
}

// Nearest whole number, a value exactly half-way going to the even neighbour. Independent of
// the floating-point rounding mode.
double RoundHalfEven(double x);

// Checked conversions and arithmetic: throw RunTimeError with a description on overflow.
std::int16_t ToInt16(double x);  // halves to even
std::int32_t ToInt32(double x);  // halves to even
std::uint8_t ToByte(std::int64_t v);
std::int16_t CheckedAdd16(std::int16_t a, std::int16_t b);
std::int16_t CheckedSub16(std::int16_t a, std::int16_t b);
double CheckedDivide(double numerator, double denominator);

// Non-throwing variants for callers that decide themselves what a failure means.
std::optional<std::int16_t> TryToInt16(double x);
std::optional<std::int32_t> TryToInt32(double x);

// Page text conversions. A decimal number with optional sign, fraction and exponent, blanks
// before and after allowed; anything else (empty, trailing garbage) fails.
double TextToDouble(std::string_view text);
float TextToSingle(std::string_view text);
// The whole-number conversion: TextToDouble, then to 16 bits with halves to even.
std::int16_t TextToInt16(std::string_view text);
// The number a text begins with ("2.5 s" gives 2.5); a text without a leading number gives 0.
// The decimal separator is ".".
double LeadingNumber(std::string_view text);

// Decimal text of a double as the page shows it: up to 15 significant digits, no trailing
// zeros, "." as separator (25, 25.3, -0.1).
std::string FormatDouble(double v);
// A byte as a host names it: "0x0B".
std::string Hex2(unsigned v);

}  // namespace vx
