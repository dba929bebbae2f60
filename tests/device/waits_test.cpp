#include <gtest/gtest.h>

#include "device/utils.h"
#include "platform/virtual_platform.h"

using namespace std::chrono_literals;

namespace vx {

// Exactly as long as asked, never less; a wait of nothing still yields once.
TEST(Waits, LastExactlyAsLongAsAsked) {
  const std::pair<float, Duration> kCases[] = {{0.0f, 0ns}, {-1.0f, 0ns}, {2.5f, 2500ms}};
  for (auto [seconds, length] : kCases) {
    VirtualPlatform p;
    DelaySeconds(p, seconds);
    EXPECT_EQ(p.Now(), length);
    EXPECT_GE(p.yields(), 1);
  }
  VirtualPlatform q;
  DelaySeconds(q, 0.002f);
  EXPECT_GE(q.Now(), 2ms);
  EXPECT_LT(q.Now(), 2ms + 1us);
  VirtualPlatform r;
  DelayMs(r, 60);
  DelayMs(r, -5);
  EXPECT_EQ(r.Now(), 60ms);
}

TEST(Waits, EventsRunDuringTheWaitAndDoNotEndItEarly) {
  VirtualPlatform p;
  p.Advance(86399500ms);  // half a second before midnight: the monotonic clock does not care
  int ticks = 0;
  for (int i = 1; i <= 3; ++i)
    p.ScheduleAt(p.Now() + i * 600ms, [&] { ++ticks; });
  TimePoint start = p.Now();
  DelaySeconds(p, 2.0f);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(p.Now() - start, 2s);
}

}  // namespace vx
