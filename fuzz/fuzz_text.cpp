// The page's text conversions on arbitrary text: they either convert or fail with a
// description, and whole numbers agree with the floating-point reading halves to even.
#include <cmath>
#include <cstdint>
#include <string>

#include "device/numeric.h"
#include "runs/separate_runs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  double d = 0;
  bool have_double = false;
  try {
    d = vx::TextToDouble(text);
    have_double = true;
    if (!std::isfinite(d)) __builtin_trap();
  } catch (const vx::RunTimeError& e) {
    if (std::string(e.what()).empty()) __builtin_trap();
  }
  try {
    std::int16_t w = vx::TextToInt16(text);
    if (!have_double || w != vx::RoundHalfEven(d)) __builtin_trap();
  } catch (const vx::RunTimeError&) {
    if (have_double && vx::RoundHalfEven(d) >= -32768 && vx::RoundHalfEven(d) <= 32767) {
      __builtin_trap();
    }
  }
  try {
    vx::TextToSingle(text);
  } catch (const vx::RunTimeError&) {
  }
  double lead = vx::LeadingNumber(text);
  if (!std::isfinite(lead)) __builtin_trap();
  try {
    vx::BoardOffsetSampleCount(text);
  } catch (const vx::RunTimeError&) {
  }
  vx::FormatDouble(lead);
  return 0;
}
