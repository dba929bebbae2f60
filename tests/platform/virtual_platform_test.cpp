#include "platform/virtual_platform.h"

#include "platform/console_platform.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace vx {

TEST(VirtualPlatform, ScheduledEventsRunDuringYieldingWaitsButNotDuringSleeps) {
  VirtualPlatform p;
  std::vector<int> ran;
  p.ScheduleAt(100ms, [&] { ran.push_back(1); });
  p.ScheduleAt(300ms, [&] { ran.push_back(3); });
  p.Sleep(200ms);
  EXPECT_TRUE(ran.empty());
  p.ProcessEventsUntil(250ms);  // wakes for the 100 ms event that is overdue
  EXPECT_EQ(ran, std::vector<int>{1});
  p.ProcessEventsUntil(1s);  // returns at the event, before the deadline
  EXPECT_EQ(p.Now(), 300ms);
  EXPECT_EQ(ran, (std::vector<int>{1, 3}));
  ASSERT_EQ(p.waits().size(), 3u);
  EXPECT_EQ(p.waits()[0].kind, WaitRecord::kSleep);
  EXPECT_EQ(p.waits()[1].kind, WaitRecord::kYielding);
}

// The command line's waits come in slices (for a live progress display) that add up to exactly
// the wait asked for.
TEST(ConsolePlatform, WaitsInSlicesEndOnTime) {
  ConsolePlatform p(/*virtual_time=*/true);
  int slices = 0;
  p.idle = [&] { ++slices; };
  for (auto d : {250ms, 1200ms}) {
    const TimePoint start = p.Now();
    p.Sleep(d);
    EXPECT_EQ(p.Now() - start, d);
  }
  EXPECT_EQ(slices, 4);  // 250; 500, 500, 200
}

}  // namespace vx
