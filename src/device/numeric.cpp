#include "device/numeric.h"

#include <cstdio>

#include <charconv>
#include <cmath>
#include <limits>

namespace vx {

double RoundHalfEven(double x) {
  if (!std::isfinite(x)) return x;
  double floor = std::floor(x);
  double diff = x - floor;
  if (diff < 0.5) return floor;
  if (diff > 0.5) return floor + 1.0;
  return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

std::optional<std::int16_t> TryToInt16(double x) {
  double r = RoundHalfEven(x);
  if (!(r >= -32768.0 && r <= 32767.0)) return std::nullopt;  // NaN fails here too
  return static_cast<std::int16_t>(r);
}

std::optional<std::int32_t> TryToInt32(double x) {
  double r = RoundHalfEven(x);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return std::nullopt;
  return static_cast<std::int32_t>(r);
}

std::int16_t ToInt16(double x) {
  if (auto v = TryToInt16(x)) return *v;
  throw RunTimeError("Overflow: the value does not fit a 16-bit integer");
}

std::int32_t ToInt32(double x) {
  if (auto v = TryToInt32(x)) return *v;
  throw RunTimeError("Overflow: the value does not fit a 32-bit integer");
}

std::uint8_t ToByte(std::int64_t v) {
  if (v < 0 || v > 255) throw RunTimeError("Overflow: the value does not fit a byte");
  return static_cast<std::uint8_t>(v);
}

std::int16_t CheckedAdd16(std::int16_t a, std::int16_t b) {
  int r = a + b;
  if (r < -32768 || r > 32767) throw RunTimeError("Overflow in 16-bit arithmetic");
  return static_cast<std::int16_t>(r);
}

std::int16_t CheckedSub16(std::int16_t a, std::int16_t b) {
  int r = a - b;
  if (r < -32768 || r > 32767) throw RunTimeError("Overflow in 16-bit arithmetic");
  return static_cast<std::int16_t>(r);
}

double CheckedDivide(double numerator, double denominator) {
  if (denominator == 0.0) throw RunTimeError("Division by zero");
  return numerator / denominator;
}

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

// Length of the longest prefix of s that is a decimal number (sign, digits, fraction,
// exponent); 0 when s does not begin with one.
std::size_t NumberPrefix(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9')
    ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
      ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    std::size_t exp_digits = 0;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9')
      ++j, ++exp_digits;
    if (exp_digits > 0) i = j;
  }
  return i;
}

// The page's decimal separator is "." whatever the process's locale (a host may well run in a
// decimal-comma one): the conversions do not consult the locale at all.
double ParsePrefix(std::string_view s, std::size_t n) {
  s = s.substr(0, n);
  bool negative = !s.empty() && s.front() == '-';
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // Beyond a double: too large is an overflow (caught by the callers), too small is 0. Which
    // one is the number's decimal magnitude: its leading digit's place, moved by the exponent
    // ("1000...0e-5" with 400 digits is large, ".000...01" with 400 zeros is small).
    std::int64_t place = 0;  // the leading significant digit is 10^(place - 1)
    std::size_t i = 0;
    while (i < s.size() && s[i] == '0')
      ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
      ++i, ++place;
    if (place == 0 && i < s.size() && s[i] == '.') {
      for (++i; i < s.size() && s[i] == '0'; ++i)
        --place;
    }
    auto e = s.find_first_of("eE");
    std::int64_t exponent = 0;
    for (std::size_t j = e == std::string_view::npos ? s.size() : e + 1; j < s.size(); ++j) {
      if (s[j] >= '0' && s[j] <= '9' && exponent < 100000) exponent = exponent * 10 + (s[j] - '0');
    }
    if (e != std::string_view::npos && e + 1 < s.size() && s[e + 1] == '-') exponent = -exponent;
    v = place + exponent > 0 ? HUGE_VAL : 0.0;
  }
  return negative ? -v : v;
}

}  // namespace

double TextToDouble(std::string_view text) {
  std::string_view t = Trim(text);
  if (t.empty()) throw RunTimeError("Type mismatch: the entry is empty");
  std::size_t n = NumberPrefix(t);
  if (n == 0 || n != t.size()) {
    throw RunTimeError("Type mismatch: \"" + std::string(text) + "\" is not a number");
  }
  double v = ParsePrefix(t, n);
  if (!std::isfinite(v)) throw RunTimeError("Overflow: \"" + std::string(text) + "\"");
  return v;
}

float TextToSingle(std::string_view text) {
  double v = TextToDouble(text);
  if (std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max())) {
    throw RunTimeError("Overflow: \"" + std::string(text) + "\" does not fit a float");
  }
  return static_cast<float>(v);
}

std::int16_t TextToInt16(std::string_view text) {
  double v = TextToDouble(text);
  if (auto r = TryToInt16(v)) return *r;
  throw RunTimeError("Overflow: \"" + std::string(text) + "\" is outside -32768 to 32767");
}

double LeadingNumber(std::string_view text) {
  std::string_view t = text;
  while (!t.empty() && IsBlank(t.front()))
    t.remove_prefix(1);
  std::size_t n = NumberPrefix(t);
  if (n == 0) return 0.0;
  double v = ParsePrefix(t, n);
  return std::isfinite(v) ? v : 0.0;
}

std::string FormatDouble(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  std::string s(buf, r.ptr);
  if (s == "-0") s = "0";
  return s;
}

std::string Hex2(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
  return buf;
}

}  // namespace vx
