#include <gtest/gtest.h>

#include "device/utils.h"
#include "platform/virtual_platform.h"

using namespace std::chrono_literals;

namespace vx {

TEST(Waits, ZeroAndNegativeWaitsYieldOnce) {
  for (float s : {0.0f, -1.0f}) {
    VirtualPlatform p;
    DelaySeconds(p, s);
    EXPECT_EQ(p.yields(), 1);
    EXPECT_EQ(p.Now(), 0ns);
  }
  VirtualPlatform p;
  DelayMs(p, -5);
  EXPECT_EQ(p.yields(), 1);
  EXPECT_EQ(p.Now(), 0ns);
}

TEST(Waits, WaitExactlyAsLongAsAskedAndNeverLess) {
  VirtualPlatform p;
  DelayMs(p, 2500);
  EXPECT_EQ(p.Now(), 2500ms);
  VirtualPlatform q;
  DelaySeconds(q, 0.002f);
  EXPECT_GE(q.Now(), 2ms);
  EXPECT_LT(q.Now(), 2ms + 1us);
  VirtualPlatform r;
  DelayMs(r, 60);
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
