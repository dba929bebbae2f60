#include "device/utils.h"

#include <cmath>

namespace vx {

namespace {

void WaitFor(Platform& platform, Duration length) {
  TimePoint start = platform.Now();
  platform.Yield();
  if (length <= Duration::zero()) return;
  TimePoint deadline = start + length;
  while (platform.Now() < deadline)
    platform.ProcessEventsUntil(deadline);
}

}  // namespace

void DelaySeconds(Platform& platform, float seconds) {
  double s = static_cast<double>(seconds);
  // To the nearest nanosecond, far below the clock's resolution; anything beyond a day is
  // treated as a day (no wait in the plug-in comes near it).
  if (!(s > 0.0)) s = 0.0;
  if (s > 86400.0) s = 86400.0;
  WaitFor(platform, Duration(std::llround(s * 1e9)));
}

void DelayMs(Platform& platform, std::int32_t ms) {
  WaitFor(platform, std::chrono::milliseconds(ms > 0 ? ms : 0));
}

void SplitWord(std::int16_t w, std::uint8_t& hi, std::uint8_t& lo) {
  auto u = static_cast<std::uint16_t>(w);
  hi = static_cast<std::uint8_t>(u >> 8);
  lo = static_cast<std::uint8_t>(u & 0xFFu);
}

std::int16_t JoinBytes(std::uint8_t hi, std::uint8_t lo) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>((hi << 8) | lo));
}

}  // namespace vx
