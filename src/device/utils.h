// Waits that keep the host live, and the two-byte form of a device word.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace vx {

// Yields once, then waits until `seconds` have passed on the monotonic clock while the host
// processes its events. Zero and negative waits return after the one yield.
void DelaySeconds(Platform& platform, float seconds);
// The same in whole milliseconds, without a detour through single precision so that the wait
// is never shorter than asked.
void DelayMs(Platform& platform, std::int32_t ms);

// High and low byte of the 16-bit two's-complement form of w (high byte first on the wire).
void SplitWord(std::int16_t w, std::uint8_t& hi, std::uint8_t& lo);
std::int16_t JoinBytes(std::uint8_t hi, std::uint8_t lo);

}  // namespace vx
